// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/QSDynString.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <utility>

#include "platform/SystemLocale.h"
#include "platform/Utf8.h"

namespace purgo {

// ---- arguments ---------------------------------------------------------------

TQelDynArg::TQelDynArg(double AValue) : FKind(TKind::Extended), FFloat(AValue) {}

TQelDynArg::TQelDynArg(long double AValue)
    : FKind(TKind::Extended), FFloat(static_cast<double>(AValue)) {}

TQelDynArg::TQelDynArg(std::string_view AValue) : FKind(TKind::String), FText(AValue) {}

TQelDynArg::TQelDynArg(const std::string& AValue) : FKind(TKind::String), FText(AValue) {}

TQelDynArg::TQelDynArg(const char* AValue)
    : FKind(TKind::String), FText(AValue != nullptr ? AValue : "") {}

TQelDynArg::TQelDynArg(const std::string* AVariable)
    : FKind(TKind::StringVar), FVariable(AVariable) {}

TQelDynArg TQelDynArg::Currency(std::int64_t ATenThousandths) {
  TQelDynArg a;
  a.FKind = TKind::Currency;
  a.FInt = ATenThousandths;
  return a;
}

TQelDynArg TQelDynArg::Pointer(const void* AValue) {
  TQelDynArg a;
  a.FKind = TKind::Pointer;
  a.FPointer = AValue;
  return a;
}

// ---- the formatter -----------------------------------------------------------

namespace {

struct Conversion {
  bool left = false;  // "-": pad on the right
  bool zero = false;  // "0": pad numbers with zeros after the sign
  int width = 0;
  int precision = -1;  // -1: none given
  char original = 0;  // the conversion letter as written
  char kind = 0;      // folded to lower case
};

std::size_t CharCount(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); i += platform::Utf8CharLength(s, i)) ++count;
  return count;
}

// The first `chars` characters of s.
std::string_view FirstChars(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  for (std::size_t c = 0; c < chars && i < s.size(); ++c) i += platform::Utf8CharLength(s, i);
  return s.substr(0, i);
}

void Pad(std::string& out, std::size_t count, char c) { out.append(count, c); }

// Text conversions: precision cuts, width pads with blanks.
void EmitText(std::string& out, std::string_view text, const Conversion& conv) {
  if (conv.precision >= 0) text = FirstChars(text, static_cast<std::size_t>(conv.precision));
  const std::size_t chars = CharCount(text);
  const std::size_t width = static_cast<std::size_t>(conv.width);
  const std::size_t fill = width > chars ? width - chars : 0;
  if (!conv.left) Pad(out, fill, ' ');
  out.append(text);
  if (conv.left) Pad(out, fill, ' ');
}

// Number conversions: sign, then digits; zero padding goes between them.
void EmitNumber(std::string& out, bool negative, std::string_view digits, const Conversion& conv,
                bool zeroAllowed) {
  const std::size_t len = digits.size() + (negative ? 1 : 0);
  const std::size_t width = static_cast<std::size_t>(conv.width);
  const std::size_t fill = width > len ? width - len : 0;
  if (conv.left) {
    if (negative) out.push_back('-');
    out.append(digits);
    Pad(out, fill, ' ');
  } else if (conv.zero && zeroAllowed) {
    if (negative) out.push_back('-');
    Pad(out, fill, '0');
    out.append(digits);
  } else {
    Pad(out, fill, ' ');
    if (negative) out.push_back('-');
    out.append(digits);
  }
}

