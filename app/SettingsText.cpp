// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsText.h"

#include <limits>

#include "platform/AsciiText.h"

namespace purgo {
namespace {

using platform::TrimBlanks;

int DigitValue(char c, unsigned base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
}

// Parses into a magnitude of up to `bits` bits; the sign is applied by the
// caller. False on any character that does not belong or on overflow of
// what the base allows (2^bits - 1 for hexadecimal, 2^(bits-1) for
// decimal, the magnitude of the most negative value).
bool ParseInteger(std::string_view s, unsigned bits, std::int64_t& out) {
  s = TrimBlanks(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  unsigned base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  const std::uint64_t limit = base == 16 ? (bits == 64 ? std::numeric_limits<std::uint64_t>::max()
                                                       : (std::uint64_t{1} << bits) - 1)
                                         : (std::uint64_t{1} << (bits - 1));
  std::uint64_t magnitude = 0;
  for (char c : s) {
    const int d = DigitValue(c, base);
    if (d < 0) return false;
    if (magnitude > (limit - static_cast<std::uint64_t>(d)) / base) return false;
    magnitude = magnitude * base + static_cast<std::uint64_t>(d);
  }
  // A positive decimal may not reach the most negative value's magnitude.
  if (base == 10 && !negative && magnitude == limit) return false;
  // Hexadecimal wraps within the width; the cast gives two's complement.
  std::uint64_t value = negative ? (~magnitude + 1) : magnitude;
  if (bits < 64) {
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    value &= mask;
    const std::uint64_t signBit = std::uint64_t{1} << (bits - 1);
    if (value & signBit) value |= ~mask;
  }
  out = static_cast<std::int64_t>(value);
  return true;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool TryParseInt32(std::string_view S, std::int32_t& AValue) {
  std::int64_t v = 0;
  if (!ParseInteger(S, 32, v)) return false;
  AValue = static_cast<std::int32_t>(v);
  return true;
}

bool TryParseInt64(std::string_view S, std::int64_t& AValue) {
  std::int64_t v = 0;
  if (!ParseInteger(S, 64, v)) return false;
  AValue = v;
  return true;
}

bool TryParseBool(std::string_view S, bool& AValue) {
  S = TrimBlanks(S);
  if (SameAsciiText(S, "true") || SameAsciiText(S, "false")) {
    AValue = SameAsciiText(S, "true");
    return true;
  }
  std::size_t i = 0;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) ++i;
  bool digits = false, nonZero = false;
  auto readDigits = [&]() {
    for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i) {
      digits = true;
      nonZero = nonZero || S[i] != '0';
    }
  };
  readDigits();
  if (i < S.size() && S[i] == '.') {
    ++i;
    readDigits();
  }
  if (!digits) return false;
  if (i < S.size() && (S[i] == 'e' || S[i] == 'E')) {
    ++i;
    if (i < S.size() && (S[i] == '+' || S[i] == '-')) ++i;
    const std::size_t expStart = i;
    while (i < S.size() && S[i] >= '0' && S[i] <= '9') ++i;
    if (i == expStart) return false;
  }
  if (i != S.size()) return false;
  AValue = nonZero;
  return true;
}

}  // namespace purgo
