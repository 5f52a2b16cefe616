// SPDX-License-Identifier: GPL-3.0-or-later
// The language catalogue: parsing the language folder and the selection
// rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/AppUtils.h"
#include "i18n/QSMultiLanguages.h"
#include "platform/Folders.h"
#include "tests/I18nTestSupport.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

// Counts the catalogue's operations instead of loading texts.
class CountingLanguages : public TQelMultiLanguages {
 public:
  using TQelMultiLanguages::TQelMultiLanguages;
  int loads = 0;
  int changes = 0;
  std::vector<std::string> loadedFiles;

 protected:
  bool DoLoadingStrings(platform::IniFile& AIniFile) override {
    ++loads;
    loadedFiles.push_back(AIniFile.FileName());
    return TQelMultiLanguages::DoLoadingStrings(AIniFile);
  }
  void DoLanguageChanged() override {
    ++changes;
    TQelMultiLanguages::DoLanguageChanged();
  }
};

std::string Description(const std::string& name, const std::string& id) {
  std::string text = "[_Description_]\n";
  if (!name.empty()) text += "LanguageName=" + name + "\n";
  if (!id.empty()) text += "LanguageID=" + id + "\n";
  return text;
}

// A language folder below the program folder's "Langs/".
void AddLanguage(test::Sandbox& box, const std::string& folder, const std::string& name,
                 const std::string& id) {
  box.MakeFile("program/Langs/" + folder + "/PurgoStrs.ini", Description(name, id));
}

