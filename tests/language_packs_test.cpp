// SPDX-License-Identifier: GPL-3.0-or-later
// The language packs shipped with the program, checked against the string
// table and the font variables they serve.
#include <gtest/gtest.h>

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