bool EmitInteger(std::string& out, const TQelDynArg& arg, const Conversion& conv) {
  using K = TQelDynArg::TKind;
  if (arg.Kind() != K::Integer && arg.Kind() != K::Int64) return false;
  const bool wide = arg.Kind() == K::Int64;
  const std::int64_t v = arg.AsInt();
  bool negative = false;
  std::uint64_t magnitude = 0;
  int base = 10;
  switch (conv.kind) {
    case 'd':
      negative = v < 0;
      // Two's complement magnitude; correct for INT64_MIN as well.
      magnitude = negative ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
      break;
    case 'u':
      magnitude = wide ? static_cast<std::uint64_t>(v)
                       : static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
      break;
    default:  // x, X
      base = 16;
      magnitude = wide ? static_cast<std::uint64_t>(v)
                       : static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
      break;
  }
  std::array<char, 32> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude, base);
  if (res.ec != std::errc{}) return false;
  std::string digits(buf.data(), res.ptr);
  if (conv.original == 'X') {
    for (char& c : digits) {
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  if (conv.precision >= 0 && digits.size() < static_cast<std::size_t>(conv.precision)) {
    digits.insert(0, static_cast<std::size_t>(conv.precision) - digits.size(), '0');
  }
  // A given precision switches zero padding off, as printf does.
  EmitNumber(out, negative, digits, conv, conv.precision < 0);
  return true;
}

bool EmitFloat(std::string& out, const TQelDynArg& arg, const Conversion& conv, char separator) {
  using K = TQelDynArg::TKind;
  double v = 0.0;
  if (arg.Kind() == K::Extended) v = arg.AsFloat();
  else if (arg.Kind() == K::Currency) v = static_cast<double>(arg.AsInt()) / 10000.0;
  else return false;

  std::chars_format format = std::chars_format::fixed;
  if (conv.kind == 'e') format = std::chars_format::scientific;
  if (conv.kind == 'g') format = std::chars_format::general;
  int precision = conv.precision >= 0 ? conv.precision : 6;
  if (conv.kind == 'g' && precision == 0) precision = 1;

  // The largest double has 309 integer digits; with the precision capped
  // the text always fits.
  std::array<char, 512 + kQelMaxFormatWidth> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, format, precision);
  if (res.ec != std::errc{}) return false;
  std::string text(buf.data(), res.ptr);
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  const bool finite = !text.empty() && text[0] >= '0' && text[0] <= '9';
  for (char& c : text) {
    if (c == '.') c = separator;
    if (conv.original >= 'A' && conv.original <= 'Z' && c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  EmitNumber(out, negative, text, conv, finite);
  return true;
}

bool EmitString(std::string& out, const TQelDynArg& arg, const Conversion& conv) {
  using K = TQelDynArg::TKind;
  switch (arg.Kind()) {
    case K::String: EmitText(out, arg.AsText(), conv); return true;
    case K::StringVar:
      EmitText(out, arg.AsVariable() != nullptr ? std::string_view(*arg.AsVariable()) : "", conv);
      return true;
    case K::Char: {
      std::string c;
      platform::AppendUtf8(c, static_cast<char32_t>(arg.AsInt()));
      EmitText(out, c, conv);
      return true;
    }
    default: return false;
  }
}

bool EmitPointer(std::string& out, const TQelDynArg& arg, const Conversion& conv) {
  using K = TQelDynArg::TKind;
  const void* p = nullptr;
  if (arg.Kind() == K::Pointer) p = arg.AsPointer();
  else if (arg.Kind() == K::StringVar) p = arg.AsVariable();
  else return false;
  const auto value = reinterpret_cast<std::uintptr_t>(p);
  std::array<char, 32> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value, 16);
  std::string digits(buf.data(), res.ptr);
  for (char& c : digits) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  digits.insert(0, sizeof(void*) * 2 - digits.size(), '0');
  EmitText(out, digits, conv);
  return true;
}

// Digits of a width or precision; false when they exceed the cap.
bool ReadCount(std::string_view f, std::size_t& i, int& value) {
  value = 0;
  while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
    value = value * 10 + (f[i] - '0');
    if (value > kQelMaxFormatWidth) return false;
    ++i;
  }
  return true;
}

}  // namespace

bool QelFormat(std::string_view AFormat, std::span<const TQelDynArg> AArgs,
               char ADecimalSeparator, std::string& ioResult) {
  ioResult.clear();
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < AFormat.size()) {
    const std::size_t pct = AFormat.find('%', i);
    if (pct == std::string_view::npos) {
      ioResult.append(AFormat.substr(i));
      break;
    }
    ioResult.append(AFormat.substr(i, pct - i));
    i = pct + 1;
    if (i < AFormat.size() && AFormat[i] == '%') {
      ioResult.push_back('%');
      ++i;
      continue;
    }
    Conversion conv;
    for (; i < AFormat.size(); ++i) {
      if (AFormat[i] == '-') conv.left = true;
      else if (AFormat[i] == '0') conv.zero = true;
      else break;
    }
    bool ok = ReadCount(AFormat, i, conv.width);
    if (ok && i < AFormat.size() && AFormat[i] == '.') {
      ++i;
      ok = ReadCount(AFormat, i, conv.precision);
    }
    if (!ok || i >= AFormat.size() || next >= AArgs.size()) {
      ioResult.clear();
      return false;
    }
    conv.original = AFormat[i++];
    switch (conv.original) {
      case 'D': conv.kind = 'd'; break;
      case 'U': conv.kind = 'u'; break;
      case 'S': conv.kind = 's'; break;
      case 'P': conv.kind = 'p'; break;
      case 'X': conv.kind = 'x'; break;
      case 'F': conv.kind = 'f'; break;
      case 'E': conv.kind = 'e'; break;
      case 'G': conv.kind = 'g'; break;
      default: conv.kind = conv.original;
    }
    const TQelDynArg& arg = AArgs[next++];
    switch (conv.kind) {
      case 'd':
      case 'u':
      case 'x': ok = EmitInteger(ioResult, arg, conv); break;
      case 'f':
      case 'e':
      case 'g': ok = EmitFloat(ioResult, arg, conv, ADecimalSeparator); break;
      case 's': ok = EmitString(ioResult, arg, conv); break;
      case 'p': ok = EmitPointer(ioResult, arg, conv); break;
      default: ok = false;
    }
    if (!ok) {
      ioResult.clear();
      return false;
    }
  }
  return true;
}

