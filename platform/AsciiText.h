// SPDX-License-Identifier: GPL-3.0-or-later
// ASCII-only text folding and trimming. Names are compared ignoring only
// the ASCII letters' case everywhere in the program, and settings files
// trim blanks and tabs around names and values.
#pragma once

#include <string>
#include <string_view>

namespace purgo::platform {

constexpr char FoldAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// `s` with a to z folded to upper case; every other byte unchanged.
inline std::string FoldedAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

constexpr bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// `s` without blanks and tabs at either end.
constexpr std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlankOrTab(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankOrTab(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace purgo::platform
