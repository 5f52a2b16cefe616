// SPDX-License-Identifier: GPL-3.0-or-later
// The user's language, from the locale environment.
#pragma once

#include <cstdint>
#include <string>

namespace purgo::platform {

// GetThreadLocale's language part: the Windows language identifier of the
// first of LC_ALL, LC_MESSAGES, LANG that is set and not empty (en_US
// 1033, zh_CN 2052, de_DE 1031, ...). "C", "POSIX" or nothing give 1033;
// a language we do not know gives its primary language with the default
// sublanguage, or 1033 when even that is unknown.
std::uint16_t SystemLanguageId();

// The same for one locale name ("zh_CN.UTF-8", "pt_BR@euro", "de").
std::uint16_t LanguageIdFromLocaleName(const std::string& name);

// A locale name taken apart: "zh_CN.UTF-8" is zh, Hans, CN; "zh-Hant-HK"
// is zh, Hant, HK. The language is lower-case, the script title-case, the
// territory upper-case. Chinese names without a script get the one their
// territory writes (Hant for TW, HK and MO, Hans otherwise), so that a
// locale and a pack can be compared by what a reader can read. "C",
// "POSIX" and the empty name are English, as the C library treats them.
struct LocaleParts {
  std::string language;
  std::string script;
  std::string territory;
};
LocaleParts ParseLocaleName(const std::string& name);

// The locale of a Windows language identifier, as a language pack states
// it ("LanguageID=2052" is zh, Hans, CN); an empty language when the
// identifier's language is unknown. A sub-language we do not know keeps
// the language without a territory.
LocaleParts LocaleOfLanguageId(std::uint16_t id);

// The locale that names the language of messages: the first of LC_ALL,
// LC_MESSAGES, LANG that is set and not empty, as POSIX orders them;
// empty when none is.
std::string MessagesLocaleName();

// The decimal separator of the user's numeric locale (LC_ALL, LC_NUMERIC,
// LANG): "," for most of continental Europe, "." otherwise.
char DecimalSeparator();

}  // namespace purgo::platform
