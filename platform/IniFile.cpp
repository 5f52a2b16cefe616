// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/IniFile.h"
#include "platform/AsciiText.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <new>
#include <unordered_set>

namespace purgo::platform {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::string_view CutAtNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// A caller's section or key name as the file would hold it.
std::string_view NormalName(std::string_view s) { return TrimBlanks(s); }

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsQuoted(std::string_view s) { return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back(); }

// UTF-16 text (after its byte-order mark) as UTF-8. An unpaired surrogate
// becomes U+FFFD; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  auto unitAt = [&](std::size_t i) -> char32_t {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? static_cast<char32_t>((b0 << 8) | b1) : static_cast<char32_t>((b1 << 8) | b0);
  };
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 < bytes.size()) {
        const char32_t lo = unitAt(i + 2);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
          i += 2;
          continue;
        }
      }
      u = 0xFFFD;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
  return out;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The first bytes decide the encoding. Byte-order marks repeated after the
// first are skipped too: left in the text they would hide the first line
// now and, written back, be taken for the mark next time.
std::string DecodeFileText(std::string_view bytes) {
  std::string text;
  if (StartsWith(bytes, kUtf8Bom)) {
    text = bytes.substr(3);
  } else if (StartsWith(bytes, "\xFF\xFE")) {
    text = Utf16ToUtf8(bytes.substr(2), /*bigEndian=*/false);
  } else if (StartsWith(bytes, "\xFE\xFF")) {
    text = Utf16ToUtf8(bytes.substr(2), /*bigEndian=*/true);
  } else {
    text = bytes;
  }
  std::size_t skip = 0;
  while (StartsWith(std::string_view(text).substr(skip), kUtf8Bom)) skip += kUtf8Bom.size();
  text.erase(0, skip);
  return text;
}

// Length in bytes of the character at s[i] and the UTF-16 units it takes:
// a well-formed UTF-8 sequence, else one byte counted as one unit.
std::size_t CharAt(std::string_view s, std::size_t i, std::size_t& units) {
  const std::size_t len = Utf8SequenceLength(s, i);
  units = len == 4 ? 2 : 1;
  return len == 0 ? 1 : len;
}

std::string_view LimitToUtf16Units(std::string_view s, std::size_t maxUnits) {
  // Most values are far below the limit in bytes already.
  if (s.size() <= maxUnits) return s;
  std::size_t units = 0, i = 0;
  while (i < s.size()) {
    std::size_t u = 0;
    const std::size_t len = CharAt(s, i, u);
    if (units + u > maxUnits) break;
    units += u;
    i += len;
  }
  return s.substr(0, i);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool HasNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

bool ValidSectionName(std::string_view s) {
  return !s.empty() && !HasLineBreak(s) && !HasNul(s) && s.find(']') == std::string_view::npos;
}

bool ValidKeyName(std::string_view s) {
  return !s.empty() && !HasLineBreak(s) && !HasNul(s) && s.find('=') == std::string_view::npos &&
         s.front() != '[' && s.front() != ';';
}

// The value as it goes after "=": quoted when reading would otherwise
// trim or unquote it.
std::string StoredValue(std::string_view value) {
  const bool quote = !value.empty() && (IsBlankOrTab(value.front()) || IsBlankOrTab(value.back()) || IsQuoted(value));
  if (!quote) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out.push_back('"');
  out.append(value);
  out.push_back('"');
  return out;
}

bool EndsWithLineBreak(const std::string& s) {
  return !s.empty() && (s.back() == '\n' || s.back() == '\r');
}

}  // namespace

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::string bytes;
  status_ = ReadWholeFile(fileName_, kMaxSettingsFileSize, bytes);
  if (status_ != ReadStatus::Ok) return;
  try {
    text_ = DecodeFileText(bytes);
    bytes.clear();
    bytes.shrink_to_fit();
    Parse();
  } catch (const std::bad_alloc&) {
    // A copy that could not be built in full must not be written back.
    text_.clear();
    sections_.clear();
    keys_.clear();
    status_ = ReadStatus::Failed;
  }
}

IniFile IniFile::FromBytes(std::string_view bytes) {
  IniFile ini;
  if (bytes.size() > kMaxSettingsFileSize) {
    ini.status_ = ReadStatus::TooLarge;
    return ini;
  }
  ini.status_ = ReadStatus::Ok;
  ini.text_ = DecodeFileText(bytes);
  ini.Parse();
  return ini;
}

bool IniFile::FileExists(const std::string& fileName) { return platform::FileExists(fileName); }

void IniFile::Parse() {
  sections_.clear();
  keys_.clear();
  newline_ = "\n";
  bool newlineKnown = false;
  const std::string_view text(text_);
  const std::size_t n = text.size();
  Section* current = nullptr;
  auto u32 = [](std::size_t v) { return static_cast<std::uint32_t>(v); };
  // One key per line at most: reserving for that spares a file of many
  // short lines the repeated copying of a growing index.
  keys_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);

  for (std::size_t pos = 0; pos < n;) {
    const std::size_t lineBegin = pos;
    std::size_t lineEnd = pos;
    while (lineEnd < n && text[lineEnd] != '\n' && text[lineEnd] != '\r') ++lineEnd;
    std::size_t next = n;
    if (lineEnd < n) {
      next = (text[lineEnd] == '\r' && lineEnd + 1 < n && text[lineEnd + 1] == '\n') ? lineEnd + 2
                                                                                      : lineEnd + 1;
      if (!newlineKnown) {
        newline_.assign(text.substr(lineEnd, next - lineEnd));
        newlineKnown = true;
      }
    }
    pos = next;

    std::size_t p = lineBegin;
    while (p < lineEnd && IsBlankOrTab(text[p])) ++p;
    if (p == lineEnd || text[p] == ';') continue;
    const std::string_view line = text.substr(p, lineEnd - p);
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      const std::string_view raw = line.substr(1, close - 1);
      const std::string_view name = TrimBlanks(raw);
      const std::size_t nameBegin = p + 1 + static_cast<std::size_t>(name.data() - raw.data());
      current = &sections_.emplace_back(
          Section{u32(nameBegin), u32(name.size()), u32(next), u32(keys_.size()), 0});
      continue;
    }
    if (current == nullptr) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = TrimBlanks(line.substr(0, eq));
    if (name.empty()) continue;
    std::string_view value = TrimBlanks(line.substr(eq + 1));
    if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
    auto offset = [&](std::string_view piece) { return u32(static_cast<std::size_t>(piece.data() - text.data())); };
    keys_.push_back(Key{u32(lineBegin), u32(lineEnd), u32(next), offset(name), u32(name.size()),
                        value.empty() ? u32(lineEnd) : offset(value), u32(value.size())});
    ++current->keyCount;
  }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const std::string_view wanted = NormalName(name);
  for (const Section& s : sections_) {
    if (SameName(View(s.nameBegin, s.nameLength), wanted)) return &s;
  }
  return nullptr;
}