std::string QelFormat(std::string_view AFormat, std::span<const TQelDynArg> AArgs) {
  std::string out;
  QelFormat(AFormat, AArgs, platform::DecimalSeparator(), out);
  return out;
}

// ---- dynamic strings ---------------------------------------------------------

TQelDynString::TQelDynString() = default;

TQelDynString::TQelDynString(const std::string* ADynFormat) { Reload(ADynFormat); }

TQelDynString::TQelDynString(const std::string* ADynFormat, TQelDynArgs AArgs) {
  Reload(ADynFormat, std::move(AArgs));
}

TQelDynString::TQelDynString(const TQelDynString& AOther)
    : FArgs(AOther.FArgs), FFormat(Adopt(AOther)) {}

TQelDynString& TQelDynString::operator=(const TQelDynString& AOther) {
  if (this != &AOther) {
    FArgs = AOther.FArgs;
    FFormat = Adopt(AOther);
  }
  return *this;
}

// The other string's format as this one must refer to it: its constant
// formats are its own members, so a copy takes the matching member here.
const std::string* TQelDynString::Adopt(const TQelDynString& AOther) const {
  if (AOther.FFormat == &AOther.FConstString) return &FConstString;
  if (AOther.FFormat == &AOther.FConstDecimal) return &FConstDecimal;
  if (AOther.FFormat == &AOther.FConstHex) return &FConstHex;
  return AOther.FFormat;
}

void TQelDynString::Reload() {
  FArgs.clear();
  FFormat = nullptr;
}

void TQelDynString::Reload(const std::string* ADynFormat) {
  Reload();
  if (ADynFormat != nullptr && !ADynFormat->empty()) FFormat = ADynFormat;
}

void TQelDynString::Reload(const std::string* ADynFormat, TQelDynArgs AArgs) {
  Reload(ADynFormat);
  FArgs = std::move(AArgs);
}

void TQelDynString::ReloadString(const std::string& AStaticValue) {
  Reload(&FConstString, {TQelDynArg(AStaticValue)});
}

void TQelDynString::ReloadDecimal(std::int32_t AStaticValue) {
  Reload(&FConstDecimal, {TQelDynArg(AStaticValue)});
}

void TQelDynString::ReloadHex(std::int32_t AStaticValue) {
  Reload(&FConstHex, {TQelDynArg(AStaticValue)});
}

std::string TQelDynString::Format() const { return FFormat != nullptr ? *FFormat : std::string(); }

std::string TQelDynString::Value() const {
  std::string text = Format();
  if (FArgs.empty() || text.empty()) return text;
  // A referenced variable is read now, so the word follows the language.
  TQelDynArgs args = FArgs;
  for (TQelDynArg& a : args) {
    if (a.Kind() == TQelDynArg::TKind::StringVar && a.AsVariable() != nullptr &&
        !a.AsVariable()->empty()) {
      a = TQelDynArg(*a.AsVariable());
    }
  }
  std::string out;
  QelFormat(text, args, platform::DecimalSeparator(), out);
  return out;
}

// ---- sizes ------------------------------------------------------------------

std::string FormatSize64(std::int64_t Value) {
  constexpr std::int64_t kKB = 1024;
  constexpr std::int64_t kMB = kKB * 1024;
  constexpr std::int64_t kGB = kMB * 1024;
  const auto v = static_cast<double>(Value);
  if (Value == 1) return "1 byte";
  if (Value < kKB) return QelFormat("%d bytes", std::array{TQelDynArg(Value)});
  if (Value < kMB) return QelFormat("%0.2f KB", std::array{TQelDynArg(v / 1024.0)});
  if (Value < kGB) return QelFormat("%0.2f MB", std::array{TQelDynArg(v / 1024.0 / 1024.0)});
  return QelFormat("%0.2f GB", std::array{TQelDynArg(v / 1024.0 / 1024.0 / 1024.0)});
}

std::string FormatSize(std::int32_t Value) { return FormatSize64(Value); }

}  // namespace purgo
