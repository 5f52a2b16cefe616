// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemLocale.h"

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace purgo::platform {
namespace {

struct LocaleId {
  std::string_view name;  // "ll" or "ll_CC"
  std::uint16_t id;
};

// Windows language identifiers. A bare language code stands for the
// language's default country; the first entry of each language is it.
constexpr LocaleId kLocales[] = {
    {"en", 0x0409}, {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en_SG", 0x4809},
    {"zh", 0x0804}, {"zh_CN", 0x0804}, {"zh_SG", 0x1004}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04},
    {"zh_MO", 0x1404}, {"zh_Hans", 0x0004}, {"zh_Hant", 0x7C04},
    {"de", 0x0407}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007},
    {"de_LI", 0x1407},
    {"fr", 0x040C}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"fr_LU", 0x140C},
    {"es", 0x0C0A}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A},
    {"es_CL", 0x340A}, {"es_US", 0x540A},
    {"it", 0x0410}, {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"pt", 0x0816}, {"pt_PT", 0x0816}, {"pt_BR", 0x0416},
    {"nl", 0x0413}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"sv", 0x041D}, {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
    {"ja", 0x0411}, {"ko", 0x0412}, {"ru", 0x0419}, {"pl", 0x0415}, {"da", 0x0406},
    {"nb", 0x0414}, {"no", 0x0414}, {"nn", 0x0814}, {"fi", 0x040B}, {"cs", 0x0405},
    {"hu", 0x040E}, {"tr", 0x041F}, {"el", 0x0408}, {"he", 0x040D}, {"ar", 0x0401},
    {"th", 0x041E}, {"uk", 0x0422}, {"vi", 0x042A}, {"id", 0x0421}, {"ro", 0x0418},
    {"sk", 0x041B}, {"bg", 0x0402}, {"hr", 0x041A}, {"sl", 0x0424}, {"et", 0x0425},
    {"lv", 0x0426}, {"lt", 0x0427}, {"ca", 0x0403}, {"hi", 0x0439}, {"ms", 0x043E},
    {"fa", 0x0429}, {"sr", 0x241A}, {"is", 0x040F}, {"ga", 0x083C}, {"eu", 0x042D},
    {"gl", 0x0456}, {"be", 0x0423}, {"ka", 0x0437}, {"kk", 0x043F}, {"bn", 0x0445},
    {"ta", 0x0449}, {"ur", 0x0420}, {"af", 0x0436}, {"sq", 0x041C}, {"mk", 0x042F},
};

constexpr std::uint16_t kEnglishUS = 0x0409;
// The part of an identifier that names the language, without the country.
constexpr std::uint16_t kPrimaryLanguageMask = 0x03FF;

// Languages whose numbers are written with a decimal comma.
constexpr std::string_view kCommaLanguages[] = {
    "af", "be", "bg", "ca", "cs", "da", "de", "el", "es", "et", "eu", "fi", "fr", "gl", "hr",
    "hu", "id", "is", "it", "ka", "kk", "lt", "lv", "mk", "nb", "nl", "nn", "no", "pl", "pt",
    "ro", "ru", "sk", "sl", "sq", "sr", "sv", "tr", "uk", "vi",
};

// The first of the variables that is set and not empty.
std::string FirstLocale(std::initializer_list<const char*> variables) {
  for (const char* v : variables) {
    const char* value = std::getenv(v);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

// "zh_CN.UTF-8@euro" -> language "zh", country "CN".
void SplitLocale(std::string_view name, std::string& language, std::string& country) {
  name = name.substr(0, name.find_first_of(".@"));
  const std::size_t us = name.find_first_of("_-");
  language = std::string(name.substr(0, us));
  country = us == std::string_view::npos ? std::string() : std::string(name.substr(us + 1));
  for (char& c : language) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  for (char& c : country) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool AllOf(std::string_view s, bool (*pred)(char)) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!pred(c)) return false;
  }
  return true;
}
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

