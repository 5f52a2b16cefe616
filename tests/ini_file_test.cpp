// SPDX-License-Identifier: GPL-3.0-or-later
// The INI layer: private-profile reading rules, in-place writing, encodings
// and atomic replacement.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileIO.h"
#include "platform/IniFile.h"
#include "tests/Sandbox.h"

namespace purgo::platform {
namespace {

using test::ReadBytes;

// UTF-16 bytes with a byte-order mark, as Windows writes INI files.
std::string Utf16(const std::u16string& text, bool bigEndian = false) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename());
  return out;
}

struct ReadCase {
  const char* name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;  // default is "DEF"
};

TEST(IniFileTest, ReadsWithPrivateProfileRules) {
  const std::vector<ReadCase> cases = {
      {"plain", "[General]\nVersion=1.5.1.1\n", "General", "Version", "1.5.1.1"},
      {"missing section", "[General]\nVersion=1\n", "Other", "Version", "DEF"},
      {"missing key", "[General]\nVersion=1\n", "General", "LanguageID", "DEF"},
      {"empty value is not the default", "[General]\nVersion=\n", "General", "Version", ""},
      {"names ignore ASCII case", "[gEnErAl]\nvErSiOn=x\n", "GENERAL", "version", "x"},
      {"blanks around names and values", "  [ General ]  \n\t Version \t=  a b  \n", "General",
       "Version", "a b"},
      {"caller's names trimmed", "[General]\nVersion=x\n", " General ", "Version\t", "x"},
      {"double quotes stripped", "[S]\nk=\"  quoted  \"\n", "S", "k", "  quoted  "},
      {"single quotes stripped", "[S]\nk='v'\n", "S", "k", "v"},
      {"unmatched quotes kept", "[S]\nk=\"v'\n", "S", "k", "\"v'"},
      {"a lone quote kept", "[S]\nk=\"\n", "S", "k", "\""},
      {"later = belongs to the value", "[S]\nk=a=b\n", "S", "k", "a=b"},
      {"comment lines ignored", "[S]\n;k=1\n  ; k=2\nk=3\n", "S", "k", "3"},
      {"keys before any section belong nowhere", "k=1\n[S]\n", "S", "k", "DEF"},
      {"first of duplicate keys", "[S]\nk=1\nK=2\n", "S", "k", "1"},
      {"first of duplicate sections", "[S]\na=1\n[s]\nk=2\n", "S", "k", "DEF"},
      {"text after the bracket ignored", "[S] ; note\nk=1\n", "S", "k", "1"},
      {"unclosed header is no section", "[S]\n[T\nk=1\n", "S", "k", "1"},
      {"line without = is not a key", "[S]\nk\nk=2\n", "S", "k", "2"},
      {"empty name is not a key", "[S]\n=1\n", "S", "", "DEF"},
      {"CR LF endings", "[S]\r\nk=v\r\nj=w\r\n", "S", "j", "w"},
      {"lone CR endings", "[S]\rk=v\rj=w", "S", "j", "w"},
      {"no final line break", "[S]\nk=v", "S", "k", "v"},
      {"names are compared whole", "[S]\nk=v\n", "S", std::string("k\0x", 3), "DEF"},
      {"NUL bytes in a file's names", std::string("[S\0]\nk\0=v\n", 10), std::string("S\0", 2),
       std::string("k\0", 2), "v"},
      {"UTF-8 names and values", "[Ünï]\nключ=值\n", "Ünï", "ключ", "值"},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
      {"repeated byte-order marks are skipped", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
      {"bytes that are not UTF-8 pass through", "[S]\nk=\xFF\xFE\x80\n", "S", "k", "\xFF\xFE\x80"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IniFile::FromBytes(c.text).ReadString(c.section, c.key, "DEF"), c.expected);
  }
}

TEST(IniFileTest, ReadsUtf16FilesWrittenOnWindows) {
  const std::u16string text = u"[StringRes]\r\nSTR_Yes=Ja\r\nSTR_Smile=\U0001F600 ok\r\nSTR_Bad=\xD800x\r\n";
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    const IniFile ini = IniFile::FromBytes(Utf16(text, bigEndian));
    EXPECT_EQ(ini.ReadString("stringres", "STR_Yes", ""), "Ja");
    EXPECT_EQ(ini.ReadString("StringRes", "STR_Smile", ""), "\xF0\x9F\x98\x80 ok");
    // An unpaired surrogate cannot be UTF-8: it becomes U+FFFD.
    EXPECT_EQ(ini.ReadString("StringRes", "STR_Bad", ""), "\xEF\xBF\xBDx");
  }
  // An odd last byte is dropped, not read past.
  EXPECT_EQ(IniFile::FromBytes(Utf16(u"[S]\nk=v") + "\x41").ReadString("S", "k", ""), "v");
}

