// SPDX-License-Identifier: GPL-3.0-or-later
// Recognising UTF-8 in byte strings that need not be UTF-8 (file names,
// settings files written by anyone).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace purgo::platform {

// Length in bytes of the well-formed UTF-8 sequence that starts at s[i]
// (no overlong forms, no surrogates, nothing above U+10FFFF), or 0 when the
// byte there starts none: a stray continuation byte, a truncated or invalid
// sequence. An ASCII byte, NUL included, is a sequence of one.
inline std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return 1;
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if (b1 < lo || b1 > hi) return 0;
  for (std::size_t k = 2; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < 0x80 || b > 0xBF) return 0;
  }
  return len;
}

// Length of the character at s[i] as the text helpers count characters: a
// well-formed sequence, else the single byte. Never 0, so a loop that adds
// it always advances.
inline std::size_t Utf8CharLength(std::string_view s, std::size_t i) {
  const std::size_t len = Utf8SequenceLength(s, i);
  return len == 0 ? 1 : len;
}

// Appends the UTF-8 form of a code point; a surrogate or a value beyond
// U+10FFFF, which UTF-8 cannot carry, becomes U+FFFD.
inline void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace purgo::platform