LocaleParts ParseLocaleName(const std::string& name) {
  std::string_view rest = std::string_view(name).substr(0, name.find_first_of(".@"));
  LocaleParts parts;
  bool first = true;
  while (true) {
    const std::size_t sep = rest.find_first_of("_-");
    const std::string_view piece = rest.substr(0, sep);
    if (first) {
      for (char c : piece) parts.language += Lower(c);
      first = false;
    } else if (piece.size() == 4 && AllOf(piece, IsAsciiLetter)) {
      parts.script = {Upper(piece[0]), Lower(piece[1]), Lower(piece[2]), Lower(piece[3])};
    } else if ((piece.size() == 2 && AllOf(piece, IsAsciiLetter)) ||
               (piece.size() == 3 && AllOf(piece, IsAsciiDigit))) {
      if (parts.territory.empty()) {
        for (char c : piece) parts.territory += Upper(c);
      }
    }
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
  }
  if (parts.language.empty() || parts.language == "c" || parts.language == "posix") {
    return {"en", "", "US"};
  }
  if (parts.language == "zh" && parts.script.empty()) {
    const std::string& t = parts.territory;
    parts.script = (t == "TW" || t == "HK" || t == "MO") ? "Hant" : "Hans";
  }
  return parts;
}

LocaleParts LocaleOfLanguageId(std::uint16_t id) {
  // The bare language of a default country shares its id; the entry
  // that names the country says more.
  for (const LocaleId& l : kLocales) {
    if (l.id == id && l.name.find('_') != std::string_view::npos) return ParseLocaleName(std::string(l.name));
  }
  for (const LocaleId& l : kLocales) {
    if (l.id == id) return ParseLocaleName(std::string(l.name));
  }
  // An unknown country of a known language: the language alone.
  for (const LocaleId& l : kLocales) {
    if ((l.id & kPrimaryLanguageMask) == (id & kPrimaryLanguageMask)) {
      return ParseLocaleName(std::string(l.name.substr(0, l.name.find('_'))));
    }
  }
  return {};
}

std::string MessagesLocaleName() { return FirstLocale({"LC_ALL", "LC_MESSAGES", "LANG"}); }

namespace {

// The separator the locale variables name: "," for most of continental
// Europe, "." otherwise.
char PosixDecimalSeparator() {
  std::string language, country;
  SplitLocale(FirstLocale({"LC_ALL", "LC_NUMERIC", "LANG"}), language, country);
  // Swiss and Mexican usage keeps the point whatever the language.
  if (country == "CH" || country == "LI" || country == "MX") return '.';
  for (std::string_view l : kCommaLanguages) {
    if (l == language) return ',';
  }
  return '.';
}

}  // namespace

std::uint16_t LanguageIdFromLocaleName(const std::string& name) {
  std::string language, country;
  SplitLocale(name, language, country);
  if (language.empty() || language == "c" || language == "posix") return kEnglishUS;
  const std::string full = language + "_" + country;
  for (const LocaleId& l : kLocales) {
    if (!country.empty() && l.name == full) return l.id;
  }
  for (const LocaleId& l : kLocales) {
    if (l.name == language) return l.id;
  }
  return kEnglishUS;
}

#ifdef _WIN32
// ---- Windows: the thread's locale ------------------------------------------
// A locale variable set in the environment (as shells ported from POSIX
// set LANG) speaks first, as on Linux; otherwise the system's answer.

std::uint16_t SystemLanguageId() {
  const std::string name = MessagesLocaleName();
  if (!name.empty()) return LanguageIdFromLocaleName(name);
  return LANGIDFROMLCID(::GetThreadLocale());
}

char DecimalSeparator() {
  if (!FirstLocale({"LC_ALL", "LC_NUMERIC", "LANG"}).empty()) return PosixDecimalSeparator();
  wchar_t sep[4] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 4) > 0 && sep[0] == L',') return ',';
  return '.';
}

#else
// ---- POSIX: the locale environment -----------------------------------------

std::uint16_t SystemLanguageId() {
  return LanguageIdFromLocaleName(MessagesLocaleName());
}

char DecimalSeparator() { return PosixDecimalSeparator(); }

#endif

}  // namespace purgo::platform