TEST(IniFileTest, ValuesComeBackThroughThe2047Limit) {
  const std::string ascii(3000, 'a');
  const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units
  const std::string euro = "\xE2\x82\xAC";       // one unit, three bytes
  struct Case {
    const char* name;
    std::string value;
    std::string expected;
  } cases[] = {
      {"short value untouched", "abc", "abc"},
      {"exactly 2047", std::string(2047, 'b'), std::string(2047, 'b')},
      {"ASCII cut at 2047", ascii, ascii.substr(0, 2047)},
      {"three-byte characters count one", [&] {
         std::string s;
         for (int i = 0; i < 2100; ++i) s += euro;
         return s;
       }(),
       [&] {
         std::string s;
         for (int i = 0; i < 2047; ++i) s += euro;
         return s;
       }()},
      // 2046 units of ASCII leave one unit: a surrogate pair does not fit
      // and is not split.
      {"a pair is never split", std::string(2046, 'c') + smile + "d", std::string(2046, 'c')},
      {"a pair that fits", std::string(2045, 'c') + smile + "d", std::string(2045, 'c') + smile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IniFile::FromBytes("[S]\nk=" + c.value + "\n").ReadString("S", "k", ""), c.expected);
  }
}

TEST(IniFileTest, ListsKeysAndSectionsInFileOrderOnce) {
  const IniFile ini = IniFile::FromBytes(
      "[Fonts]\n3=c\n;1=x\n1=a\nbare\n2=b\nONE=z\n[Other]\nq=1\n[fonts]\n9=late\n[OTHER]\n");
  EXPECT_EQ(IniFile::FromBytes("[A]\nk=1\nK=2\nj=3\n").ReadSectionKeys("a"),
            (std::vector<std::string>{"k", "j"}));
  EXPECT_EQ(ini.ReadSectionKeys("FONTS"), (std::vector<std::string>{"3", "1", "2", "ONE"}));
  EXPECT_TRUE(ini.ReadSectionKeys("Missing").empty());
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Fonts", "Other"}));
  EXPECT_TRUE(ini.SectionExists("other"));
  EXPECT_TRUE(ini.ValueExists("fonts", "one"));
  EXPECT_FALSE(ini.ValueExists("fonts", "9"));
}

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(IniFileTest, WritesInPlaceAndKeepsEverythingElse) {
  const std::vector<WriteCase> cases = {
      {"new document", "", "General", "Version", "1.5.1.1", "[General]\nVersion=1.5.1.1\n"},
      {"replace in place, comments and blanks kept",
       "; settings\n\n[General]\n; the version\nVersion=1.0\n\nLanguageID=1033\n",
       "General", "Version", "2.0",
       "; settings\n\n[General]\n; the version\nVersion=2.0\n\nLanguageID=1033\n"},
      {"replace keeps spelling and indentation", "[general]\n  VERSION = 1.0  \nx=1\n", "General",
       "Version", "2", "[general]\n  VERSION =2\nx=1\n"},
      {"replace only the first duplicate", "[S]\nk=1\nk=2\n", "S", "K", "3", "[S]\nk=3\nk=2\n"},
      {"new key after the section's last key", "[A]\na=1\n\n; about B\n[B]\nb=1\n", "A", "c", "2",
       "[A]\na=1\nc=2\n\n; about B\n[B]\nb=1\n"},
      {"new key in an empty section", "[A]\n\n[B]\n", "A", "k", "v", "[A]\nk=v\n\n[B]\n"},
      {"new section at the end", "[A]\na=1\n", "B", "b", "2", "[A]\na=1\n[B]\nb=2\n"},
      {"no final line break", "[A]\na=1", "A", "b", "2", "[A]\na=1\nb=2\n"},
      {"header without a line break", "[A]", "A", "b", "2", "[A]\nb=2\n"},
      {"new section after text without a line break", "; x", "A", "b", "2", "; x\n[A]\nb=2\n"},
      {"CR LF files get CR LF lines", "[A]\r\na=1\r\n", "B", "b", "2", "[A]\r\na=1\r\n[B]\r\nb=2\r\n"},
      {"a key's line ending stays", "[A]\r\na=1\r\nz=0\n", "A", "a", "22", "[A]\r\na=22\r\nz=0\n"},
      {"the first of duplicate sections gets the key", "[S]\na=1\n[S]\nb=1\n", "s", "k", "v",
       "[S]\na=1\nk=v\n[S]\nb=1\n"},
      {"empty value", "[S]\nk=v\n", "S", "k", "", "[S]\nk=\n"},
      {"blanks are quoted to survive", "", "S", "k", " padded ", "[S]\nk=\" padded \"\n"},
      {"quoted text is quoted again", "", "S", "k", "'x'", "[S]\nk=\"'x'\"\n"},
      {"caller's names are trimmed", "", " S ", " k ", "v", "[S]\nk=v\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::FromBytes(c.before);
    ASSERT_TRUE(ini.SetString(c.section, c.key, c.value));
    EXPECT_EQ(ini.Text(), c.after);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "DEF"), c.value);
  }
}

