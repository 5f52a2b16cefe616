// SPDX-License-Identifier: GPL-3.0-or-later
// The program's string table: registration, loading and saving string
// files, and what a language change does.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/AppConfigs.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/IniFile.h"
#include "tests/I18nTestSupport.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

std::string StringFile(const std::string& name, const std::string& id, const std::string& body) {
  return "[_Description_]\nLanguageName=" + name + "\nLanguageID=" + id + "\n[StringRes]\n" + body;
}

TEST(AppMultiLangs, RegistersEveryTextInOrder) {
  test::AppLanguageObjects objects;
  ASSERT_EQ(AppMultiLangVars->Count(), kAppStringVariableCount);
  std::set<std::string> names;
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    EXPECT_EQ(AppMultiLangVars->GetName(i).rfind("STR_", 0), 0u);
    names.insert(AppMultiLangVars->GetName(i));
  }
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kAppStringVariableCount));

  // Positions and built-in texts, the odd ones included.
  const std::vector<std::tuple<int, std::string, std::string>> spots = {
      {0, "STR_ApplicationTitle", "Purgo"},
      {15, "STR_Finished", "完成"},
      {37, "STR_About_Label_TechnicalSupportEmail", "Contect Us"},
      {42, "STR_PGC_ScanTypes4", "Prefetch files"},
      {48, "STR_PGC_ScanTypes10",
       "Other Temporary Files (Please specify the file types in \"Settings...\")"},
      {57, "STR_PGCForm_Button_AppTab", "应用程序临时文件"},
      {83, "STR_PGCForm_2", "Cleaning now, please wait...\r\n%d files are cleaned. [%s]"},
      {111, "STR_PGCExtSettingForm_Ext_Label_SeleteAll", "Selete All"},
      {132, "STR_PGCExtSettingForm_ExistFile", "File already exists."},
  };
  for (const auto& [index, name, text] : spots) {
    EXPECT_EQ(AppMultiLangVars->GetName(index), name);
    EXPECT_EQ(AppMultiLangVars->GetValue(index), text) << name;
  }
  EXPECT_EQ(AppMultiLangs->MultiLanguagePath(), "Langs/");
  EXPECT_EQ(AppMultiLangs->HelpFile(), "");
}

TEST(AppMultiLangs, MissingKeysKeepThePreviousTexts) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("program/Langs/A/PurgoStrs.ini",
               StringFile("A", "1033", "STR_Yes=Jawohl\nSTR_No=Nein\nSTR_Extra=ignored\n"));
  box.MakeFile("program/Langs/B/PurgoStrs.ini", StringFile("B", "2052", "STR_Yes=是\n"));
  ASSERT_TRUE(AppMultiLangs->Parse(""));

  // A file with only some keys changes only those.
  ASSERT_TRUE(AppMultiLangs->LoadLanguage(0));
  EXPECT_EQ(STR_Yes, "Jawohl");
  EXPECT_EQ(STR_No, "Nein");
  EXPECT_EQ(STR_Cancel, "Cancel");
  EXPECT_EQ(STR_Finished, "完成");

  // B lacks STR_No: A's text stays on screen.
  AppMultiLangs->SetIndex(1);
  EXPECT_EQ(STR_Yes, "是");
  EXPECT_EQ(STR_No, "Nein");
}

TEST(AppMultiLangs, KeptTextsAreDecodedOnceMore) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  // A's file holds an escaped backslash before n: in memory a backslash
  // and an n. B lacks the key, so that text is read back as B's default
  // and its escapes are decoded again.
  box.MakeFile("program/Langs/A/PurgoStrs.ini",
               StringFile("A", "1033", "STR_Open=C:\\\\new\nSTR_Save=end\\\n"));
  box.MakeFile("program/Langs/B/PurgoStrs.ini", StringFile("B", "2052", "STR_Yes=是\n"));
  ASSERT_TRUE(AppMultiLangs->Parse(""));
  AppMultiLangs->SetIndex(0);
  EXPECT_EQ(STR_Open, "C:\\new");
  EXPECT_EQ(STR_Save, "end\\");  // a final backslash stays
  AppMultiLangs->SetIndex(1);
  EXPECT_EQ(STR_Open, "C:\r\new");
  EXPECT_EQ(STR_Save, "end\\");
}

