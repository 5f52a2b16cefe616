// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/AppUtils.h"

#include <algorithm>
#include <cstdint>

#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/Utf8.h"

namespace purgo {
namespace {

// The characters of S as views, in order.
std::vector<std::string_view> Chars(std::string_view S) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < S.size();) {
    std::size_t n = platform::Utf8CharLength(S, i);
    out.push_back(S.substr(i, n));
    i += n;
  }
  return out;
}

bool ContainsChar(const std::vector<std::string_view>& set, std::string_view c) {
  return std::find(set.begin(), set.end(), c) != set.end();
}

char Delimiter(TPathStyle style) { return style == TPathStyle::Windows ? '\\' : '/'; }

bool IsSeparator(char c, TPathStyle style) {
  return style == TPathStyle::Windows ? (c == '\\' || c == ':') : c == '/';
}

// Position just past the last separator, 0 when there is none.
std::size_t NameStart(std::string_view S, TPathStyle style) {
  for (std::size_t i = S.size(); i > 0; --i) {
    if (IsSeparator(S[i - 1], style)) return i;
  }
  return 0;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsControl(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

bool IsValidWindowsPath(std::string_view S, bool absolute) {
  const std::string P = ExtractFileDirWithDelimiter(S, TPathStyle::Windows);
  const std::string N = ExtractTrimmedFileName(S, TPathStyle::Windows);
  const std::size_t L = P.size();
  // 1-based access, as the rules are stated.
  auto at = [&P](std::size_t i) { return P[i - 1]; };
  auto doubledBackslash = [&](std::size_t i, std::size_t lookBackFrom) {
    if (at(i) != '\\') return false;
    if (i >= lookBackFrom && at(i - 1) == '\\') return true;
    return i < L && at(i + 1) == '\\';
  };
  if (L > 0 && absolute) {
    if (L < 3 || !IsAsciiLetter(at(1)) || at(2) != ':' || at(3) != '\\') return false;
    for (std::size_t i = 4; i <= L; ++i) {
      if (std::string_view("\"*/:<>?|").find(at(i)) != std::string_view::npos) return false;
      if (doubledBackslash(i, 4)) return false;
    }
  } else if (L > 0) {
    if (L >= 2 && at(2) == ':' && !IsAsciiLetter(at(1))) return false;
    for (std::size_t i = 1; i <= L; ++i) {
      if (at(i) == ':' && i != 2) return false;
      if (std::string_view("\"*/<>?|").find(at(i)) != std::string_view::npos) return false;
      if (doubledBackslash(i, 2)) return false;
    }
  }
  return N.find_first_of("\"\\*/:<>?|") == std::string::npos;
}

bool IsValidPosixPath(std::string_view S, bool absolute) {
  if (std::any_of(S.begin(), S.end(), IsControl)) return false;
  const std::string P = ExtractFileDirWithDelimiter(S, TPathStyle::Posix);
  if (P.empty()) return true;
  if (absolute && P.front() != '/') return false;
  return P.find("//") == std::string::npos;
}

}  // namespace

std::string CopyString(std::string_view S) { return std::string(S); }

std::string ReverseString(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  const auto chars = Chars(S);
  for (auto it = chars.rbegin(); it != chars.rend(); ++it) out.append(*it);
  return out;
}

std::string TrimChars(std::string_view S, std::string_view TrimSet) {
  const auto set = Chars(TrimSet);
  const auto chars = Chars(S);
  std::size_t first = 0, last = chars.size();
  while (first < last && ContainsChar(set, chars[first])) ++first;
  while (last > first && ContainsChar(set, chars[last - 1])) --last;
  std::string out;
  for (std::size_t i = first; i < last; ++i) out.append(chars[i]);
  return out;
}

int SameTextCompare(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int a = static_cast<unsigned char>(platform::FoldAscii(A[i]));
    const int b = static_cast<unsigned char>(platform::FoldAscii(B[i]));
    if (a != b) return a - b;
  }
  const auto diff = static_cast<std::int64_t>(A.size()) - static_cast<std::int64_t>(B.size());
  return static_cast<int>(std::clamp<std::int64_t>(diff, INT32_MIN, INT32_MAX));
}

std::string SubString(std::string_view S, std::int64_t Start, std::int64_t Count) {
  const auto len = static_cast<std::int64_t>(S.size());
  if (len == 0 || Count <= 0) return {};
  if (Start < 0) Start = 0;
  if (Start >= len) return {};
  // Start and Count are both bounded here, so the sum cannot overflow.
  if (Count >= len - Start) Count = len - Start;
  return std::string(S.substr(static_cast<std::size_t>(Start), static_cast<std::size_t>(Count)));
}

std::string SubStringFrom(std::string_view S, std::int64_t Start) {
  if (Start < 0) Start = 0;
  return SubString(S, Start, static_cast<std::int64_t>(S.size()) - Start);
}

std::string DeleteSubString(std::string_view S, std::int64_t Start, std::int64_t Count) {
  // A start past what a sum could hold is simply past the end.
  const std::int64_t tail =
      (Count > 0 && Start > INT64_MAX - Count) ? INT64_MAX : Start + Count;
  return SubString(S, 0, Start) + SubStringFrom(S, tail);
}

std::int64_t IndexOfString(std::string_view S, std::string_view Sub) {
  if (S.empty() || Sub.empty()) return -1;
  const std::size_t p = S.find(Sub);
  return p == std::string_view::npos ? -1 : static_cast<std::int64_t>(p);
}

