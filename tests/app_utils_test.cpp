// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/AppUtils.h"

#include <gtest/gtest.h>

#include <time.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace purgo {
namespace {

using namespace std::string_literals;

// Sets TZ for the scope of a test and restores it.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(TextFunctions, TrimChars) {
  struct Case {
    std::string s, chars, want;
  };
  const Case cases[] = {
      {"  a b  ", " ", "a b"},
      {"    ", " ", ""},
      {"", " ", ""},
      {"\t a \t", " ", "\t a \t"},  // only blanks go when only a blank is given
      {"\t a \t", " \t", "a"},
      {"xxaxbxx", "x", "axb"},
      {"abc", "", "abc"},
      // A multi-byte character in the set is removed whole; a stray byte
      // that merely shares its lead byte is not.
      {"\xC2\xA0" "a\xC2\xA0", "\xC2\xA0", "a"},
      {"\xC2" "a", "\xC2\xA0", "\xC2" "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(TrimChars(c.s, c.chars), c.want) << '"' << c.s << '"';
}

TEST(TextFunctions, SameTextCompareFoldsOnlyAsciiLetters) {
  struct Case {
    std::string a, b;
    int sign;
  };
  const Case cases[] = {
      {"abc", "ABC", 0},      {"Thumbs.DB", "thumbs.db", 0}, {"a", "b", -1},
      {"B", "a", 1},          {"ab", "abc", -1},             {"abc", "ab", 1},
      {"", "", 0},            {"", "a", -1},
      {"\xC3\xA4", "\xC3\x84", 1},  // ä and Ä are not folded
      {"[", "a", 1},                // '[' sorts after folded 'A'
      {"_", "a", 1},
  };
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const Case& c : cases) {
    EXPECT_EQ(sign(SameTextCompare(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
  }
  EXPECT_EQ(SameTextCompare("ab", "abcd"), -2);  // the difference of the lengths
}

TEST(TextFunctions, SubStringBounds) {
  struct Case {
    std::string s;
    std::int64_t start, count;
    std::string want;
  };
  const Case cases[] = {
      {"hello", 1, 3, "ell"},   {"hello", 0, 5, "hello"},  {"hello", 0, 99, "hello"},
      {"hello", -3, 2, "he"},   {"hello", 5, 1, ""},       {"hello", 9, 1, ""},
      {"hello", 2, 0, ""},      {"hello", 2, -1, ""},      {"", 0, 3, ""},
      {"hello", 3, INT64_MAX, "lo"},  {"hello", INT64_MIN, INT64_MAX, "hello"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SubString(c.s, c.start, c.count), c.want) << c.start << "," << c.count;
  }
  EXPECT_EQ(SubStringFrom("hello", 2), "llo");
  EXPECT_EQ(SubStringFrom("hello", -1), "hello");
  EXPECT_EQ(SubStringFrom("hello", 7), "");
  EXPECT_EQ(DeleteSubString("hello", 1, 3), "ho");
  EXPECT_EQ(DeleteSubString("hello", 0, 2), "llo");
  EXPECT_EQ(DeleteSubString("hello", 3, 99), "hel");
  EXPECT_EQ(DeleteSubString("hello", 2, 0), "hello");
  EXPECT_EQ(DeleteSubString("hello", INT64_MAX, INT64_MAX), "hello");
}

TEST(TextFunctions, IndexReverseCopySplit) {
  EXPECT_EQ(IndexOfString("abcabc", "ca"), 2);
  EXPECT_EQ(IndexOfString("abc", "x"), -1);
  EXPECT_EQ(IndexOfString("", "a"), -1);
  EXPECT_EQ(IndexOfString("abc", ""), -1);

  EXPECT_EQ(ReverseString("abc"), "cba");
  EXPECT_EQ(ReverseString("a\xE4\xB8\xAD" "b"), "b\xE4\xB8\xAD" "a");  // 中 stays whole
  EXPECT_EQ(ReverseString("a\xFF\xFE"), "\xFE\xFF" "a");
  EXPECT_EQ(CopyString("x\0y"s), "x\0y"s);

  struct Case {
    std::string s, delims;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {";a;;b;", ";", {"a", "b"}},
      {"a b  c", "", {"a", "b", "c"}},
      {"", ";", {}},
      {";;;", ";", {}},
      {"a,b;c", ",;", {"a", "b", "c"}},
      {"a\xE3\x80\x81" "b", "\xE3\x80\x81", {"a", "b"}},  // ideographic comma as delimiter
  };
  for (const Case& c : cases) EXPECT_EQ(SplitString(c.s, c.delims), c.want) << c.s;
}

struct PathCase {
  TPathStyle style;
  std::string in, want;
};

TEST(PathFunctions, Delimiters) {
  const auto W = TPathStyle::Windows;
  const auto P = TPathStyle::Posix;
  const PathCase add[] = {{W, "", ""}, {W, "C:", "C:\\"}, {W, "C:\\", "C:\\"},
                          {P, "", ""}, {P, "/a", "/a/"},  {P, "/a/", "/a/"},
                          {P, "a\\", "a\\/"}};
  for (const auto& c : add) EXPECT_EQ(AddPathDelimiter(c.in, c.style), c.want) << c.in;
  const PathCase remove[] = {{W, "C:\\a\\\\", "C:\\a\\"}, {W, "a", "a"}, {W, "", ""},
                             {P, "/a//", "/a/"},          {P, "/", ""},  {P, "a\\", "a\\"}};
  for (const auto& c : remove) EXPECT_EQ(RemovePathDelimiter(c.in, c.style), c.want) << c.in;
  EXPECT_EQ(AddPathDelimiter("/x"), "/x/");  // the platform's own style
}

TEST(PathFunctions, Extraction) {
  const auto W = TPathStyle::Windows;
  const auto P = TPathStyle::Posix;
  const PathCase dir[] = {
      {W, "C:\\a\\b.txt", "C:\\a\\"}, {W, "C:", "C:\\"}, {W, "C:b.txt", "C:\\"},
      {W, "b.txt", ""},               {P, "/a/b.txt", "/a/"}, {P, "/a:b/c", "/a:b/"},
      {P, "b.txt", ""},               {P, "/", "/"},
  };
  for (const auto& c : dir) EXPECT_EQ(ExtractFileDirWithDelimiter(c.in, c.style), c.want) << c.in;
  const PathCase name[] = {
      {W, "C:\\a\\ b.txt ", "b.txt"}, {W, "C:x", "x"}, {W, "C:\\a\\", ""},
      {P, "/a/ b.txt ", "b.txt"},     {P, "/a/b:c", "b:c"}, {P, "/a\\b", "a\\b"},
  };
  for (const auto& c : name) EXPECT_EQ(ExtractTrimmedFileName(c.in, c.style), c.want) << c.in;
  const PathCase title[] = {
      {W, "C:\\a.b\\name", "name"},    {W, "C:\\a\\x.tar.gz", "x.tar"}, {W, "C:\\a\\.bashrc", ""},
      {P, "/a.b/name", "name"},        {P, "/a/x.tar.gz", "x.tar"},     {P, "noext", "noext"},
  };
  for (const auto& c : title) EXPECT_EQ(ExtractFileTitle(c.in, c.style), c.want) << c.in;
  const PathCase drive[] = {
      {W, "C:\\x", "C:"},         {W, "\\\\srv\\share\\x", "\\\\srv\\share"},
      {W, "\\\\srv\\share", "\\\\srv\\share"}, {W, "\\\\srv", ""}, {W, "\\x", ""},
      {W, "1:\\x", ""},           {P, "/mnt/x", ""},  {P, "C:\\x", ""},
  };
  for (const auto& c : drive) EXPECT_EQ(ExtractDrivePart(c.in, c.style), c.want) << c.in;
}

TEST(PathFunctions, IsValidFilePath) {
  struct Case {
    TPathStyle style;
    std::string path;
    bool absolute, want;
  };
  const auto W = TPathStyle::Windows;
  const auto P = TPathStyle::Posix;
  const Case cases[] = {
      {W, "C:\\Temp\\", true, true},
      {W, "c:\\a b\\c.txt", true, true},
      {W, "C:\\a\\\\b\\", true, false},   // two backslashes in a row
      {W, "C:\\\\", true, false},
      {W, "C:\\a*\\", true, false},
      {W, "C:\\a:b\\", true, false},
      {W, "C:\\a\\b?.txt", true, false},  // bad character in the name
      {W, "1:\\a\\", true, false},
      {W, "\\a\\", true, false},          // absolute needs a drive
      {W, "name.txt", true, true},        // a bare name passes
      {W, "", true, true},
      {W, "a\\b\\", false, true},
      {W, "C:a\\", false, true},
      {W, "1:a\\", false, false},
      {W, "a:b:\\", false, false},        // a colon only at the second place
      {W, "\\\\srv\\share\\", false, false},
      {W, "a\\\"b\\", false, false},
      {P, "/home/u/", true, true},
      {P, "/home/u/file:x", true, true},  // colons are ordinary here
      {P, "home/u/", true, false},
      {P, "home/u/", false, true},
      {P, "/home//u/", true, false},
      {P, "//", false, false},
      {P, "/home/u\tx/", true, false},
      {P, "/home/u/a\x7F", true, false},
      {P, "/a/" "\xFF\xFE", true, true},   // not UTF-8, but a legal name
      {P, "name", true, true},
      {P, "/", true, true},
      {P, "", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidFilePath(c.path, c.absolute, c.style), c.want)
        << (c.style == W ? "windows " : "posix ") << c.path << " abs=" << c.absolute;
  }
  EXPECT_FALSE(IsValidFilePath("/a/b\0c"s, true, P));
}

TEST(Escapes, EscapeAndUnescape) {
  struct Case {
    std::string raw, escaped;
  };
  const Case escape[] = {
      {"a\r\nb", "a\\nb"}, {"a\rb", "a\\nb"},  {"a\nb", "a\\nb"},   {"\r\r\n", "\\n\\n"},
      {"\t\b\v\f", "\\t\\b\\v\\f"},               {"C:\\x", "C:\\\\x"}, {"\0"s, "\0"s},
      {"", ""},
  };
  for (const Case& c : escape) EXPECT_EQ(EscapeString(c.raw), c.escaped) << c.escaped;
  const Case unescape[] = {
      {"a\r\nb", "a\\nb"},  {"\0"s, "\\0"},     {"\t\v\b\f", "\\t\\v\\b\\f"},
      {"\\", "\\\\"},       {"\\q", "\\q"},     {"end\\", "end\\"},
      {"\\n", "\\\\n"},   // "\\" then a plain "n": the pair is consumed first
      {"\\\\", "\\\\\\"},   // "\\" then a final lone "\"
      {"", ""},
  };
  for (const Case& c : unescape) EXPECT_EQ(UnescapeString(c.escaped), c.raw) << c.escaped;
  // Any line break comes back as CR LF.
  for (const std::string lone : {"\n", "\r"}) {
    EXPECT_EQ(UnescapeString(EscapeString("a" + lone + "b")), "a\r\nb");
  }
  const std::string mixed = "x\\y\t\r\n\0z"s;
  EXPECT_EQ(UnescapeString(EscapeString(mixed)), mixed);
}

TEST(FileTimes, Differences) {
  const auto ft = [](std::uint64_t v) { return TFileTime::FromValue(v); };
  constexpr std::uint64_t kDay = 864000000000ULL;
  constexpr std::uint64_t base = 133000000000000000ULL;  // an instant in 2022
  const std::uint64_t midnight = base - base % kDay;
  EXPECT_EQ(FileTimeDiffMs(ft(base + 12345), ft(base)), 1);
  EXPECT_EQ(FileTimeDiffMs(ft(base), ft(base + 12345)), -1);  // toward zero
  EXPECT_EQ(FileTimeDiffMs(ft(base + 10000ULL * 5000), ft(base)), 5000);

  // Calendar days, not 24-hour spans.
  EXPECT_EQ(FileTimeDayDiff(ft(midnight + 1), ft(midnight - 1)), 1);
  EXPECT_EQ(FileTimeDayDiff(ft(midnight + kDay - 1), ft(midnight)), 0);
  EXPECT_EQ(FileTimeDayDiff(ft(midnight), ft(midnight + 3 * kDay)), -3);
  // No time recorded gives no age.
  EXPECT_EQ(FileTimeDayDiff(ft(base), TFileTime{}), 0);
  EXPECT_EQ(FileTimeDayDiff(TFileTime{}, ft(base)), 0);
  EXPECT_TRUE(IsZeroFileTime(TFileTime{}));
  EXPECT_FALSE(IsZeroFileTime(TFileTime{0, 1}));
}

TEST(FileTimes, LocalDateTime) {
  // 2000-01-01 12:00:00 UTC.
  const TFileTime noon = TFileTime::FromValue((946728000ULL + 11644473600ULL) * 10000000ULL);
  {
    ScopedTimeZone utc("UTC0");
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(noon), 36526.5);
  }
  {
    ScopedTimeZone tokyo("JST-9");
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(noon), 36526.875);
  }
  ScopedTimeZone utc("UTC0");
  // 1601-01-01 is before the date-time epoch; 06:00 keeps a positive time.
  const TFileTime early = TFileTime::FromValue(6ULL * 3600 * 10000000ULL);
  EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(early), -109205.25);
  EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(TFileTime{0, 0x80000000u}), 0.0);
  const TFileTime now = GetSystemTimeAsFileTime();
  EXPECT_GT(FileTimeToLocalDateTime(now), 46000.0);  // after 2025
}

}  // namespace
}  // namespace purgo
