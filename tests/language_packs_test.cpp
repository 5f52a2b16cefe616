// SPDX-License-Identifier: GPL-3.0-or-later
// The language packs shipped with the program, checked against the string
// table and the font variables they serve.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "engine/AppUtils.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "tests/I18nTestSupport.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

const std::string kLangs = std::string(PURGO_SOURCE_DIR) + "/resources/Langs/";

struct Pack {
  std::string folder;
  std::string name;
  std::int32_t id;
  std::string face;  // of its font scheme, empty when it has none
};

const std::vector<Pack>& Packs() {
  static const std::vector<Pack> packs = {
      {"English", "English", 1033, "Tahoma"},
      {"SimplifiedChinese", "简体中文", 2052, "Noto Sans CJK SC"},
  };
  return packs;
}

TEST(LanguagePacks, EveryShippedFolderIsKnown) {
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(kLangs, platform::kAttrDirectory, entries));
  std::size_t folders = 0;
  for (const platform::DirEntry& e : entries) {
    if ((e.data.attributes & platform::kAttrDirectory) == 0) continue;
    ++folders;
    bool known = false;
    for (const Pack& p : Packs()) known = known || p.folder == e.name;
    EXPECT_TRUE(known) << e.name << " is not checked by this test";
  }
  EXPECT_EQ(folders, Packs().size());
}

TEST(LanguagePacks, StringsMatchTheTable) {
  test::AppLanguageObjects objects;
  for (const Pack& pack : Packs()) {
    SCOPED_TRACE(pack.folder);
    const platform::IniFile ini(kLangs + pack.folder + "/PurgoStrs.ini");
    ASSERT_EQ(ini.LoadStatus(), platform::ReadStatus::Ok);
    EXPECT_EQ(ini.ReadString("_Description_", "LanguageName", ""), pack.name);
    EXPECT_EQ(ini.ReadString("_Description_", "LanguageID", ""), std::to_string(pack.id));

    // Every key, in registration order, and nothing else.
    const std::vector<std::string> keys = ini.ReadSectionKeys("StringRes");
    ASSERT_EQ(keys.size(), static_cast<std::size_t>(kAppStringVariableCount));
    for (int i = 0; i < kAppStringVariableCount; ++i) {
      const std::string key = AppMultiLangVars->GetName(i);
      EXPECT_EQ(keys[static_cast<std::size_t>(i)], key);
      const std::string builtIn = AppMultiLangVars->GetValue(i);
      const std::string text = UnescapeString(ini.ReadString("StringRes", key, ""));
      EXPECT_FALSE(text.empty()) << key;
      // English throughout, also where the built-in text is Chinese.
      if (pack.id == 1033) {
        for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << key;
        // The command line names the categories by the built-in texts, the
        // window by the pack's: they must read the same.
        if (key.starts_with("STR_PGC_ScanTypes")) {
          EXPECT_EQ(text, builtIn) << key;
        }
      }
      // The same placeholders, in the same order, of the same kinds.
      EXPECT_EQ(test::Placeholders(text), test::Placeholders(builtIn)) << key;
      if (!test::Placeholders(builtIn).empty()) {
        const TQelDynArgs args = test::TypicalArgs(test::Placeholders(builtIn));
        EXPECT_NE(QelFormat(text, args), "") << key;
      }
    }
  }
}