const IniFile::Key* IniFile::FindKey(const Section& section, std::string_view name) const {
  const std::string_view wanted = NormalName(name);
  for (std::uint32_t i = 0; i < section.keyCount; ++i) {
    const Key& k = keys_[section.firstKey + i];
    if (SameName(View(k.nameBegin, k.nameLength), wanted)) return &k;
  }
  return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  const Section* s = FindSection(section);
  const Key* k = s != nullptr ? FindKey(*s, key) : nullptr;
  if (k == nullptr) return std::string(def);
  return std::string(LimitToUtf16Units(View(k->valueBegin, k->valueLength), kIniMaxValueLength));
}

std::vector<std::string> IniFile::ReadSectionKeys(std::string_view section) const {
  std::vector<std::string> out;
  const Section* s = FindSection(section);
  if (s == nullptr) return out;
  std::unordered_set<std::string> seen;
  for (std::uint32_t i = 0; i < s->keyCount; ++i) {
    const Key& k = keys_[s->firstKey + i];
    const std::string_view name = View(k.nameBegin, k.nameLength);
    if (seen.insert(FoldedAscii(name)).second) out.emplace_back(name);
  }
  return out;
}

std::vector<std::string> IniFile::ReadSections() const {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  for (const Section& s : sections_) {
    const std::string_view name = View(s.nameBegin, s.nameLength);
    if (seen.insert(FoldedAscii(name)).second) out.emplace_back(name);
  }
  return out;
}

bool IniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  return s != nullptr && FindKey(*s, key) != nullptr;
}

bool IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view sectionName = NormalName(section);
  const std::string_view keyName = NormalName(key);
  const std::string_view valueText = CutAtNul(value);
  if (!ValidSectionName(sectionName) || !ValidKeyName(keyName) || HasLineBreak(valueText)) {
    return false;
  }
  const std::string stored = StoredValue(valueText);

  // Each change is spliced into the text, which is then indexed afresh.
  std::size_t replaceBegin = text_.size(), replaceEnd = text_.size();
  std::string insert;
  if (const Section* s = FindSection(sectionName)) {
    if (const Key* k = FindKey(*s, keyName)) {
      // Everything up to "=" stays: indentation and the key's spelling.
      replaceBegin = text_.find('=', k->nameBegin + k->nameLength) + 1;
      replaceEnd = k->lineEnd;
      insert = stored;
    } else {
      replaceBegin = replaceEnd =
          s->keyCount > 0 ? keys_[s->firstKey + s->keyCount - 1].nextLine : s->headerNext;
      if (replaceBegin == text_.size() && !text_.empty() && !EndsWithLineBreak(text_)) {
        insert = newline_;
      }
      insert.append(keyName).append("=").append(stored).append(newline_);
    }
  } else {
    if (!text_.empty() && !EndsWithLineBreak(text_)) insert = newline_;
    insert.append("[").append(sectionName).append("]").append(newline_);
    insert.append(keyName).append("=").append(stored).append(newline_);
  }
  // What is written must read back: never grow past the size a read accepts.
  if (text_.size() - (replaceEnd - replaceBegin) + insert.size() > kMaxSettingsFileSize) return false;
  text_.replace(replaceBegin, replaceEnd - replaceBegin, insert);
  Parse();
  return true;
}

std::string IniFile::Text() const {
  // Text that begins like a UTF-16 byte-order mark (bytes that are not
  // UTF-8) would be read back as UTF-16; a UTF-8 mark in front settles it.
  if (StartsWith(text_, "\xFF\xFE") || StartsWith(text_, "\xFE\xFF")) {
    return std::string(kUtf8Bom) + text_;
  }
  return text_;
}

bool IniFile::UpdateFile(std::string* error) const {
  if (fileName_.empty() || status_ == ReadStatus::TooLarge || status_ == ReadStatus::Failed) {
    if (error != nullptr) *error = UnableToWriteMessage(fileName_);
    return false;
  }
  return WriteFileAtomically(fileName_, Text(), error);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                          std::string* error) {
  if (!SetString(section, key, value)) {
    if (error != nullptr) *error = UnableToWriteMessage(fileName_);
    return false;
  }
  return UpdateFile(error);
}

std::string IniReadString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view def) {
  return IniFile(file).ReadString(section, key, def);
}

std::vector<std::string> IniReadSectionKeys(const std::string& file, std::string_view section) {
  return IniFile(file).ReadSectionKeys(section);
}

bool IniWriteString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error) {
  IniFile ini(file);
  return ini.WriteString(section, key, value, error);
}

}  // namespace purgo::platform