TEST(TQelMultiLanguages, ParseReadsDescriptions) {
  test::Sandbox box;
  AddLanguage(box, "b-English", "English", "1033");
  AddLanguage(box, "a-Chinese", "简体中文", "$804");
  AddLanguage(box, "c-NoName", "", "0x407");
  AddLanguage(box, "d-Letters", "Letters", "abc");
  AddLanguage(box, "e-Bare", "", "");
  box.MakeFile("program/Langs/f-NoStrings/Other.ini", "x");
  box.MakeFile("program/Langs/.hidden/PurgoStrs.ini", Description("Hidden", "1"));
  box.MakeFile("program/Langs/PurgoStrs.ini", Description("Plain file", "2"));

  TQelMultiLanguages langs("some/folder/PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));
  EXPECT_EQ(langs.MultiLanguagePath(), box.Path("program/Langs/"));
  ASSERT_EQ(langs.Count(), 5);
  EXPECT_EQ(langs.Index(), -1);
  struct Expect {
    std::string name;
    std::int32_t id;
    std::string folder;
  };
  const std::vector<Expect> expected = {
      {"简体中文", 2052, "a-Chinese"}, {"English", 1033, "b-English"}, {"c-NoName", 1031, "c-NoName"},
      {"Letters", -1, "d-Letters"},    {"e-Bare", -1, "e-Bare"},
  };
  for (int i = 0; i < langs.Count(); ++i) {
    const Expect& e = expected[static_cast<std::size_t>(i)];
    EXPECT_EQ(langs.GetLanguageName(i), e.name);
    EXPECT_EQ(langs.GetLanguageID(i), e.id);
    EXPECT_EQ(langs.GetLanguagePath(i), box.Path("program/Langs/" + e.folder + "/"));
    EXPECT_EQ(langs.GetStringResFile(i), box.Path("program/Langs/" + e.folder + "/PurgoStrs.ini"));
  }
  EXPECT_EQ(langs.GetLanguageName(5), "");

  // Only the low 16 bits of an id count: 66569 is 0x10409.
  EXPECT_EQ(langs.IndexOfLanguageID(66569), 1);
  EXPECT_EQ(langs.IndexOfLanguageID(1033), 1);
  EXPECT_EQ(langs.IndexOfLanguageID(-1), 3);
  EXPECT_EQ(langs.IndexOfLanguageID(1036), -1);
}

TEST(TQelMultiLanguages, ParsePaths) {
  test::Sandbox box;
  AddLanguage(box, "English", "English", "1033");
  box.MakeFile("elsewhere/Deutsch/PurgoStrs.ini", Description("Deutsch", "1031"));

  TQelMultiLanguages langs("PurgoStrs.ini", "  ");
  EXPECT_EQ(langs.MultiLanguagePath(), "Langs/");

  // An absolute folder is used as it is; a trailing delimiter is added.
  ASSERT_TRUE(langs.Parse("  " + box.Path("elsewhere") + "  "));
  EXPECT_EQ(langs.MultiLanguagePath(), box.Path("elsewhere/"));
  EXPECT_EQ(langs.GetLanguageName(0), "Deutsch");

  // A relative one is below the program folder.
  langs.SetMultiLanguagePath("Langs");
  EXPECT_EQ(langs.MultiLanguagePath(), box.Path("program/Langs/"));
  EXPECT_EQ(langs.GetLanguageName(0), "English");
  langs.SetIndex(0);
  EXPECT_EQ(langs.Index(), 0);

  // A folder that is not there changes nothing but the remembered path.
  EXPECT_FALSE(langs.Parse("Missing"));
  EXPECT_EQ(langs.Count(), 1);
  EXPECT_EQ(langs.Index(), 0);

  // Parsing again leaves no language current.
  EXPECT_TRUE(langs.Parse(box.Path("program/Langs")));
  EXPECT_EQ(langs.Index(), -1);
}

// A pack installed as a link to its folder is a language like any other;
// a link that leads to no folder is not.
TEST(TQelMultiLanguages, ParseFollowsLinksToFolders) {
  test::Sandbox box;
  AddLanguage(box, "b-Real", "Real", "1033");
  box.MakeFile("packs/Deutsch/PurgoStrs.ini", Description("Deutsch", "1031"));
  box.MakeFile("packs/PurgoStrs.ini", Description("File", "1"));
  box.MakeSymlink("program/Langs/a-Linked", box.Path("packs/Deutsch"));
  box.MakeSymlink("program/Langs/c-Chained", box.Path("program/Langs/a-Linked"));
  box.MakeSymlink("program/Langs/d-Dangling", box.Path("packs/Missing"));
  box.MakeSymlink("program/Langs/e-ToFile", box.Path("packs/PurgoStrs.ini"));

  TQelMultiLanguages langs("PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));
  ASSERT_EQ(langs.Count(), 3);
  const char* folders[] = {"a-Linked", "b-Real", "c-Chained"};
  const char* names[] = {"Deutsch", "Real", "Deutsch"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(langs.GetLanguageName(i), names[i]);
    EXPECT_EQ(langs.GetStringResFile(i), box.Path("program/Langs/" + std::string(folders[i]) + "/PurgoStrs.ini"));
  }
  EXPECT_EQ(langs.GetLanguageID(0), 1031);
}

// An installed program's catalogue: the shipped packs and the user's own,
// the user's replacing a shipped one of the same folder name unless it is
// no pack or cannot be read.
TEST(TQelMultiLanguages, UserPacksJoinAndReplaceShippedOnes) {
  test::Sandbox box;
  const std::string shipped = "usr/share/purgo/Langs/", user = "home/.local/share/purgo/Langs/";
  for (const char* pack : {"English", "Chinese", "Deutsch"}) {
    box.MakeFile(shipped + pack + "/PurgoStrs.ini", Description(std::string("shipped ") + pack, "1"));
    box.MakeFile(user + pack + (pack[0] == 'D' ? "/Other.ini" : "/PurgoStrs.ini"), Description(pack, "2"));
  }
  box.MakeFile(user + "Klingon/PurgoStrs.ini", Description("Klingon", "3"));
  ASSERT_EQ(::truncate(box.Path(user + "Chinese/PurgoStrs.ini").c_str(), 100 << 20), 0);

  TQelMultiLanguages langs("PurgoStrs.ini", "");
  langs.SetUserLanguagePath(box.Path(user));
  ASSERT_TRUE(langs.Parse(box.Path(shipped)));
  const std::string expected[][2] = {{"shipped Chinese", shipped + "Chinese/"},
                                     {"shipped Deutsch", shipped + "Deutsch/"},
                                     {"English", user + "English/"},
                                     {"Klingon", user + "Klingon/"}};
  ASSERT_EQ(langs.Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(langs.GetLanguageName(i) + " " + langs.GetLanguagePath(i), expected[i][0] + " " + box.Path(expected[i][1]));
  }
  // Either folder alone is enough; neither is a failed parse.
  EXPECT_TRUE(langs.Parse(box.Path("usr/missing/")) && langs.Count() == 2);
  langs.SetUserLanguagePath(box.Path("home/missing/"));
  EXPECT_FALSE(langs.Parse(box.Path("usr/missing/")));
}

TEST(TQelMultiLanguages, DefaultStringFileNameFollowsTheProgram) {
  test::Sandbox box;
  const std::string own = ExtractFileTitle(platform::ProgramFileName()) + "StrRes.ini";
  box.MakeFile("program/Langs/Own/" + own, Description("Own", "1033"));
  TQelMultiLanguages langs("", "");
  ASSERT_TRUE(langs.Parse(""));
  ASSERT_EQ(langs.Count(), 1);
  EXPECT_EQ(langs.GetStringResFile(0), box.Path("program/Langs/Own/" + own));
}

TEST(TQelMultiLanguages, NoLanguagesMeansNothingSelectable) {
  test::Sandbox box;
  box.MakeFile("program/Langs/readme.txt", "x");
  box.MakeDir("program/Langs/Empty");
  CountingLanguages langs("PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));
  EXPECT_EQ(langs.Count(), 0);
  langs.SetIndex(0);
  langs.SetCurrentLanguageID(1033);
  langs.SetCurrentLanguageName("English");
  EXPECT_FALSE(langs.LoadLanguage(0));
  EXPECT_EQ(langs.Index(), -1);
  EXPECT_EQ(langs.CurrentLanguageID(), -1);
  EXPECT_EQ(langs.CurrentLanguageName(), "");
  EXPECT_EQ(langs.CurrentLanguagePath(), "");
  EXPECT_EQ(langs.CurrentStringResFile(), "");
  EXPECT_EQ(langs.changes, 0);
  EXPECT_FALSE(langs.Save());
}

struct SelectionCase {
  const char* title;
  const char* locale;  // the system language
  std::vector<std::pair<std::string, std::string>> languages;  // folder, id
  int start;       // index selected before the call, -1 for none
  std::int32_t id; // argument of SetCurrentLanguageID
  int expected;
};

TEST(TQelMultiLanguages, SelectionById) {
  const std::vector<SelectionCase> cases = {
      {"first of two equal ids", "C", {{"A", "2052"}, {"B", "1033"}, {"C", "1033"}}, -1, 1033, 1},
      {"full 32-bit comparison", "fr_FR.UTF-8", {{"A", "2052"}, {"B", "66569"}}, -1, 1033, 0},
      {"missing id, system language installed", "de_DE.UTF-8",
       {{"A", "2052"}, {"B", "1031"}}, -1, 1036, 1},
      {"missing id, system language not installed", "de_DE.UTF-8",
       {{"A", "2052"}, {"B", "1033"}}, -1, 1036, 0},
      {"zero with the system language first", "C", {{"A", "1033"}, {"B", "2052"}}, -1, 0, -1},
      {"zero with the system language second", "zh_CN.UTF-8",
       {{"A", "1033"}, {"B", "2052"}}, -1, 0, 1},
      {"negative keeps a current language", "fr_FR.UTF-8", {{"A", "1033"}, {"B", "2052"}}, 1, -1,
       1},
      {"non-numeric id selectable by position only", "C", {{"A", "x"}, {"B", "2052"}}, -1, -1, -1},
  };
  for (const SelectionCase& c : cases) {
    test::Sandbox box;
    test::ScopedLocale locale(c.locale);
    for (const auto& [folder, id] : c.languages) AddLanguage(box, folder, folder, id);
    CountingLanguages langs("PurgoStrs.ini", "");
    ASSERT_TRUE(langs.Parse("")) << c.title;
    if (c.start >= 0) langs.SetIndex(c.start);
    langs.SetCurrentLanguageID(c.id);
    EXPECT_EQ(langs.Index(), c.expected) << c.title;
  }
}

TEST(TQelMultiLanguages, SelectionByNameAndIndex) {
  test::Sandbox box;
  test::ScopedLocale locale("zh_CN.UTF-8");
  AddLanguage(box, "A", "English", "1033");
  AddLanguage(box, "B", "Chinese", "2052");
  AddLanguage(box, "C", "Deutsch", "1031");
  CountingLanguages langs("PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));

  // ASCII letter case does not matter; no match changes nothing.
  langs.SetCurrentLanguageName("deutsch");
  EXPECT_EQ(langs.Index(), 2);
  EXPECT_EQ(langs.CurrentLanguageName(), "Deutsch");
  langs.SetCurrentLanguageName("Klingon");
  EXPECT_EQ(langs.Index(), 2);
  // An empty name means the system language.
  langs.SetCurrentLanguageName("");
  EXPECT_EQ(langs.Index(), 1);
  EXPECT_EQ(langs.CurrentLanguageID(), 2052);

  // The current language is never loaded twice.
  const int loads = langs.loads;
  const int changes = langs.changes;
  langs.SetIndex(1);
  EXPECT_EQ(langs.loads, loads);
  EXPECT_EQ(langs.changes, changes);

  // A position outside the list means the system language.
  langs.SetIndex(0);
  langs.SetIndex(17);
  EXPECT_EQ(langs.Index(), 1);
  EXPECT_EQ(langs.loadedFiles.back(), box.Path("program/Langs/B/PurgoStrs.ini"));
  EXPECT_EQ(langs.CurrentLanguagePath(), box.Path("program/Langs/B/"));
  EXPECT_EQ(langs.CurrentStringResFile(), box.Path("program/Langs/B/PurgoStrs.ini"));
}

TEST(TQelMultiLanguages, LoadingAFileThatDisappeared) {
  test::Sandbox box;
  test::ScopedLocale locale("C");
  AddLanguage(box, "A", "English", "1033");
  AddLanguage(box, "B", "Chinese", "2052");
  CountingLanguages langs("PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));
  ASSERT_EQ(std::remove(box.Path("program/Langs/B/PurgoStrs.ini").c_str()), 0);

  EXPECT_FALSE(langs.LoadLanguage(1));
  EXPECT_EQ(langs.Index(), 1);
  EXPECT_EQ(langs.loads, 0);
  EXPECT_EQ(langs.changes, 1);

  // Out of range: the system language (English here) is loaded.
  EXPECT_TRUE(langs.LoadLanguage(-3));
  EXPECT_EQ(langs.Index(), 0);
  EXPECT_EQ(langs.loads, 1);
}

int gChanged = 0;
bool Refuse(platform::IniFile&) { return false; }
bool WriteMarker(platform::IniFile& ini) { return ini.SetString("StringRes", "STR_Marker", "1"); }
void CountChange() { ++gChanged; }

TEST(TQelMultiLanguages, CallbacksAndSaving) {
  test::Sandbox box;
  AddLanguage(box, "A", "English", "1033");
  TQelMultiLanguages langs("PurgoStrs.ini", "");
  ASSERT_TRUE(langs.Parse(""));
  EXPECT_FALSE(langs.Save());  // nothing current yet

  gChanged = 0;
  langs.SetOnLoadingStrings(&Refuse);
  langs.SetOnLanguageChanged(&CountChange);
  EXPECT_FALSE(langs.LoadLanguage(0));
  EXPECT_EQ(gChanged, 1);

  langs.SetOnSavingStrings(&WriteMarker);
  ASSERT_TRUE(langs.Save());
  const std::string file = box.Path("program/Langs/A/PurgoStrs.ini");
  EXPECT_EQ(platform::IniReadString(file, "StringRes", "STR_Marker", ""), "1");
  EXPECT_EQ(platform::IniReadString(file, "_Description_", "LanguageID", ""), "1033");

  langs.SetOnSavingStrings(&Refuse);
  EXPECT_FALSE(langs.SaveLanguage(box.Path("program/Copy.ini")));
  // A folder that does not exist cannot take the file.
  langs.SetOnSavingStrings(nullptr);
  EXPECT_FALSE(langs.SaveLanguage(box.Path("nowhere/Copy.ini")));
}

}  // namespace
}  // namespace purgo
