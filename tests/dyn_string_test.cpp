// SPDX-License-Identifier: GPL-3.0-or-later
// The formatter, dynamic strings and size texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "i18n/QSDynString.h"
#include "tests/I18nTestSupport.h"

namespace purgo {
namespace {

struct FormatCase {
  const char* format;
  TQelDynArgs args;
  char separator;
  std::string expected;
};

TEST(QelFormat, FillsPlaceholders) {
  const std::string word = "Yes";
  const std::vector<FormatCase> cases = {
      {"%s [%d files, %s]", {"Temp", 3, "1.00 KB"}, '.', "Temp [3 files, 1.00 KB]"},
      {"100%% done", {}, '.', "100% done"},
      {"%d", {std::numeric_limits<std::int32_t>::min()}, '.', "-2147483648"},
      {"%d", {std::numeric_limits<std::int64_t>::min()}, '.', "-9223372036854775808"},
      {"%u", {-1}, '.', "4294967295"},
      {"%X", {255}, '.', "FF"},
      {"%x", {-1}, '.', "ffffffff"},
      {"[%5d]", {42}, '.', "[   42]"},
      {"[%05d]", {-42}, '.', "[-0042]"},
      {"[%.3d]", {7}, '.', "[007]"},
      {"%0.2f", {1.5}, '.', "1.50"},
      {"%.0f", {2.5}, '.', "2"},
      {"[%8.2f]", {-3.14159}, '.', "[   -3.14]"},
      {"[%08.2f]", {-3.14159}, '.', "[-0003.14]"},
      {"%.2e", {12345.0}, ',', "1,23e+04"},
      {"%g", {0.5}, '.', "0.5"},
      {"%0.2f", {TQelDynArg::Currency(12345)}, '.', "1.23"},
      {"[%-5s]", {"ab"}, '.', "[ab   ]"},
      // Widths and precisions count characters, never split one.
      {"[%.2s]", {"中文字"}, '.', "[中文]"},
      {"[%4s]", {"中文"}, '.', "[  中文]"},
      {"%s%s", {'a', char32_t{0x4E2D}}, '.', "a中"},
      {"%s", {&word}, '.', "Yes"},
      {"%S and %D", {"up", 5}, '.', "up and 5"},
  };
  for (const FormatCase& c : cases) {
    std::string out = "stale";
    EXPECT_TRUE(QelFormat(c.format, c.args, c.separator, out)) << c.format;
    EXPECT_EQ(out, c.expected) << c.format;
  }
}

TEST(QelFormat, RefusesWhatDoesNotFit) {
  const std::vector<FormatCase> cases = {
      {"%n%s%s", {"a", "b"}, '.', ""},          // the C library's write conversion
      {"%d", {"text"}, '.', ""},                // placeholder of another kind
      {"%s", {12}, '.', ""},
      {"%d", {1.5}, '.', ""},
      {"%s", {true}, '.', ""},
      {"%d and %d", {1}, '.', ""},              // too few arguments
      {"ends in %", {}, '.', ""},
      {"%99999999d", {1}, '.', ""},             // absurd width
      {"%.99999999f", {1.0}, '.', ""},
      {"%c", {'x'}, '.', ""},                   // not a conversion of ours
      {"%*d", {5, 1}, '.', ""},
      {"%1$s", {"a"}, '.', ""},
  };
  for (const FormatCase& c : cases) {
    std::string out = "stale";
    EXPECT_FALSE(QelFormat(c.format, c.args, c.separator, out)) << c.format;
    EXPECT_EQ(out, "") << c.format;
  }
}

TEST(QelFormat, LargeInputsStayBounded) {
  // Thousands of placeholders against one argument fail at the second.
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "%s";
  std::string out;
  EXPECT_FALSE(QelFormat(many, std::vector<TQelDynArg>{"x"}, '.', out));

  // Against as many arguments they all fill.
  const std::vector<TQelDynArg> args(5000, TQelDynArg("x"));
  EXPECT_TRUE(QelFormat(many, args, '.', out));
  EXPECT_EQ(out, std::string(5000, 'x'));

  // The widest allowed fields of the largest double still format.
  EXPECT_TRUE(QelFormat("%1024.1024f", std::vector<TQelDynArg>{1.0e308}, '.', out));
  EXPECT_EQ(out.size(), 309u + 1u + 1024u);

  // A value of nothing but backslashes has no placeholder to fill.
  const std::string backslashes(2047, '\\');
  EXPECT_TRUE(QelFormat(backslashes, std::vector<TQelDynArg>{}, '.', out));
  EXPECT_EQ(out, backslashes);
}

TEST(TQelDynString, ReadsItsVariableAtEveryValue) {
  std::string format = "%d files are scanned out. [%s]";
  TQelDynString s(&format, {7, FormatSize(2048)});
  EXPECT_EQ(s.ArgsCount(), 2);
  EXPECT_EQ(s.Value(), "7 files are scanned out. [2.00 KB]");

  // A language change replaces the variable's text; the same arguments
  // fill the translation.
  format = "已扫描到 %d 个文件。[%s]";
  EXPECT_EQ(s.Format(), format);
  EXPECT_EQ(s.Value(), "已扫描到 7 个文件。[2.00 KB]");
  EXPECT_EQ(s.ArgsCount(), 2);

  // A translation whose placeholders do not fit gives nothing.
  format = "%d files: %d";
  EXPECT_EQ(s.Value(), "");
}

TEST(TQelDynString, KeepsCopiesOfItsStringArguments) {
  std::string format = "Scanning: %s";
  auto name = std::make_unique<std::string>("/home/user/a.tmp");
  TQelDynString s(&format, {*name});
  name->assign("changed");
  name.reset();
  EXPECT_EQ(s.Value(), "Scanning: /home/user/a.tmp");
}

TEST(TQelDynString, ReferencedWordsFollowTheirVariable) {
  std::string format = "Include: %s";
  std::string yes = "Yes";
  TQelDynString s(&format, {&yes});
  EXPECT_EQ(s.Value(), "Include: Yes");
  yes = "是";
  EXPECT_EQ(s.Value(), "Include: 是");
  // An emptied word is an empty word, not a failed text.
  yes.clear();
  EXPECT_EQ(s.Value(), "Include: ");
}

TEST(TQelDynString, PlainAndEmptyStates) {
  std::string percent = "50% of % done";
  TQelDynString plain(&percent);
  EXPECT_EQ(plain.Value(), "50% of % done");  // no arguments: no formatting
  EXPECT_EQ(plain.ArgsCount(), 0);

  // A variable that is empty when bound is dropped for good.
  std::string later;
  TQelDynString dropped(&later, {1});
  later = "%d";
  EXPECT_EQ(dropped.Format(), "");
  EXPECT_EQ(dropped.Value(), "");

  plain.Reload();
  EXPECT_EQ(plain.Value(), "");

  std::string decimal = "%d";
  TQelDynString mismatch(&decimal, {"text"});
  EXPECT_EQ(mismatch.Value(), "");
}

TEST(TQelDynString, StaticValuesSurviveCopies) {
  auto original = std::make_unique<TQelDynString>();
  original->ReloadString("100%");
  TQelDynString copy(*original);
  original->ReloadHex(-1);
  EXPECT_EQ(original->Value(), "FFFFFFFF");
  TQelDynString assigned;
  assigned = *original;
  original.reset();
  EXPECT_EQ(copy.Value(), "100%");
  EXPECT_EQ(assigned.Value(), "FFFFFFFF");
  assigned.ReloadDecimal(-12);
  EXPECT_EQ(assigned.Value(), "-12");
  EXPECT_EQ(assigned.Format(), "%d");
}

TEST(FormatSize, UnitBoundaries) {
  test::ScopedLocale locale("en_US.UTF-8");
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {0, "0 bytes"},
      {1, "1 byte"},
      {-1, "-1 bytes"},
      {2, "2 bytes"},
      {-5, "-5 bytes"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808 bytes"},
      {1023, "1023 bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1048575, "1024.00 KB"},
      {1048576, "1.00 MB"},
      {1073741823, "1024.00 MB"},
      {1073741824, "1.00 GB"},
      {5LL << 40, "5120.00 GB"},
      {std::numeric_limits<std::int64_t>::max(), "8589934592.00 GB"},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(FormatSize64(value), expected) << value;
    if (value >= INT32_MIN && value <= INT32_MAX) {
      EXPECT_EQ(FormatSize(static_cast<std::int32_t>(value)), expected) << value;
    }
  }
}

TEST(FormatSize, UsesTheUsersDecimalSeparator) {
  test::ScopedLocale locale("de_DE.UTF-8");
  EXPECT_EQ(FormatSize(1024), "1,00 KB");
  EXPECT_EQ(FormatSize64(1610612736), "1,50 GB");
  EXPECT_EQ(FormatSize(1023), "1023 bytes");
}

}  // namespace
}  // namespace purgo