TEST(AppMultiLangs, EscapesRoundTripThroughAStringFile) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  STR_Yes = "a\r\nb\rc\nd";
  STR_No = "back\\slash\ttab";
  STR_PGC_ScanTypes4 = "  blanks kept  ";
  const std::string file = box.Path("program/Saved.ini");
  ASSERT_TRUE(AppMultiLangs->SaveLanguage(file));
  EXPECT_EQ(platform::IniReadString(file, "StringRes", "STR_Yes", ""), "a\\nb\\nc\\nd");
  EXPECT_EQ(platform::IniReadString(file, "StringRes", "STR_No", ""), "back\\\\slash\\ttab");

  // Written from scratch, the file lists the keys in registration order.
  const std::vector<std::string> keys = platform::IniReadSectionKeys(file, "StringRes");
  ASSERT_EQ(keys.size(), static_cast<std::size_t>(kAppStringVariableCount));
  for (int i = 0; i < kAppStringVariableCount; ++i) {
    EXPECT_EQ(keys[static_cast<std::size_t>(i)], AppMultiLangVars->GetName(i));
  }

  box.MakeFile("program/Langs/Saved/PurgoStrs.ini",
               "[_Description_]\nLanguageID=1033\n" +
                   platform::IniFile(file).Text());
  STR_Yes = STR_No = STR_PGC_ScanTypes4 = "";
  ASSERT_TRUE(AppMultiLangs->Parse(""));
  ASSERT_TRUE(AppMultiLangs->LoadLanguage(0));
  EXPECT_EQ(STR_Yes, "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(STR_No, "back\\slash\ttab");
  EXPECT_EQ(STR_PGC_ScanTypes4, "  blanks kept  ");
  EXPECT_EQ(STR_Finished, "完成");
}

TEST(AppMultiLangs, LanguageChangeMovesHelpAndFonts) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("program/Langs/A/PurgoStrs.ini", StringFile("A", "1033", ""));
  box.MakeFile("program/Langs/B/PurgoStrs.ini", StringFile("B", "2052", ""));
  box.MakeFile("program/Langs/B/PurgoFonts.ini",
               "[_Fonts_]\n1=Noto Sans CJK SC,9\n[FontPropertyIDs]\nFONT_About=1\n");
  ASSERT_TRUE(AppMultiLangs->Parse(""));

  AppMultiLangs->SetIndex(0);
  EXPECT_EQ(AppMultiLangs->HelpFile(), box.Path("program/Langs/A/help.chm"));
  EXPECT_EQ(AppMultiLangs->HelpFileIntroduction(), AppMultiLangs->HelpFile());
  EXPECT_EQ(AppMultiLangs->HelpFileQuickStart(), AppMultiLangs->HelpFile());
  EXPECT_EQ(AppMultiFonts->Count(), 0);  // A has no scheme

  AppMultiLangs->SetIndex(1);
  EXPECT_EQ(AppMultiLangs->HelpFile(), box.Path("program/Langs/B/help.chm"));
  ASSERT_EQ(AppMultiFonts->Count(), 1);
  EXPECT_EQ(FONT_About, 1);
  EXPECT_EQ(FONT_About_TitleBar, 0);

  // Back to A: its help file, but B's scheme stays in force.
  AppMultiLangs->SetIndex(0);
  EXPECT_EQ(AppMultiLangs->HelpFile(), box.Path("program/Langs/A/help.chm"));
  EXPECT_EQ(AppMultiFonts->Count(), 1);
}

