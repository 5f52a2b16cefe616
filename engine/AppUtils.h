// SPDX-License-Identifier: GPL-3.0-or-later
// Text, path and time helpers used across the whole program.
//
// Strings are UTF-8 byte strings, and file names are whatever bytes the
// file system holds, so positions and lengths here count bytes. Functions
// that look at characters (trimming, splitting, reversing) treat a valid
// UTF-8 sequence as one character and any other byte as a character of its
// own, so no input can make them split a sequence or fail. Case folding is
// ASCII-only. Every function returns a new value, leaves its arguments
// alone and never throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace purgo {

using TFileTime = platform::FileTime;
// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// The path rules a path helper applies. Windows: "\" separates folders,
// ":" ends a drive part. Posix: "/" alone separates, ":" is an ordinary
// character. Native is the style of the platform's delimiter.
enum class TPathStyle { Windows, Posix };
inline constexpr TPathStyle kNativePathStyle =
    platform::kPathDelimiter == '/' ? TPathStyle::Posix : TPathStyle::Windows;

// ---- text ----------------------------------------------------------------

std::string CopyString(std::string_view S);
// Characters in reverse order (a UTF-8 sequence stays intact).
std::string ReverseString(std::string_view S);
// Removes from both ends every character that occurs in Chars.
std::string TrimChars(std::string_view S, std::string_view Chars);
// Ordinal comparison with a-z folded to upper case: the difference of the
// first differing bytes, else of the lengths. Negative, 0 or positive.
int SameTextCompare(std::string_view A, std::string_view B);
// Byte-range slicing with the forgiving bounds rules: a negative start is
// 0, a count that is not positive gives "", a count past the end is cut.
std::string SubString(std::string_view S, std::int64_t Start, std::int64_t Count);
std::string SubStringFrom(std::string_view S, std::int64_t Start);
std::string DeleteSubString(std::string_view S, std::int64_t Start, std::int64_t Count);
// Byte position of the first occurrence of Sub, or -1 (also for an empty
// S or an empty Sub).
std::int64_t IndexOfString(std::string_view S, std::string_view Sub);
// The non-empty pieces between characters that occur in Delims (" " when
// Delims is empty).
std::vector<std::string> SplitString(std::string_view S, std::string_view Delims);

// ---- paths ---------------------------------------------------------------

std::string AddPathDelimiter(std::string_view S, TPathStyle Style = kNativePathStyle);
// Removes one trailing delimiter, no more.
std::string RemovePathDelimiter(std::string_view S, TPathStyle Style = kNativePathStyle);
// Everything up to the last separator, with a delimiter ("C:" gives "C:\").
std::string ExtractFileDirWithDelimiter(std::string_view S, TPathStyle Style = kNativePathStyle);
// The name after the last separator, trimmed of blanks.
std::string ExtractTrimmedFileName(std::string_view S, TPathStyle Style = kNativePathStyle);
// The name after the last separator without its last extension.
std::string ExtractFileTitle(std::string_view S, TPathStyle Style = kNativePathStyle);
// Windows: "C:" for a drive path, "\\server\share" for a UNC path. Posix
// paths have no drive part: always empty.
std::string ExtractDrivePart(std::string_view S, TPathStyle Style = kNativePathStyle);
// Windows: the drive-letter rules of a Windows path. Posix: no NUL or other
// control character anywhere, no empty folder component ("//"), and in
// absolute mode a folder part must start at "/". In both styles a bare
// file name passes the folder checks.
bool IsValidFilePath(std::string_view S, bool AAbsolute, TPathStyle Style = kNativePathStyle);
// Compares two folder or file paths by the rules of the style's file
// system: byte for byte under Posix, where "Build" and "build" are two
// folders; without regard to ASCII case under Windows. <0, 0 or >0.
int SamePathCompare(std::string_view A, std::string_view B, TPathStyle Style = kNativePathStyle);

// ---- escapes of the string files -------------------------------------------

// Line breaks (CR LF, lone CR, lone LF) become "\n"; tab, backspace,
// vertical tab, form feed and "\" get their backslash escapes.
std::string EscapeString(std::string_view S);
// "\n" becomes CR LF; "\0" NUL; "\t" "\v" "\b" "\f" "\\" their characters;
// a "\" before anything else, or at the end, stays as it is.
std::string UnescapeString(std::string_view S);

// ---- well-known folders (each ends in the delimiter unless empty) ----------

std::string GetTempDir();
std::string GetCurrentDir();
std::string GetExeDir();

// ---- the window system's services ----------------------------------------------

// Drains the window message queue (a no-op until the UI installs its hook).
void ProcessMessages();
// Opens a file or address with the desktop's handler; false on failure.
bool ShellOpen(const std::string& FileName, const std::string& Parameters, int ShowCmd);

// ---- FILETIME ------------------------------------------------------------------

TFileTime GetSystemTimeAsFileTime();
// Local wall-clock time of T as a date-time value; 0 (1899-12-30 00:00)
// when T is beyond what a calendar time can hold.
TDateTime FileTimeToLocalDateTime(TFileTime T);
// (A - B) in milliseconds, truncated toward zero.
std::int64_t FileTimeDiffMs(TFileTime A, TFileTime B);
// Calendar days from B's UTC date to A's (positive when A is later).
// A zero FILETIME means "no time recorded": the difference is then 0, so a
// file whose access time is unknown never counts as old, and an age limit
// keeps such a file out rather than guessing it stale.
std::int32_t FileTimeDayDiff(TFileTime A, TFileTime B);
bool IsZeroFileTime(TFileTime T);

}  // namespace purgo
