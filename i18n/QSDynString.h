// SPDX-License-Identifier: GPL-3.0-or-later
// Texts that follow a change of language without their owner rebuilding
// them, and the size texts such texts usually carry.
//
// A dynamic string refers to a string variable of the string table (it
// never copies the format) and keeps private copies of its arguments; its
// Value formats the variable's current text each time it is read.
//
// The formatter is our own and is safe for texts from language files,
// which are untrusted: a placeholder that does not match its argument,
// a missing argument, a conversion it does not know ("%n" among them), a
// trailing "%" or a width or precision over kQelMaxFormatWidth make the
// whole result empty. It never reads past its arguments and never hands a
// text to the C library's printf family.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace purgo {

// One stored argument: a kind tag and its value. Texts of every kind are
// copied, so an argument never depends on the caller's string living on.
// A pointer to a std::string is the one exception: it names a string
// variable of the string table, which is read when the text is formatted,
// so a translated word passed as an argument follows language changes.
class TQelDynArg {
 public:
  enum class TKind : std::uint8_t {
    Integer,    // 32-bit signed
    Boolean,
    Char,       // one Unicode code point
    Int64,
    Extended,   // floating point
    Currency,   // fixed point, in ten-thousandths
    String,     // an owned UTF-8 copy
    StringVar,  // a string variable, not owned, read at formatting time
    Pointer,    // any other address, not owned; only "%p" shows it
  };

  TQelDynArg() = default;

  // bool is a Boolean, char and the wider character types a Char; signed
  // integers of up to 32 bits and unsigned ones of up to 16 are Integer;
  // anything wider (unsigned 32-bit included, so no value changes sign)
  // is Int64.
  template <std::integral T>
  TQelDynArg(T AValue) {  // NOLINT(google-explicit-constructor)
    if constexpr (std::same_as<T, bool>) {
      FKind = TKind::Boolean;
      FInt = AValue ? 1 : 0;
    } else if constexpr (std::same_as<T, char> || std::same_as<T, char8_t>) {
      FKind = TKind::Char;
      FInt = static_cast<unsigned char>(AValue);
    } else if constexpr (std::same_as<T, char16_t> || std::same_as<T, char32_t> ||
                         std::same_as<T, wchar_t>) {
      FKind = TKind::Char;
      FInt = static_cast<std::int64_t>(static_cast<std::uint32_t>(AValue));
    } else if constexpr ((std::signed_integral<T> && sizeof(T) <= 4) || sizeof(T) <= 2) {
      FKind = TKind::Integer;
      FInt = static_cast<std::int64_t>(AValue);
    } else {
      FKind = TKind::Int64;
      FInt = static_cast<std::int64_t>(AValue);
    }
  }
  TQelDynArg(double AValue);       // NOLINT(google-explicit-constructor)
  TQelDynArg(long double AValue);  // NOLINT(google-explicit-constructor)
  TQelDynArg(std::string_view AValue);   // NOLINT(google-explicit-constructor)
  TQelDynArg(const std::string& AValue);  // NOLINT(google-explicit-constructor)
  // A null pointer is the empty text.
  TQelDynArg(const char* AValue);  // NOLINT(google-explicit-constructor)
  // A string variable; null formats as the empty text.
  TQelDynArg(const std::string* AVariable);  // NOLINT(google-explicit-constructor)

  // A fixed-point amount given in ten-thousandths (12345 is 1.2345).
  static TQelDynArg Currency(std::int64_t ATenThousandths);
  static TQelDynArg Pointer(const void* AValue);

  TKind Kind() const { return FKind; }
  std::int64_t AsInt() const { return FInt; }
  double AsFloat() const { return FFloat; }
  const std::string& AsText() const { return FText; }
  const std::string* AsVariable() const { return FVariable; }
  const void* AsPointer() const { return FPointer; }

 private:
  TKind FKind = TKind::Integer;
  std::int64_t FInt = 0;
  double FFloat = 0.0;
  std::string FText;
  const std::string* FVariable = nullptr;
  const void* FPointer = nullptr;
};

using TQelDynArgs = std::vector<TQelDynArg>;

// Widths and precisions above this make a placeholder invalid: no real
// text needs them, and a language file must not be able to ask for a
// gigabyte of padding.
inline constexpr int kQelMaxFormatWidth = 1024;

// Formats AFormat with AArgs: "%[-][0][width][.precision]conv" with conv
// one of d u (Integer, Int64), x X (the same, hexadecimal), f e g and their
// upper-case forms (Extended, Currency), s (String, StringVar, Char), p
// (any address), and "%%" for a percent sign. Upper-case D, U, S, P mean
// the same as lower-case. Precision is the minimum digit count for
// integers, the decimals for "f" and "e" (6 when absent), the significant
// digits for "g", and the most characters of a text. Widths and
// precisions count characters, not bytes. ADecimalSeparator replaces the
// point of every floating-point number. On any error ioResult is emptied
// and false returned.
bool QelFormat(std::string_view AFormat, std::span<const TQelDynArg> AArgs,
               char ADecimalSeparator, std::string& ioResult);

// QelFormat with the user's decimal separator; the empty text on error.
std::string QelFormat(std::string_view AFormat, std::span<const TQelDynArg> AArgs);

class TQelDynString {
 public:
  // No format, no arguments: Value is empty.
  TQelDynString();
  explicit TQelDynString(const std::string* ADynFormat);
  TQelDynString(const std::string* ADynFormat, TQelDynArgs AArgs);

  // A copy refers to the same string variable; one made from a
  // ReloadString/Decimal/Hex string refers to its own constant format.
  TQelDynString(const TQelDynString& AOther);
  TQelDynString& operator=(const TQelDynString& AOther);
  ~TQelDynString() = default;

  // Each form drops the previous format and arguments. A variable whose
  // text is empty at this moment is not kept: the string stays empty even
  // if the variable gets a text later.
  void Reload();
  void Reload(const std::string* ADynFormat);
  void Reload(const std::string* ADynFormat, TQelDynArgs AArgs);

  // Value becomes the string, the decimal, or the upper-case hexadecimal
  // digits of the value.
  void ReloadString(const std::string& AStaticValue);
  void ReloadDecimal(std::int32_t AStaticValue);
  void ReloadHex(std::int32_t AStaticValue);

  // The current text of the referenced variable, empty when there is none.
  std::string Format() const;
  // Format() as it is when no arguments are stored (a "%" stays as it is),
  // else Format() filled with the arguments, or the empty text when they
  // do not fit it.
  std::string Value() const;
  int ArgsCount() const { return static_cast<int>(FArgs.size()); }

 private:
  const std::string* Adopt(const TQelDynString& AOther) const;

  TQelDynArgs FArgs;
  const std::string* FFormat = nullptr;
  const std::string FConstString = "%s";
  const std::string FConstDecimal = "%d";
  const std::string FConstHex = "%X";
};

// Byte counts in units of 1024: "1 byte", "%d bytes" below 1024 (negative
// values included), then "%0.2f KB", "%0.2f MB" and "%0.2f GB" with the user's
// decimal separator; nothing above GB. The unit words are not translated.
std::string FormatSize(std::int32_t Value);
std::string FormatSize64(std::int64_t Value);

}  // namespace purgo