// English texts for one thing say "file" where those for several say
// "files"; a pack made before the texts for one existed keeps its own
// plural for one rather than taking English.
TEST(LanguagePacks, CountsOfOneReadRight) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("program/Langs/Old/PurgoStrs.ini",
               "[_Description_]\nLanguageID=1031\n[StringRes]\nSTR_PGCForm_3=%s [%d Dateien, %s]\n");
  for (const char* pack : {"English", "SimplifiedChinese"}) {
    std::filesystem::copy(kLangs + pack, box.Path(std::string("program/Langs/") + pack));
  }
  ASSERT_TRUE(AppMultiLangs->Parse(""));
  const std::tuple<std::int32_t, std::int64_t, std::string> cases[] = {
      {1033, 0, "x [0 files, 0 bytes]"}, {1033, 1, "x [1 file, 1 byte]"},     {1033, 2, "x [2 files, 2 bytes]"},
      {2052, 1, "x [1 个文件，1 byte]"},   {1031, 1, "x [1 Dateien, 1 byte]"}, {1033, 1, "x [1 file, 1 byte]"},
  };
  for (const auto& [language, count, shown] : cases) {
    AppMultiLangs->SetCurrentLanguageID(language);
    const TQelDynArgs args = {"x", count, FormatSize64(count)};
    EXPECT_EQ(QelFormat(CountText(count, STR_PGCForm_3, STR_PGCForm_3_One), args), shown) << language;
  }
  // Every English text for one is its text for several, "files" made "file".
  AppMultiLangs->SetCurrentLanguageID(1033);
  std::map<std::string, std::string> texts;
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    texts[AppMultiLangVars->GetName(i)] = AppMultiLangVars->GetValue(i);
  }
  for (const auto& [key, one] : texts) {
    if (!key.ends_with("_One")) continue;
    std::string many = texts[key.substr(0, key.size() - 4)];
    ASSERT_NE(many.find(" files"), std::string::npos) << key;
    EXPECT_EQ(one, many.replace(many.find(" files"), 6, " file")) << key;
  }
}

TEST(LanguagePacks, FontSchemesCoverEveryVariable) {
  test::AppLanguageObjects objects;
  for (const Pack& pack : Packs()) {
    SCOPED_TRACE(pack.folder);
    if (pack.face.empty()) continue;
    const platform::IniFile ini(kLangs + pack.folder + "/PurgoFonts.ini");
    ASSERT_EQ(ini.LoadStatus(), platform::ReadStatus::Ok);
    TAppMultiFonts scheme;
    ASSERT_TRUE(scheme.LoadFromIni(ini.FileName()));
    EXPECT_EQ(scheme.Count(), 15);
    for (int id = 1; id <= 15; ++id) {
      const TQelFontProperty* font = scheme.FindFontOfID(id);
      ASSERT_NE(font, nullptr) << id;
      EXPECT_EQ(font->Name(), pack.face) << id;
      EXPECT_NE(font->Flags() & TQelFontProperty::kFlagSize, 0u) << id;
    }
    // Every variable is named, with an id the scheme defines.
    const std::vector<std::string> keys = ini.ReadSectionKeys("FontPropertyIDs");
    ASSERT_EQ(keys.size(), static_cast<std::size_t>(kAppFontVariableCount));
    for (int i = 0; i < AppMultiFontVars->Count(); ++i) {
      EXPECT_EQ(keys[static_cast<std::size_t>(i)], AppMultiFontVars->GetName(i));
      EXPECT_NE(scheme.FindFontOfID(AppMultiFontVars->GetValue(i)), nullptr)
          << AppMultiFontVars->GetName(i);
    }
  }
}

TEST(LanguagePacks, LoadThroughTheCatalogue) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  ASSERT_TRUE(AppMultiLangs->Parse(kLangs));
  ASSERT_EQ(AppMultiLangs->Count(), 2);

  AppMultiLangs->SetCurrentLanguageID(2052);
  EXPECT_EQ(AppMultiLangs->CurrentLanguageName(), "简体中文");
  EXPECT_EQ(STR_Yes, "是");
  EXPECT_EQ(STR_PGCForm_2, "正在清理，请稍候...\r\n已清理 %d 个文件。[%s]");
  TQelFont font;
  ApplyFont(font, FONT_About_TitleBar);
  EXPECT_EQ(font.Name, "Noto Sans CJK SC");
  EXPECT_EQ(font.Size, 12);

  AppMultiLangs->SetCurrentLanguageID(1033);
  EXPECT_EQ(STR_Yes, "Yes");
  EXPECT_EQ(STR_Finished, "Finished");
  EXPECT_EQ(STR_PGCForm_2, "Cleaning, please wait...\r\n%d files cleaned. [%s]");
  font = TQelFont{};
  ApplyFont(font, FONT_About_TitleBar);
  EXPECT_EQ(font.Name, "Tahoma");
}

}  // namespace
}  // namespace purgo