TEST(AppMultiLangs, KeepsTheConfigurationInStep) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("program/Langs/A/PurgoStrs.ini",
               StringFile("A", "2052", "STR_ApplicationTitle=清理大师\n"));
  box.MakeFile("program/Langs/B/PurgoStrs.ini", StringFile("B", "x", "STR_ApplicationTitle=\n"));
  TAppConfigs configs;
  AppMultiLangs->SetConfigs(&configs);
  ASSERT_TRUE(AppMultiLangs->Parse(""));

  AppMultiLangs->SetIndex(0);
  EXPECT_EQ(configs.ApplicationTitle(), "清理大师");
  EXPECT_EQ(configs.LanguageID(), 2052);
  // Written through at once, the configuration folder made on the way.
  const std::string file = box.Path("program/Config/Config.ini");
  EXPECT_EQ(platform::IniReadString(file, "General", "LanguageID", ""), "2052");

  // An empty title falls back to the built-in one; a language without an
  // id is stored in 16 bits.
  AppMultiLangs->SetIndex(1);
  EXPECT_EQ(STR_ApplicationTitle, "");
  EXPECT_EQ(configs.ApplicationTitle(), "Purgo");
  EXPECT_EQ(platform::IniReadString(file, "General", "LanguageID", ""), "65535");
}

TEST(AppMultiLangs, RefreshesVisibleWindowsInOrder) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("program/Langs/A/PurgoStrs.ini", StringFile("A", "1033", "STR_Yes=Oui\n"));
  ASSERT_TRUE(AppMultiLangs->Parse(""));

  std::vector<std::string> refreshed;
  bool mainVisible = false;
  // Registered out of order; refreshed as about, main, settings.
  RegisterLanguageWindow(
      TAppLanguageWindow::Setting, [] { return true; },
      [&refreshed] { refreshed.push_back("setting:" + STR_Yes); });
  RegisterLanguageWindow(
      TAppLanguageWindow::Main, [&mainVisible] { return mainVisible; },
      [&refreshed] { refreshed.push_back("main"); });
  RegisterLanguageWindow(
      TAppLanguageWindow::About, [] { return true; },
      [&refreshed] {
        refreshed.push_back("about");
        UnregisterLanguageWindow(TAppLanguageWindow::About);  // closes itself
      });

  AppMultiLangs->LoadLanguage(0);
  EXPECT_EQ(refreshed, (std::vector<std::string>{"about", "setting:Oui"}));

  refreshed.clear();
  mainVisible = true;
  AppMultiLangs->LoadLanguage(0);
  EXPECT_EQ(refreshed, (std::vector<std::string>{"main", "setting:Oui"}));

  UnregisterLanguageWindow(TAppLanguageWindow::Main);
  UnregisterLanguageWindow(TAppLanguageWindow::Setting);
  refreshed.clear();
  AppMultiLangs->LoadLanguage(0);
  EXPECT_TRUE(refreshed.empty());
}

TEST(AppMultiLangs, HostileValuesNeverBreakFormatting) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  std::string many;
  for (int i = 0; i < 1000; ++i) many += "%s";
  const std::vector<std::string> values = {
      "%n%s%s", "%99999999d", "trailing %", many, std::string(2047, '\\'), std::string(3000, 'x'),
      "%s %d %s %d", "%", "%%%", "\\0\\0", "%-1024.1024s"};
  std::string body;
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    body += AppMultiLangVars->GetName(i) + "=" + values[static_cast<std::size_t>(i) % values.size()] +
            "\n";
  }
  box.MakeFile("program/Langs/Bad/PurgoStrs.ini", StringFile("Bad", "1033", body));
  ASSERT_TRUE(AppMultiLangs->Parse(""));
  ASSERT_TRUE(AppMultiLangs->LoadLanguage(0));

  // The 2047-character limit of a value holds.
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    EXPECT_LE(AppMultiLangVars->GetValue(i).size(), 2047u) << AppMultiLangVars->GetName(i);
  }
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    const std::string* text = AppMultiLangVars->GetVariable(i);
    const TQelDynString dyn(text, {12, "1.50 MB", "name"});
    const std::string value = dyn.Value();
    EXPECT_LE(value.size(), 2047u * 1024u);
  }
  EXPECT_EQ(STR_ApplicationTitle, "%n%s%s");
  EXPECT_EQ(TQelDynString(&STR_ApplicationTitle, {"a", "b"}).Value(), "");
}

}  // namespace
}  // namespace purgo
