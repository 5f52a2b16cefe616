// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the language and font tests.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/AppMultiFonts.h"
#include "i18n/AppMultiLangs.h"
#include "i18n/QSDynString.h"

namespace purgo::test {

// Points LC_ALL at one locale for a scope, so both the language and the
// decimal separator follow it, and restores the previous value.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* locale) {
    if (const char* old = std::getenv("LC_ALL")) {
      had_ = true;
      old_ = old;
    }
    ::setenv("LC_ALL", locale, 1);
  }
  ~ScopedLocale() {
    if (had_) {
      ::setenv("LC_ALL", old_.c_str(), 1);
    } else {
      ::unsetenv("LC_ALL");
    }
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

// The process-wide font and string objects, fresh for one test: every
// variable back at its built-in value, freed again at the end.
class AppLanguageObjects {
 public:
  AppLanguageObjects() {
    FreeAppMultiLangs();
    FreeAppMultiFonts();
    CreateAppMultiFonts();
    CreateAppMultiLangs();
  }
  ~AppLanguageObjects() {
    FreeAppMultiLangs();
    FreeAppMultiFonts();
  }
  AppLanguageObjects(const AppLanguageObjects&) = delete;
  AppLanguageObjects& operator=(const AppLanguageObjects&) = delete;
};

// The conversions of a format text in order ("%s [%d files, %s]" gives
// "sds"), "%%" left out; "?" for a "%" with no conversion after it.
inline std::string Placeholders(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    ++i;
    if (i < text.size() && text[i] == '%') continue;
    while (i < text.size() && std::string_view("-0123456789.").find(text[i]) != std::string_view::npos) {
      ++i;
    }
    out.push_back(i < text.size() ? text[i] : '?');
  }
  return out;
}

// Typical arguments for a text with those conversions: a count for "%d",
// a size text for "%s".
inline TQelDynArgs TypicalArgs(std::string_view placeholders) {
  TQelDynArgs args;
  for (char c : placeholders) {
    if (c == 'd') {
      args.emplace_back(12);
    } else {
      args.emplace_back("1.50 MB");
    }
  }
  return args;
}

}  // namespace purgo::test