TEST(IniFileTest, ValuesReadBackExactly) {
  const std::vector<std::string> values = {
      "", " ", "  lead", "trail\t", "\"q\"", "'q'", "\"half", "a=b;c", "[x]", "\\n stays escaped",
      "\xFF\x80 raw bytes", std::string(2047, 'z')};
  IniFile ini;
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(ini.SetString("S", "k" + std::to_string(i), values[i])) << i;
  }
  const IniFile reread = IniFile::FromBytes(ini.Text());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(reread.ReadString("S", "k" + std::to_string(i), "DEF"), values[i]) << i;
  }
}

// Found by fuzzing: text that starts like a byte-order mark must read the
// same once written.
TEST(IniFileTest, TextThatLooksLikeAByteOrderMarkReadsBackTheSame) {
  const std::string files[] = {
      "\xEF\xBB\xBF\xEF\xBB\xBF[_Fonts_]\r\n0=Tahoma\r\n",
      "\xEF\xBB\xBF\xFF\xFE[S]\nk=1\n",
      "\xEF\xBB\xBF\xFE\xFF\n[S]\nk=1\n",
      Utf16(u"\xFEFF[S]\nk=1\n"),
  };
  for (const std::string& file : files) {
    SCOPED_TRACE(testing::PrintToString(file));
    IniFile ini = IniFile::FromBytes(file);
    const std::vector<std::string> sections = ini.ReadSections();
    ASSERT_TRUE(ini.SetString("S", "k", "2"));
    ASSERT_TRUE(ini.SetString("_Fonts_", "3", "Arial"));
    const IniFile again = IniFile::FromBytes(ini.Text());
    EXPECT_EQ(again.ReadString("S", "k", ""), "2");
    EXPECT_EQ(again.ReadString("_Fonts_", "3", ""), "Arial");
    EXPECT_EQ(again.ReadString("_Fonts_", "0", "none"), ini.ReadString("_Fonts_", "0", "none"));
    EXPECT_EQ(again.Text(), ini.Text());
  }
}