std::vector<std::string> SplitString(std::string_view S, std::string_view Delims) {
  const auto set = Chars(Delims.empty() ? std::string_view(" ") : Delims);
  std::vector<std::string> out;
  std::string piece;
  for (std::string_view c : Chars(S)) {
    if (ContainsChar(set, c)) {
      if (!piece.empty()) out.push_back(std::move(piece));
      piece.clear();
    } else {
      piece.append(c);
    }
  }
  if (!piece.empty()) out.push_back(std::move(piece));
  return out;
}

int SamePathCompare(std::string_view A, std::string_view B, TPathStyle Style) {
  if (Style == TPathStyle::Windows) return SameTextCompare(A, B);
  const int c = A.compare(B);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::string AddPathDelimiter(std::string_view S, TPathStyle Style) {
  std::string out(S);
  if (!out.empty() && out.back() != Delimiter(Style)) out.push_back(Delimiter(Style));
  return out;
}

std::string RemovePathDelimiter(std::string_view S, TPathStyle Style) {
  if (!S.empty() && S.back() == Delimiter(Style)) S.remove_suffix(1);
  return std::string(S);
}

std::string ExtractFileDirWithDelimiter(std::string_view S, TPathStyle Style) {
  return AddPathDelimiter(S.substr(0, NameStart(S, Style)), Style);
}

std::string ExtractTrimmedFileName(std::string_view S, TPathStyle Style) {
  return TrimChars(S.substr(NameStart(S, Style)), " ");
}

std::string ExtractFileTitle(std::string_view S, TPathStyle Style) {
  std::string_view name = S.substr(NameStart(S, Style));
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::string ExtractDrivePart(std::string_view S, TPathStyle Style) {
  if (Style == TPathStyle::Posix) return {};
  if (S.size() >= 2 && S[1] == ':' && IsAsciiLetter(S[0])) return std::string(S.substr(0, 2));
  if (S.size() >= 2 && S[0] == '\\' && S[1] == '\\') {
    // "\\server\share": up to the separator that follows the share name.
    const std::size_t serverEnd = S.find('\\', 2);
    if (serverEnd == std::string_view::npos || serverEnd == 2) return {};
    const std::size_t shareEnd = S.find('\\', serverEnd + 1);
    if (shareEnd == serverEnd + 1) return {};
    return std::string(S.substr(0, shareEnd));
  }
  return {};
}

bool IsValidFilePath(std::string_view S, bool AAbsolute, TPathStyle Style) {
  return Style == TPathStyle::Windows ? IsValidWindowsPath(S, AAbsolute)
                                      : IsValidPosixPath(S, AAbsolute);
}

std::string EscapeString(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  for (std::size_t i = 0; i < S.size(); ++i) {
    switch (S[i]) {
      case '\r':
        if (i + 1 < S.size() && S[i + 1] == '\n') ++i;
        out += "\\n";
        break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\v': out += "\\v"; break;
      case '\f': out += "\\f"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(S[i]);
    }
  }
  return out;
}

std::string UnescapeString(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  for (std::size_t i = 0; i < S.size(); ++i) {
    if (S[i] != '\\' || i + 1 == S.size()) {
      out.push_back(S[i]);
      continue;
    }
    switch (S[i + 1]) {
      case '0': out.push_back('\0'); break;
      case 'n': out += "\r\n"; break;
      case 't': out.push_back('\t'); break;
      case 'v': out.push_back('\v'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case '\\': out.push_back('\\'); break;
      default:
        // Not an escape: the backslash stands for itself and the next
        // character is read on its own.
        out.push_back('\\');
        continue;
    }
    ++i;
  }
  return out;
}

std::string GetTempDir() { return AddPathDelimiter(platform::TempDirectory()); }
std::string GetCurrentDir() { return AddPathDelimiter(platform::CurrentDirectory()); }
std::string GetExeDir() { return AddPathDelimiter(platform::ProgramDirectory()); }

void ProcessMessages() { platform::ProcessMessages(); }

bool ShellOpen(const std::string& FileName, const std::string& Parameters, int ShowCmd) {
  return platform::ShellOpen(FileName, Parameters, ShowCmd);
}

TFileTime GetSystemTimeAsFileTime() { return platform::SystemTimeAsFileTime(); }

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::uint64_t kTicksPerDay = 864000000000ULL;

}  // namespace

TDateTime FileTimeToLocalDateTime(TFileTime T) {
  platform::CalendarTime c;
  if (!platform::FileTimeToLocalCalendar(T, c)) return 0.0;
  const auto days = static_cast<double>(DaysFromCivil(c.year, static_cast<unsigned>(c.month),
                                                      static_cast<unsigned>(c.day)) -
                                        DaysFromCivil(1899, 12, 30));
  const double time =
      (c.hour * 3600.0 + c.minute * 60.0 + c.second + c.milliseconds / 1000.0) / 86400.0;
  // Date-time values before the epoch keep the time of day as a positive
  // fraction below the (negative) day number.
  return days >= 0 ? days + time : days - time;
}

std::int64_t FileTimeDiffMs(TFileTime A, TFileTime B) {
  const auto ticks = static_cast<std::int64_t>(A.Value() - B.Value());
  return ticks / 10000;
}

std::int32_t FileTimeDayDiff(TFileTime A, TFileTime B) {
  if (A.IsZero() || B.IsZero()) return 0;
  const auto a = static_cast<std::int64_t>(A.Value() / kTicksPerDay);
  const auto b = static_cast<std::int64_t>(B.Value() / kTicksPerDay);
  return static_cast<std::int32_t>(a - b);
}

bool IsZeroFileTime(TFileTime T) { return T.IsZero(); }

}  // namespace purgo
