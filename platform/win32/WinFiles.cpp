// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/WinFiles.h"

#include <cerrno>
#include <cstring>

#include "platform/Utf8.h"

namespace purgo::platform::win32 {
namespace {

constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;  // 1970 in FILETIME ticks

// Nanoseconds since the Unix epoch, as the POSIX layer stamps files; 0 for
// no time (or one before 1970, which no file created here carries).
std::uint64_t UnixNanos(std::int64_t ticks) {
  return ticks > kUnixEpochTicks ? static_cast<std::uint64_t>(ticks - kUnixEpochTicks) * 100u : 0;
}

FileTime AsFileTime(std::int64_t ticks) {
  return ticks > 0 ? FileTime::FromValue(static_cast<std::uint64_t>(ticks)) : FileTime{};
}

std::int64_t Ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

}  // namespace

std::wstring Wide(std::string_view s) {
  std::wstring out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = Utf8SequenceLength(s, i);
    char32_t cp = 0xFFFD;
    if (len == 0 && b0 == 0xED && i + 2 < s.size()) {
      // A lone surrogate written the way Narrow writes it.
      const auto b1 = static_cast<unsigned char>(s[i + 1]);
      const auto b2 = static_cast<unsigned char>(s[i + 2]);
      if (b1 >= 0xA0 && b1 <= 0xBF && b2 >= 0x80 && b2 <= 0xBF) {
        len = 3;
        cp = 0xD000u | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
      }
    } else if (len == 1) {
      cp = b0;
    } else if (len == 2) {
      cp = ((b0 & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
    } else if (len == 3) {
      cp = ((b0 & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
    } else if (len == 4) {
      cp = ((b0 & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) |
           (s[i + 3] & 0x3Fu);
    }
    i += len == 0 ? 1 : len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(cp));
    }
  }
  return out;
}

std::string Narrow(std::wstring_view w) {
  std::string out;
  out.reserve(w.size());
  for (std::size_t i = 0; i < w.size(); ++i) {
    const char32_t u = static_cast<char16_t>(w[i]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < w.size()) {
      const char32_t v = static_cast<char16_t>(w[i + 1]);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      // AppendUtf8 would make it U+FFFD; kept as its own three bytes.
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::wstring ApiPath(std::string_view path) {
  const std::wstring given = Wide(path);
  if (given.rfind(L"\\\\?\\", 0) == 0 || given.rfind(L"\\\\.\\", 0) == 0) return given;
  // "\\" and "/" alike, and a doubled delimiter as one (the prefix below
  // would take it for an empty name), but the two that start a share.
  std::wstring w;
  w.reserve(given.size());
  for (std::size_t i = 0; i < given.size(); ++i) {
    const wchar_t c = given[i] == L'/' ? L'\\' : given[i];
    if (c == L'\\' && i > 1 && !w.empty() && w.back() == L'\\') continue;
    w.push_back(c);
  }
  // "." and ".." are resolved by the system only without the prefix.
  for (std::size_t i = 0; i < w.size();) {
    const std::size_t end = std::min(w.find(L'\\', i), w.size());
    const std::wstring_view part = std::wstring_view(w).substr(i, end - i);
    if (part == L"." || part == L"..") return w;
    i = end + 1;
  }
  const bool drive = w.size() >= 3 && w[1] == L':' && w[2] == L'\\' &&
                     ((w[0] >= L'A' && w[0] <= L'Z') || (w[0] >= L'a' && w[0] <= L'z'));
  if (drive) return L"\\\\?\\" + w;
  if (w.size() > 2 && w[0] == L'\\' && w[1] == L'\\') return L"\\\\?\\UNC\\" + w.substr(2);
  return w;
}

NTSTATUS OpenAt(HANDLE dir, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG options,
                Handle& out) {
  out.Reset();
  if (name.empty() || name.size() > 32767) return static_cast<NTSTATUS>(0xC0000033L);  // invalid name
  UNICODE_STRING us;
  us.Buffer = const_cast<PWSTR>(name.data());
  us.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  us.MaximumLength = us.Length;
  OBJECT_ATTRIBUTES oa;
  InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE, dir, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE h = nullptr;
  const NTSTATUS status = ::NtCreateFile(&h, access | SYNCHRONIZE, &oa, &io, nullptr, 0, share, FILE_OPEN,
                                         options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
                                         nullptr, 0);
  if (status >= 0) out = Handle(h);
  return status;
}

DWORD ErrorOfStatus(NTSTATUS status) { return ::RtlNtStatusToDosError(status); }

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

bool IsLinkLike(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(reparseTag);
}

FileAttributeData DataOf(DWORD attributes, DWORD reparseTag, std::int64_t creation,
                         std::int64_t lastAccess, std::int64_t lastWrite, std::uint64_t size,
                         FileId id) {
  constexpr DWORD kReported = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive |
                              kAttrNormal | kAttrTemporary | kAttrEncrypted;
  FileAttributeData d;
  DWORD bits = attributes & kReported;
  if (IsLinkLike(attributes, reparseTag)) bits &= ~static_cast<DWORD>(kAttrDirectory);
  if (bits == 0) bits = kAttrNormal;
  if ((bits & kAttrDirectory) != 0) size = 0;
  d.attributes = bits;
  d.creationTime = AsFileTime(creation);
  d.lastAccessTime = AsFileTime(lastAccess);
  d.lastWriteTime = AsFileTime(lastWrite);
  d.size = size;
  d.id = id;
  d.stamp.birth = UnixNanos(creation);
  if (d.stamp.birth == 0) {
    d.stamp.change = UnixNanos(lastWrite);
    d.stamp.size = size;
  }
  d.owner = 0;
  return d;
}

bool QueryHandle(HANDLE h, HandleFacts& out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) {
    return false;
  }
  out.attributes = info.dwFileAttributes;
  out.reparseTag = tag.ReparseTag;
  out.link = IsLinkLike(info.dwFileAttributes, tag.ReparseTag);
  out.directory = !out.link && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const FileId id{info.dwVolumeSerialNumber,
                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  out.data = DataOf(info.dwFileAttributes, tag.ReparseTag, Ticks(info.ftCreationTime),
                    Ticks(info.ftLastAccessTime), Ticks(info.ftLastWriteTime),
                    (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, id);
  return true;
}

bool ReadListing(HANDLE dir, std::uint32_t volumeSerial, std::vector<RawEntry>& out, DWORD& error) {
  out.clear();
  error = 0;
  // 64 KiB a call: fewer calls for a large folder, and under the limit
  // some network redirectors put on one answer.
  std::vector<unsigned char> buffer(64 * 1024);
  FILE_INFO_BY_HANDLE_CLASS cls = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!::GetFileInformationByHandleEx(dir, cls, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_NO_MORE_FILES) return true;
      if (e == ERROR_FILE_NOT_FOUND && cls == FileIdBothDirectoryRestartInfo) return true;  // empty
      out.clear();
      error = e;
      return false;
    }
    cls = FileIdBothDirectoryInfo;
    std::size_t offset = 0;
    for (;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      const std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        RawEntry e;
        e.name = Narrow(name);
        // For a reparse point the tag stands where the extended attributes' size would.
        const DWORD tag = (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info->EaSize : 0;
        e.link = IsLinkLike(info->FileAttributes, tag);
        e.directory = !e.link && (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A file system without file ids (FAT) lists 0: the identity is
        // then unknown, and the creation time alone tells the file.
        const FileId id = info->FileId.QuadPart == 0
                              ? FileId{}
                              : FileId{volumeSerial, static_cast<std::uint64_t>(info->FileId.QuadPart)};
        e.data = DataOf(info->FileAttributes, tag, info->CreationTime.QuadPart, info->LastAccessTime.QuadPart,
                        info->LastWriteTime.QuadPart, static_cast<std::uint64_t>(info->EndOfFile.QuadPart), id);
        out.push_back(std::move(e));
      }
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
}

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i < path.size()) {
    const std::size_t j = path.find_first_of("\\/", i);
    const std::size_t end = j == std::string_view::npos ? path.size() : j;
    if (end > i) parts.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return parts;
}

}  // namespace purgo::platform::win32
