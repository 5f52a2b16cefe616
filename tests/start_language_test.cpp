// SPDX-License-Identifier: GPL-3.0-or-later
// The language a start begins in: the user's locale on a first start, the
// stored language after that.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/AppConfigs.h"
#include "i18n/AppMultiLangs.h"
#include "tests/I18nTestSupport.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

// The start-up's language step on the sandbox's program folder, with packs
// given as "Folder:LanguageID ..." (each named as its folder): the name of
// the pack selected.
std::string Start(test::Sandbox& box, const std::string& packs) {
  std::istringstream in(packs);
  for (std::string pack; in >> pack;) {
    const std::string folder = pack.substr(0, pack.find(':'));
    box.MakeFile("program/Langs/" + folder + "/PurgoStrs.ini",
                 "[_Description_]\nLanguageName=" + folder + "\nLanguageID=" + pack.substr(pack.find(':') + 1) + "\n");
  }
  TAppConfigs configs;
  configs.Load();
  AppMultiLangs->SetConfigs(&configs);
  EXPECT_TRUE(AppMultiLangs->Parse(""));
  SelectStartLanguage(*AppMultiLangs, configs);
  AppMultiLangs->SetConfigs(nullptr);
  return AppMultiLangs->CurrentLanguageName();
}

// LC_ALL stands for the locale here: which of LC_ALL, LC_MESSAGES and LANG
// names it is the locale tests' business.
TEST(StartLanguage, FirstStartFollowsTheLocaleWhenAPackFitsThenTheStoredOneHolds) {
  const std::string shipped = "English:1033 SimplifiedChinese:2052";
  const struct Case {
    const char* locale;
    std::string packs;     // beside the shipped ones
    const char* config;    // Config.ini; null for none
    const char* expected;
  } cases[] = {
      {"C.UTF-8", "", nullptr, "English"},
      {"zh_CN.UTF-8", "", nullptr, "SimplifiedChinese"},
      {"zh_SG.GBK", "", nullptr, "SimplifiedChinese"},
      {"zh-Hans-HK", "", nullptr, "SimplifiedChinese"},
      // Traditional Chinese readers get no Simplified pack, but their own.
      {"zh_TW.UTF-8", "", nullptr, "English"},
      {"zh_HK.UTF-8", "Traditional:1028", nullptr, "Traditional"},
      // The locale's own country first, then its language.
      {"zh_SG.UTF-8", "Singapore:4100", nullptr, "Singapore"},
      {"de_AT.UTF-8", "Deutsch:1031", nullptr, "Deutsch"},
      // No fitting pack: English, not the pack that sorts first.
      {"fr_FR.UTF-8", "Deutsch:1031", nullptr, "English"},
      // A file that stores no language is a first start; one that does, not.
      {"zh_CN.UTF-8", "", "[General]\nVersion=0.1.0\nLanguageID=English\n", "SimplifiedChinese"},
      {"zh_CN.UTF-8", "", "[General]\nLanguageID=1033\n", "English"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.packs);
    test::Sandbox box;
    test::AppLanguageObjects objects;
    test::ScopedLocale locale(c.locale);
    if (c.config != nullptr) box.MakeFile("program/Config/Config.ini", c.config);
    EXPECT_EQ(Start(box, shipped + " " + c.packs), c.expected);
  }

  // The first choice is written at once, and the next start keeps it.
  test::Sandbox box;
  test::AppLanguageObjects objects;
  {
    test::ScopedLocale locale("zh_CN.UTF-8");
    ASSERT_EQ(Start(box, shipped), "SimplifiedChinese");
  }
  test::ScopedLocale locale("en_US.UTF-8");
  EXPECT_EQ(Start(box, ""), "SimplifiedChinese");
}

}  // namespace
}  // namespace purgo
