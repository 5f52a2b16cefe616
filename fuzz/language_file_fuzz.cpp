// SPDX-License-Identifier: GPL-3.0-or-later
// A language file is untrusted: load one the way a language change does,
// then format every text it gave with the arguments the windows pass.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/SettingsText.h"
#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"
#include "platform/IniFile.h"

namespace {

// Opens the loading step to the fuzzer without touching the disk.
class FuzzLanguages : public purgo::TAppMultiLangs {
 public:
  FuzzLanguages() : TAppMultiLangs("PurgoStrs.ini", "") {}
  using TAppMultiLangs::DoLoadingStrings;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace purgo;
  // Every input starts from the built-in texts.
  FreeAppMultiLangs();
  CreateAppMultiFonts();
  CreateAppMultiLangs();

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  platform::IniFile ini = platform::IniFile::FromBytes(bytes);
  std::int32_t id = 0;
  TryParseInt32(ini.ReadString("_Description_", "LanguageID", "-1"), id);

  static FuzzLanguages* const languages = new FuzzLanguages();
  languages->DoLoadingStrings(ini);

  // The argument lists the windows use: counts, sizes, names, words.
  static const std::string kSize = FormatSize64(123456789);
  std::size_t total = 0;
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    const std::string* text = AppMultiLangVars->GetVariable(i);
    total += TQelDynString(text, {12, kSize, "/home/user/a.tmp"}).Value().size();
    total += TQelDynString(text, {&STR_PGC_ScanTypes0, 3, kSize}).Value().size();
    total += TQelDynString(text, {std::int64_t{-5}, 2.5, 'x'}).Value().size();
  }
  return total == SIZE_MAX ? 1 : 0;
}
