// SPDX-License-Identifier: GPL-3.0-or-later
// The XML layer: what the writer produces, what the reader accepts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/XmlDom.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

using test::Utf16Le;

TEST(XmlDomTest, ReadsBackWhatItWrites) {
  const std::vector<std::string> texts = {
      "", " ", "\t\r\n", "plain", "<&>\"' all escaped", "  blanks kept  ", "line\r\nbreaks", "C:\\Windows\\",
      "tab\there", "\x01\x1F control", "Ünïcödé \xF0\x9F\x98\x80", std::string(5000, 'x')};
  XmlDocument doc;
  XmlNode root = doc.CreateDocumentElement("Root");
  for (const std::string& t : texts) {
    XmlNode item = root.AppendElement("Item");
    item.SetAttribute("a", t);
    item.AppendElement("Text").SetText(t);
  }
  XmlDocument back;
  ASSERT_TRUE(back.LoadFromBytes(doc.SaveToBytes()));
  XmlNode r = back.DocumentElement();
  EXPECT_EQ(r.Name(), "Root");
  std::size_t i = 0;
  for (XmlNode n = r.FirstChild(); n; n = n.NextSibling(), ++i) {
    ASSERT_LT(i, texts.size());
    SCOPED_TRACE(i);
    EXPECT_EQ(n.Name(), "Item");
    EXPECT_EQ(n.Attribute("a"), texts[i]);
    EXPECT_EQ(n.ChildElement("Text").Text(), texts[i]);
  }
  EXPECT_EQ(i, texts.size());
}

TEST(XmlDomTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  XmlDocument doc;
  XmlNode root = doc.CreateDocumentElement("R");
  root.SetAttribute("a", "caf\xE9/x");
  root.SetText(std::string("/tmp\xFF\0z", 7));
  XmlDocument back;
  ASSERT_TRUE(back.LoadFromBytes(doc.SaveToBytes()));
  EXPECT_EQ(back.DocumentElement().Attribute("a"), "caf\xEF\xBF\xBD/x");
  EXPECT_EQ(back.DocumentElement().Text(), "/tmp\xEF\xBF\xBD\xEF\xBF\xBDz");
}

TEST(XmlDomTest, ReadsOtherEncodingsAndIgnoresWhitespaceBetweenElements) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"UTF-8 declared as UTF-16", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<R>\n  <A>t</A>\n</R>\n"},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF<R>\r\n\t<A>t</A>\r\n</R>"},
      {"UTF-16 with indentation", Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<R>\r\n <A>t</A>\r\n</R>")},
      {"comments are skipped", "<R><!-- note --><A>t<!-- x --></A><?pi x?></R>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(c.bytes));
    XmlNode root = doc.DocumentElement();
    XmlNode first = root.FirstChild();
    EXPECT_TRUE(first.IsElement());
    EXPECT_EQ(first.Name(), "A");
    EXPECT_FALSE(first.NextSibling());
    EXPECT_EQ(first.Text(), "t");
  }
}

TEST(XmlDomTest, TextIsReadOnlyFromTextElements) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes("<R><Empty/><Blank>  </Blank><Mixed>a<B/>c</Mixed>"
                                "<CData><![CDATA[<x>]]> &amp; y</CData></R>"));
  XmlNode r = doc.DocumentElement();
  EXPECT_EQ(r.ChildElement("Empty").Text(), "");
  EXPECT_FALSE(r.ChildElement("Blank").HasChildNodes());
  EXPECT_EQ(r.ChildElement("Mixed").Text(), std::nullopt);
  EXPECT_EQ(r.ChildElement("CData").Text(), "<x> & y");
  EXPECT_EQ(r.Text(), std::nullopt);
  // Lookups are exact; a missing node answers nothing.
  EXPECT_FALSE(r.ChildElement("empty"));
  XmlNode none = r.ChildElement("Missing");
  EXPECT_EQ(none.Text(), std::nullopt);
  EXPECT_EQ(none.Attribute("a"), std::nullopt);
  EXPECT_FALSE(none.FirstChild());
  EXPECT_FALSE(none.AppendElement("X"));
  EXPECT_EQ(none.Name(), "");
  // A text node is no element and has no name.
  XmlNode text = r.ChildElement("Mixed").FirstChild();
  ASSERT_TRUE(text);
  EXPECT_FALSE(text.IsElement());
  EXPECT_EQ(text.Name(), "");
}

TEST(XmlDomTest, MalformedDocumentsAreRefusedAndLeaveNothing) {
  const std::string valid = Utf16Le("<?xml version=\"1.0\"?><R><A>t</A></R>");
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"declaration only", "<?xml version=\"1.0\"?>"},
      {"unclosed", "<R><A>"},
      {"mismatched", "<R></A>"},
      {"text only", "hello"},
      {"binary", std::string("\x00\x01\xFF\xFE\x80<", 6)},
      {"truncated UTF-16", valid.substr(0, valid.size() - 7)},
      {"bad attribute", "<R a=1/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XmlDocument doc;
    doc.CreateDocumentElement("Old");
    EXPECT_FALSE(doc.LoadFromBytes(c.bytes));
    EXPECT_FALSE(doc.DocumentElement());
  }
}

TEST(XmlDomTest, FilesAreReplacedAtomicallyAndBoundedOnReading) {
  test::Sandbox box;
  XmlDocument doc;
  doc.CreateDocumentElement("R").SetText("v");
  const std::string file = box.MakeDir("data") + "/o.xml";
  ASSERT_TRUE(doc.SaveToFile(file));
  XmlDocument back;
  ReadStatus status = ReadStatus::Failed;
  ASSERT_TRUE(back.LoadFromFile(file, &status));
  EXPECT_EQ(status, ReadStatus::Ok);
  EXPECT_EQ(back.DocumentElement().Text(), "v");

  std::string error;
  EXPECT_FALSE(doc.SaveToFile(box.Path("nodir/o.xml"), &error));
  EXPECT_EQ(error, "Unable to write to " + box.Path("nodir/o.xml"));
  EXPECT_FALSE(back.LoadFromFile(box.Path("nodir/o.xml"), &status));
  EXPECT_EQ(status, ReadStatus::Missing);

  const std::string big = box.MakeFile("data/big.xml", std::string(kMaxSettingsFileSize + 1, ' '));
  EXPECT_FALSE(back.LoadFromFile(big, &status));
  EXPECT_EQ(status, ReadStatus::TooLarge);
}

}  // namespace
}  // namespace purgo::platform