TEST(IniFileTest, RefusesWhatWouldReadBackAsOtherLines) {
  struct Case {
    const char* name;
    std::string section, key, value;
  } cases[] = {
      {"empty section", "", "k", "v"},
      {"blank section", "  ", "k", "v"},
      {"bracket in section", "a]b", "k", "v"},
      {"line break in section", "a\nb", "k", "v"},
      {"empty key", "S", "", "v"},
      {"= in key", "S", "a=b", "v"},
      {"key starting a section", "S", "[T]", "v"},
      {"key starting a comment", "S", ";k", "v"},
      {"line break in key", "S", "a\rb", "v"},
      {"LF in value", "S", "k", "line1\nline2"},
      {"CR in value", "S", "k", "line1\r[Evil]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::FromBytes("[S]\nk=old\n");
    EXPECT_FALSE(ini.SetString(c.section, c.key, c.value));
    EXPECT_EQ(ini.Text(), "[S]\nk=old\n");
  }
  // NUL ends a value, as it ends the C strings of the Windows calls; a
  // name holding one is refused, since it could not be read back by name.
  IniFile ini;
  ASSERT_TRUE(ini.SetString("S", "k", std::string("v\0\nmore", 7)));
  EXPECT_EQ(ini.Text(), "[S]\nk=v\n");
  EXPECT_FALSE(ini.SetString("S", std::string("k\0junk", 6), "v"));
  EXPECT_FALSE(ini.SetString(std::string("S\0", 2), "k", "v"));
}

TEST(IniFileTest, MissingOrUnreadableFilesGiveDefaults) {
  test::Sandbox box;
  const std::string dir = box.MakeDir("cfg");
  EXPECT_EQ(IniReadString(box.Path("cfg/none.ini"), "S", "k", "d"), "d");
  EXPECT_EQ(IniFile(box.Path("cfg/none.ini")).LoadStatus(), ReadStatus::Missing);
  EXPECT_EQ(IniReadString(box.Path("no/such/dir/x.ini"), "S", "k", "d"), "d");
  EXPECT_EQ(IniReadString(dir, "S", "k", "d"), "d");
  EXPECT_EQ(IniFile(dir).LoadStatus(), ReadStatus::Failed);
  EXPECT_TRUE(IniReadSectionKeys(box.Path("cfg/none.ini"), "S").empty());
  EXPECT_FALSE(IniFile::FileExists(dir));
  EXPECT_TRUE(IniFile::FileExists(box.MakeFile("cfg/a.ini", "")));
  EXPECT_TRUE(IniFile(box.Path("cfg/a.ini")).ReadSections().empty());
}

TEST(IniFileTest, WriteStringCreatesReplacesAndConvertsToUtf8) {
  test::Sandbox box;
  const std::string file = box.MakeDir("cfg") + "/Config.ini";
  std::string error = "untouched";
  ASSERT_TRUE(IniWriteString(file, "General", "Version", "1.5.1.1", &error));
  EXPECT_EQ(error, "untouched");
  ASSERT_TRUE(IniWriteString(file, "General", "LanguageID", "1033"));
  ASSERT_TRUE(IniWriteString(file, "Purgo", "AutoUpdate", "1"));
  ASSERT_TRUE(IniWriteString(file, "general", "version", "2"));
  EXPECT_EQ(ReadBytes(file), "[General]\nVersion=2\nLanguageID=1033\n[Purgo]\nAutoUpdate=1\n");
  EXPECT_EQ(IniReadString(file, "GENERAL", "VERSION", ""), "2");
  EXPECT_EQ(IniReadSectionKeys(file, "General"), (std::vector<std::string>{"Version", "LanguageID"}));

  // A Windows file is rewritten as UTF-8, its lines kept.
  const std::string win = box.MakeFile("cfg/win.ini", Utf16(u"; Sprache\r\n[S]\r\nk=Ä\r\n"));
  ASSERT_TRUE(IniWriteString(win, "S", "n", "ö"));
  EXPECT_EQ(ReadBytes(win), "; Sprache\r\n[S]\r\nk=Ä\r\nn=ö\r\n");

  // A UTF-8 byte-order mark is not written back.
  const std::string bom = box.MakeFile("cfg/bom.ini", "\xEF\xBB\xBF[S]\nk=1\n");
  ASSERT_TRUE(IniWriteString(bom, "S", "k", "2"));
  EXPECT_EQ(ReadBytes(bom), "[S]\nk=2\n");
}

TEST(IniFileTest, RefusedWritesLeaveTheFileAndSayWhy) {
  test::Sandbox box;
  const std::string dir = box.MakeDir("cfg");
  const std::string readOnly = box.MakeFile("cfg/ro.ini", "[S]\nk=old\n");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  // A large file is made sparse: its size alone must keep it from being read.
  const std::string huge = box.MakeFile("cfg/huge.ini", "[S]\nk=old\n");
  ASSERT_EQ(::truncate(huge.c_str(), 100 * 1024 * 1024), 0);

  struct Case {
    const char* name;
    std::string file;
  } cases[] = {
      {"folder missing", box.Path("cfg/missing/Config.ini")},
      {"read-only file", readOnly},
      {"a directory", dir},
      {"100 MB file", huge},
      {"no file name", dir + "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(IniWriteString(c.file, "S", "k", "new", &error));
    EXPECT_EQ(error, "Unable to write to " + c.file);
    EXPECT_EQ(IniReadString(c.file, "S", "k", "default"), c.file == readOnly ? "old" : "default");
  }
  EXPECT_EQ(ReadBytes(readOnly), "[S]\nk=old\n");
  struct stat st {};
  ASSERT_EQ(::stat(huge.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 100 * 1024 * 1024);
  // An invalid key is refused with the same report.
  std::string error;
  EXPECT_FALSE(IniWriteString(box.Path("cfg/new.ini"), "S", "a=b", "v", &error));
  EXPECT_EQ(error, "Unable to write to " + box.Path("cfg/new.ini"));
  EXPECT_FALSE(FileExists(box.Path("cfg/new.ini")));
}

TEST(IniFileTest, ReplacementIsAtomicAndKeepsLinksAndModes) {
  test::Sandbox box;
  const std::string dir = box.MakeDir("cfg");
  const std::string real = box.MakeFile("real/target.ini", "[S]\nk=1\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const std::string link = box.MakeSymlink("cfg/link.ini", real);

  ASSERT_TRUE(IniWriteString(link, "S", "k", "2"));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself must stay";
  EXPECT_EQ(ReadBytes(real), "[S]\nk=2\n");
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // No temporary file stays behind in either folder.
  EXPECT_EQ(FilesIn(box.Path("real")), std::vector<std::string>{"target.ini"});
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"link.ini"});

  // A copy in memory writes all its changes at once.
  IniFile ini(real);
  ASSERT_TRUE(ini.SetString("S", "a", "1"));
  ASSERT_TRUE(ini.SetString("T", "b", "2"));
  EXPECT_EQ(ReadBytes(real), "[S]\nk=2\n");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(ReadBytes(real), "[S]\nk=2\na=1\n[T]\nb=2\n");
  // A copy of nothing has nowhere to go.
  std::string error;
  EXPECT_FALSE(IniFile().UpdateFile(&error));
  EXPECT_EQ(error, "Unable to write to ");
}

// Settings files: the folder above the settings folder may be reached
// through a link of this user's, the settings folder never through one,
// and missing folders are made only below a folder of this user's.
TEST(IniFileTest, SettingsFoldersAreReachedOnlyThroughOwnLinks) {
  test::Sandbox box;
  const std::string victim = box.MakeDir("victim");
  box.MakeDir("real");
  box.MakeSymlink("own-base", box.Path("real"));
  box.MakeSymlink("foreign-base", victim);
  box.MakeSymlink("linked/purgo", victim);
  box.MakeSymlink("home2/.local", victim);
  const bool root = ::geteuid() == 0;
  if (root) {
    for (const char* l : {"foreign-base", "home2/.local"}) {
      ASSERT_EQ(::lchown(box.Path(l).c_str(), 65534, 65534), 0);
    }
  }
  const struct Case {
    const char* file;
    bool written;
    ReadStatus read;  // a refused file exists, but nothing of it is read
    bool needsRoot;   // the link must belong to another user
  } cases[] = {
      {"own-base/purgo/x", true, ReadStatus::Ok, false},
      {"new/deeper/purgo/x", true, ReadStatus::Ok, false},
      {"linked/purgo/x", false, ReadStatus::Failed, false},
      {"foreign-base/purgo/x", false, ReadStatus::Failed, true},
      {"home2/.local/share/purgo/x", false, ReadStatus::Missing, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    if (c.needsRoot && !root) continue;
    std::string error;
    EXPECT_EQ(WriteSettingsFile(box.Path(c.file), "new", true, 0700, &error), c.written);
    EXPECT_EQ(error, c.written ? "" : "Unable to write to " + box.Path(c.file));
    std::string back;
    EXPECT_EQ(ReadSettingsFile(box.Path(c.file), back), c.read);
    EXPECT_EQ(back, c.written ? "new" : "");
  }
  EXPECT_TRUE(std::filesystem::is_empty(victim));
  EXPECT_EQ(ReadBytes(box.Path("real/purgo/x")), "new");
  struct stat st {};
  ASSERT_EQ(::stat(box.Path("new/deeper").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace purgo::platform
