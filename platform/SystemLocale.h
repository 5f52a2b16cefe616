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

// The decimal separator of the user's numeric locale (LC_ALL, LC_NUMERIC,
// LANG): "," for most of continental Europe, "." otherwise.
char DecimalSeparator();

}  // namespace purgo::platform
