// SPDX-License-Identifier: GPL-3.0-or-later
// INI files with the semantics of the Windows private-profile functions
// (GetPrivateProfileStringW / WritePrivateProfileStringW), which the
// configuration file, the language files and the font schemes rely on.
//
// Reading
//  - A missing file, section or key gives the caller's default. A key that
//    is present with nothing after "=" gives the empty text, not the default.
//  - Section and key names compare without regard to ASCII letter case, and
//    blanks (spaces, tabs) around names and values do not count. The first
//    section of a name is the one that counts, and within it the first key
//    of a name; later duplicates are kept in the file but never read.
//  - A value enclosed in a pair of double or single quotation marks comes
//    back without them.
//  - A value comes back through the 2047-character limit of the Windows
//    buffer: at most 2047 UTF-16 code units, cut before a character that
//    would not fit (a character outside the Basic Multilingual Plane counts
//    two, as it does on Windows). The caller's default is returned as given.
//  - Lines whose first non-blank character is ";" are comments. A line
//    "[name]" starts a section (text after the "]" is ignored); a line with
//    "=" inside a section is a key; every other line is kept but means
//    nothing. Lines end with CR LF, LF or a lone CR.
//  - Files are UTF-8, with or without a byte-order mark, or UTF-16 with a
//    byte-order mark (little-endian, as Windows writes them, or big-endian).
//    Bytes that are not valid UTF-8 are passed through unchanged.
//  - A file larger than kMaxSettingsFileSize (platform/FileIO.h), or one
//    that cannot be read, reads as if it were missing.
//
// Writing
//  - A write creates the file (never its folder) and the section when
//    needed, replaces an existing key's line in place (the key keeps the
//    spelling it has in the file), and adds a new key after the last key of
//    its section or a new section at the end of the file. Every other line,
//    comment and blank line stays as it was, line endings included.
//  - Files are written as UTF-8 without a byte-order mark; a file that was
//    UTF-16 is converted. (Byte-order marks repeated at the start of a file
//    are skipped on reading and not written back.)
//  - Each write replaces the whole file atomically (platform/FileIO.h).
//  - A value is cut at a NUL character, as the C strings of the Windows
//    calls are. A write that cannot be stored as one INI line is refused
//    rather than written in a form that would read back as other keys or
//    sections: a section name that is empty or holds "]", a key name that
//    is empty, holds "=" or starts with "[" or ";", a NUL in a name, and any
//    line break in a name or value.
//  - A value with blanks at either end, or one enclosed in matching
//    quotation marks, is written inside double quotation marks, so that it
//    reads back exactly (Windows itself strips such quotes on reading).
//  - A refused write leaves the file as it was and reports
//    "Unable to write to <path>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileIO.h"

namespace purgo::platform {

// The most UTF-16 code units a value read from an INI file can have.
inline constexpr std::size_t kIniMaxValueLength = 2047;

// One INI file, read once into memory to serve any number of reads.
//
// Reads come from the copy in memory. SetString changes only the copy;
// UpdateFile writes the copy to the file; WriteString does both, like
// WritePrivateProfileStringW. A copy that was loaded from a file that exists
// but could not be read (too large, no permission) refuses to replace it,
// since what it holds is not what the file holds.
//
// Not safe for concurrent use from several threads. Copies are independent.
class IniFile {
 public:
  // An empty document that belongs to no file.
  IniFile() = default;
  // Reads `fileName`; a missing or unreadable file gives an empty document
  // (LoadStatus tells which).
  explicit IniFile(std::string fileName);

  // A document from bytes as they would be in a file (any of the accepted
  // encodings). It belongs to no file.
  static IniFile FromBytes(std::string_view bytes);

  // True when `fileName` names a regular file.
  static bool FileExists(const std::string& fileName);

  const std::string& FileName() const { return fileName_; }
  ReadStatus LoadStatus() const { return status_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // The key names of the first section of that name, in file order, each
  // once (its first spelling); empty when there is no such section.
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  // Every section name in file order, each once.
  std::vector<std::string> ReadSections() const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Changes the copy in memory. False, with nothing changed, when the names
  // or the value cannot be written as one INI line (see the header comment).
  bool SetString(std::string_view section, std::string_view key, std::string_view value);
  // Writes the copy to FileName() atomically. False, with `error` set to
  // "Unable to write to <path>", when the copy belongs to no file, was read
  // from a file that could not be read, or the system refuses the write.
  bool UpdateFile(std::string* error = nullptr) const;
  // SetString, then UpdateFile.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value,
                   std::string* error = nullptr);

  // The document as it is written to the file: UTF-8 text (with a
  // byte-order mark only where the text would otherwise begin like a
  // UTF-16 one).
  std::string Text() const;

 private:
  // Positions are byte offsets into text_; 32 bits suffice below the size
  // limit and keep the index of a file of short lines small.
  struct Key {
    std::uint32_t lineBegin;  // first byte of the line
    std::uint32_t lineEnd;    // end of the line's text, before its terminator
    std::uint32_t nextLine;   // first byte after the terminator
    std::uint32_t nameBegin, nameLength;
    std::uint32_t valueBegin, valueLength;  // after trimming and unquoting
  };
  struct Section {
    std::uint32_t nameBegin, nameLength;
    std::uint32_t headerNext;  // first byte after the header line
    std::uint32_t firstKey, keyCount;
  };

  void Parse();
  const Section* FindSection(std::string_view name) const;
  const Key* FindKey(const Section& section, std::string_view name) const;
  std::string_view View(std::uint32_t begin, std::uint32_t length) const {
    return std::string_view(text_).substr(begin, length);
  }

  std::string fileName_;
  ReadStatus status_ = ReadStatus::Missing;
  std::string text_;
  std::string newline_ = "\n";  // terminator for new lines: the file's first
  std::vector<Section> sections_;
  std::vector<Key> keys_;  // all keys, in file order; sections index into it
};

// The private-profile calls, one file access each.
std::string IniReadString(const std::string& file, std::string_view section,
                          std::string_view key, std::string_view def);
std::vector<std::string> IniReadSectionKeys(const std::string& file, std::string_view section);
// Reads the file afresh, changes one key and replaces the file. A file that
// exists but cannot be read is not replaced.
bool IniWriteString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error = nullptr);

}  // namespace purgo::platform
