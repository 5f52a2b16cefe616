// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/AppOptions.h"
#include "app/TraceCategories.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
#include "engine/TraceKeepList.h"
#include "platform/AsciiText.h"
#include "platform/FileIO.h"
#include "platform/FileSystem.h"
#include "platform/Utf8.h"

namespace purgo {
namespace {

constexpr std::int64_t kProgressEveryMs = 200;

std::string_view IdOf(TPGCScanTypes AScanType) {
  for (const TTraceCategory& c : OfferedTraceCategories()) {
    if (c.scanType == AScanType) return c.id;
  }
  return {};
}

// Why a file stayed, as scripts read it.
std::string_view ReasonOf(platform::DeleteResult r) {
  switch (r) {
    case platform::DeleteResult::Deleted: return "deleted";
    case platform::DeleteResult::NotFound: return "not-found";
    case platform::DeleteResult::NotAFile: return "not-a-file";
    case platform::DeleteResult::ReadOnly: return "read-only";
    case platform::DeleteResult::InUse: return "in-use";
    case platform::DeleteResult::PathChanged: return "path-changed";
    case platform::DeleteResult::Changed: return "changed";
    case platform::DeleteResult::Protected: return "protected";
    case platform::DeleteResult::OtherOwner: return "other-owner";
    case platform::DeleteResult::Failed: return "failed";
  }
  return "failed";
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void WriteBytes(std::ostream& AOut, std::string_view ABytes) {
  AOut.write(ABytes.data(), static_cast<std::streamsize>(ABytes.size()));
}

// "path":"..." and, when that lost bytes, "path_bytes":"<base64>".
std::string JsonPath(std::string_view APath) {
  bool exact = true;
  std::string out = "\"path\":\"" + JsonEscape(APath, &exact) + "\"";
  if (!exact) out += ",\"path_bytes\":\"" + Base64(APath) + "\"";
  return out;
}

// What the deletion checks, as a preview line carries it: identities as
// "device:inode", the stamp as "birth:change:size". Strings, not numbers:
// tools that read JSON numbers as doubles (jq among them) would round
// nanosecond times and large inode numbers on the way through a filter.
std::string IdText(platform::FileId AId) {
  return std::to_string(AId.device) + ':' + std::to_string(AId.inode);
}
std::string StampText(const platform::FileStamp& AStamp) {
  return std::to_string(AStamp.birth) + ':' + std::to_string(AStamp.change) + ':' + std::to_string(AStamp.size);
}
std::string TargetFields(const platform::DeleteTarget& ATarget) {
  return ",\"root_length\":" + std::to_string(ATarget.rootLength) + ",\"root_id\":\"" + IdText(ATarget.rootId) +
         "\",\"id\":\"" + IdText(ATarget.fileId) + "\",\"stamp\":\"" + StampText(ATarget.fileStamp) + '"';
}

// ---- reading a preview list back ----------------------------------------

// One member of a flat JSON object: strings decoded to their bytes,
// numbers and literals as written.
struct JsonMember {
  enum Kind { String, Number, Literal } kind;
  std::string key, value;
};

class FlatJsonReader {
 public:
  explicit FlatJsonReader(std::string_view AText) : s_(AText) {}

  // The members of the one object the text holds; an explanation when it
  // holds anything else. Nested values never occur in a preview line.
  std::string Read(std::vector<JsonMember>& AOut) {
    AOut.clear();
    Blank();
    if (!Take('{')) return "not a JSON object";
    Blank();
    if (!Take('}')) {
      for (;;) {
        JsonMember m{JsonMember::String, {}, {}};
        Blank();
        if (!String(m.key)) return error_.empty() ? "a member name expected" : error_;
        Blank();
        if (!Take(':')) return "':' expected";
        Blank();
        if (!Value(m)) return error_;
        for (const JsonMember& other : AOut) {
          // Readers differ on which of two equal names counts: neither does.
          if (other.key == m.key) return "the member \"" + m.key + "\" twice";
        }
        AOut.push_back(std::move(m));
        Blank();
        if (Take(',')) continue;
        if (Take('}')) break;
        return "',' or '}' expected";
      }
    }
    Blank();
    return i_ == s_.size() ? std::string() : "text after the object";
  }

 private:
  void Blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Fail(const char* why) {
    error_ = why;
    return false;
  }
  bool Hex4(std::uint32_t& AOut) {
    if (s_.size() - i_ < 4) return false;
    AOut = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[i_++];
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) return false;
      AOut = AOut * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
  }
  bool String(std::string& AOut) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20) return Fail("a control character inside a string");
      if (c >= 0x80) {
        const std::size_t len = platform::Utf8SequenceLength(s_, i_);
        if (len == 0) return Fail("a string that is not UTF-8");
        AOut.append(s_.substr(i_, len));
        i_ += len;
        continue;
      }
      ++i_;
      if (c != '\\') {
        AOut.push_back(static_cast<char>(c));
        continue;
      }
      if (i_ >= s_.size()) break;
      switch (s_[i_++]) {
        case '"': AOut.push_back('"'); break;
        case '\\': AOut.push_back('\\'); break;
        case '/': AOut.push_back('/'); break;
        case 'b': AOut.push_back('\b'); break;
        case 'f': AOut.push_back('\f'); break;
        case 'n': AOut.push_back('\n'); break;
        case 'r': AOut.push_back('\r'); break;
        case 't': AOut.push_back('\t'); break;
        case 'u': {
          std::uint32_t cp = 0, low = 0;
          if (!Hex4(cp)) return Fail("a bad \\u escape");
          if (cp >= 0xDC00 && cp <= 0xDFFF) return Fail("a lone surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
              return Fail("a lone surrogate");
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          platform::AppendUtf8(AOut, cp);
          break;
        }
        default: return Fail("a bad escape");
      }
    }
    return Fail("an unterminated string");
  }
  bool Value(JsonMember& AOut) {
    if (i_ >= s_.size()) return Fail("a value expected");
    const char c = s_[i_];
    if (c == '"') {
      AOut.kind = JsonMember::String;
      if (String(AOut.value)) return true;
      if (error_.empty()) error_ = "a bad string";
      return false;
    }
    if (c == '{' || c == '[') return Fail("a nested value");
    const std::size_t start = i_;
    if (c == '-' || (c >= '0' && c <= '9')) {
      AOut.kind = JsonMember::Number;
      Take('-');
      std::size_t digits = 0;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_, ++digits;
      if (digits == 0 || (digits > 1 && s_[start + (s_[start] == '-' ? 1 : 0)] == '0')) return Fail("a bad number");
      if (Take('.')) {
        digits = 0;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_, ++digits;
        if (digits == 0) return Fail("a bad number");
      }
      if (Take('e') || Take('E')) {
        if (!Take('+')) Take('-');
        digits = 0;
        while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_, ++digits;
        if (digits == 0) return Fail("a bad number");
      }
      AOut.value.assign(s_.substr(start, i_ - start));
      return true;
    }
    for (std::string_view literal : {"true", "false", "null"}) {
      if (s_.substr(i_, literal.size()) == literal) {
        i_ += literal.size();
        AOut.kind = JsonMember::Literal;
        AOut.value.assign(literal);
        return true;
      }
    }
    return Fail("a value expected");
  }

  std::string_view s_;
  std::size_t i_ = 0;
  std::string error_;
};

const JsonMember* Member(const std::vector<JsonMember>& AMembers, std::string_view AKey) {
  for (const JsonMember& m : AMembers) {
    if (m.key == AKey) return &m;
  }
  return nullptr;
}

// A whole non-negative decimal number, as our own lines write them.
bool ParseCount(std::string_view AText, std::uint64_t& AOut) {
  if (AText.empty() || AText.size() > 20) return false;
  const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), AOut);
  return ec == std::errc() && end == AText.data() + AText.size();
}

// "a:b" or "a:b:c" as whole numbers.
bool ParseFields(std::string_view AText, std::span<std::uint64_t> AOut) {
  for (std::size_t k = 0; k < AOut.size(); ++k) {
    const std::size_t colon = k + 1 < AOut.size() ? AText.find(':') : AText.size();
    if (colon == std::string_view::npos || !ParseCount(AText.substr(0, colon), AOut[k])) return false;
    AText.remove_prefix(std::min(AText.size(), colon + 1));
  }
  return true;
}

bool Unbase64(std::string_view AText, std::string& AOut) {
  if (AText.size() % 4 != 0) return false;
  AOut.clear();
  for (std::size_t i = 0; i < AText.size(); i += 4) {
    std::uint32_t v = 0;
    int pad = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = AText[i + k];
      int d = -1;
      if (c >= 'A' && c <= 'Z') d = c - 'A';
      else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
      else if (c >= '0' && c <= '9') d = c - '0' + 52;
      else if (c == '+') d = 62;
      else if (c == '/') d = 63;
      else if (c == '=' && i + 4 == AText.size() && k >= 2) d = 0, ++pad;
      if (d < 0 || (pad > 0 && c != '=')) return false;
      v = (v << 6) | static_cast<std::uint32_t>(d);
    }
    AOut.push_back(static_cast<char>(v >> 16));
    if (pad < 2) AOut.push_back(static_cast<char>((v >> 8) & 0xFF));
    if (pad < 1) AOut.push_back(static_cast<char>(v & 0xFF));
  }
  return true;
}

// `bytes` with each byte that starts no well-formed UTF-8 sequence as
// U+FFFD: what "path" shows of a name whose exact bytes are in
// "path_bytes".
std::string Lossy(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t len = static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : platform::Utf8SequenceLength(bytes, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

// Exposes the folders the categories walk, as a scan would take them now.
class TCategoryRoots : public TPGCAppCleaner {
 public:
  using TPGCAppCleaner::CategoryFolder;
};

// A full path of this system: "/..." here, "C:\\..." or "\\\\server\\share\\..."
// where paths start with a drive.
bool IsAbsoluteFilePath(std::string_view APath) {
  if (kNativePathStyle == TPathStyle::Posix) return !APath.empty() && APath.front() == '/';
  const std::string drive = ExtractDrivePart(APath);
  return !drive.empty() && APath.size() > drive.size() && APath[drive.size()] == platform::kPathDelimiter;
}

// What the walks of the folder categories never offer: hidden entries
// (their masks leave the hidden bit out) and what the keep list keeps.
// Two categories also insist on an extension, with its letter case.
bool CategoryWouldOffer(TPGCScanTypes AScanType, std::string_view ABelowRoot) {
  std::size_t depth = 0;
  std::string_view name;
  while (!ABelowRoot.empty()) {
    const std::size_t slash = ABelowRoot.find(platform::kPathDelimiter);
    name = ABelowRoot.substr(0, slash);
    if (name.empty() || name.front() == '.' || IsKeptOut(AScanType, depth, name)) return false;
    ABelowRoot.remove_prefix(slash == std::string_view::npos ? ABelowRoot.size() : slash + 1);
    ++depth;
  }
  const std::string_view ext = AScanType == kScanPrefetch ? ".pf" : AScanType == kScanFlashCookies ? ".sol" : "";
  if (ext.empty()) return true;
  const std::size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot) == ext;
}

}  // namespace

// A file found, as a cleaning pass reads it back.
struct TCommandLine::Found {
  std::uint32_t tree;  // in FTrees
  TScanFolders::Folder folder;  // kNoFolder: `name` is the full path, never deleted
  std::string_view name;
  platform::FileId fileId;
  platform::FileStamp fileStamp;
  std::uint64_t size;
  bool recorded;  // the scan recorded where it found the file
};

// The files a cleaning pass deletes after its scan: 48 bytes each beside
// the bytes of its name, a million files in about 50 MB. Records and names
// live in blocks that never move: a growing array would hold its old and
// new copies at once while it grows.
class TCommandLine::TFoundList {
 public:
  void Add(const Found& AFound) {
    Record r {};
    r.name = Store(AFound.name);
    r.nameLength = static_cast<std::uint32_t>(AFound.name.size());
    r.folder = AFound.folder;
    r.tree = static_cast<std::uint16_t>(AFound.tree);
    r.inode = AFound.fileId.inode;
    r.device = DeviceIndex(AFound.fileId.device);
    r.size = AFound.size;
    if (AFound.fileStamp.birth != 0) {
      r.stampTime = AFound.fileStamp.birth;
      r.flags |= kBirth;
    } else if (AFound.fileStamp.IsKnown()) {
      r.stampTime = AFound.fileStamp.change;
      r.flags |= kChange;
      // The stamp's size is the size the scan reported, taken by the same
      // look; should they ever differ, the stamp's is kept apart.
      if (AFound.fileStamp.size != AFound.size) stampSizes_.emplace(records_.size(), AFound.fileStamp.size);
    }
    if (AFound.recorded) r.flags |= kRecorded;
    records_.push_back(r);
  }

  template <class Visit>
  void ForEach(Visit&& AVisit) const {
    std::size_t index = 0;
    for (const Record& r : records_) {
      Found f {r.tree, r.folder, Name(r), {devices_[r.device], r.inode}, {}, r.size,
               (r.flags & kRecorded) != 0};
      if ((r.flags & kBirth) != 0) {
        f.fileStamp.birth = r.stampTime;
      } else if ((r.flags & kChange) != 0) {
        f.fileStamp.change = r.stampTime;
        const auto apart = stampSizes_.find(index);
        f.fileStamp.size = apart != stampSizes_.end() ? apart->second : r.size;
      }
      ++index;
      if (!AVisit(f)) return;
    }
  }

 private:
  static constexpr std::uint16_t kRecorded = 1, kBirth = 2, kChange = 4;
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  struct Record {
    std::uint64_t name;  // block << 32 | offset in it
    std::uint64_t inode;
    std::uint64_t size;
    std::uint64_t stampTime;  // the birth time, or the change time (see flags)
    TScanFolders::Folder folder;
    std::uint32_t nameLength;
    std::uint32_t device;  // in devices_
    std::uint16_t tree;
    std::uint16_t flags;
  };
  static_assert(sizeof(Record) == 48);

  std::uint64_t Store(std::string_view ABytes) {
    if (blocks_.empty() || kBlock - used_ < ABytes.size()) {
      // A name longer than a block (a path thousands of folders deep) gets
      // a block of its own.
      blocks_.push_back(std::make_unique<char[]>(std::max(kBlock, ABytes.size())));
      used_ = 0;
    }
    std::memcpy(blocks_.back().get() + used_, ABytes.data(), ABytes.size());
    const std::uint64_t at = (static_cast<std::uint64_t>(blocks_.size() - 1) << 32) | used_;
    used_ += ABytes.size();
    return at;
  }
  std::string_view Name(const Record& ARecord) const {
    return {blocks_[ARecord.name >> 32].get() + (ARecord.name & 0xffffffffu), ARecord.nameLength};
  }
  std::uint32_t DeviceIndex(std::uint64_t ADevice) {
    // A scan meets a handful of devices: the last one is nearly always it.
    if (!devices_.empty() && devices_[lastDevice_] == ADevice) return lastDevice_;
    const auto it = std::find(devices_.begin(), devices_.end(), ADevice);
    lastDevice_ = static_cast<std::uint32_t>(it - devices_.begin());
    if (it == devices_.end()) devices_.push_back(ADevice);
    return lastDevice_;
  }

  std::deque<Record> records_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;
  std::vector<std::uint64_t> devices_;
  std::uint32_t lastDevice_ = 0;
  std::unordered_map<std::size_t, std::uint64_t> stampSizes_;
};

// A file line of a preview list, as read back.
struct TCommandLine::Listed {
  std::string path;
  std::uint64_t size = 0;
  const TTraceCategory* category = nullptr;  // null: an ending line
  std::string ending;
  bool recorded = false;  // the line carries every identity below
  std::size_t rootLength = 0;
  platform::FileId rootId, fileId;
  platform::FileStamp stamp;
};

std::string JsonEscape(std::string_view bytes, bool* exact) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() + 8);
  bool lossless = true;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const std::size_t len = platform::Utf8SequenceLength(bytes, i);
      if (len == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD
        lossless = false;
        ++i;
      } else {
        out.append(bytes.substr(i, len));
        i += len;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0xF]);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  if (exact != nullptr) *exact = lossless;
  return out;
}

std::string TerminalEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto octal = [&out](unsigned char c) {
    out.push_back('\\');
    out.push_back(static_cast<char>('0' + (c >> 6)));
    out.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
    out.push_back(static_cast<char>('0' + (c & 7)));
  };
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const std::size_t len = platform::Utf8SequenceLength(bytes, i);
      // U+0080 to U+009F are C1 controls (CSI among them), which some
      // terminals act on as readily as on ESC.
      const bool c1 = len == 2 && c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0;
      if (len == 0 || c1) {
        for (std::size_t k = 0; k < std::max<std::size_t>(len, 1); ++k) {
          octal(static_cast<unsigned char>(bytes[i + k]));
        }
        i += std::max<std::size_t>(len, 1);
      } else {
        out.append(bytes.substr(i, len));
        i += len;
      }
      continue;
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\a': out += "\\a"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\v': out += "\\v"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          octal(c);
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}

TCommandLine::TCommandLine(TCommandLineRequest ARequest, const TPGCAppOptions* AOptions,
                           std::ostream& AOut, std::ostream& AErr)
    : FRequest(std::move(ARequest)), FOptions(AOptions), FOut(AOut), FErr(AErr),
      FFound(std::make_unique<TFoundList>()) {}

TCommandLine::~TCommandLine() = default;

int TCommandLine::Run() {
  switch (FRequest.mode) {
    case TCommandLineMode::List: return List();
    case TCommandLineMode::Preview: return Scan();
    case TCommandLineMode::Clean: {
      if (!FRequest.fromList.empty()) return CleanFromList();
      const int scanned = Scan();
      return scanned == kExitUsage ? scanned : Clean();
    }
  }
  return kExitUsage;
}

int TCommandLine::List() {
  const TPGCScanTypes ticked = FOptions != nullptr ? FOptions->AppScanTypes() : 0;
  for (const TTraceCategory& c : OfferedTraceCategories()) {
    const std::string name = TrimChars(*c.name, " ");
    const bool on = (ticked & c.scanType) != 0;
    if (FRequest.json) {
      FOut << "{\"event\":\"category\",\"id\":\"" << c.id << "\",\"name\":\"" << JsonEscape(name)
           << "\",\"ticked\":" << (on ? "true" : "false") << "}\n";
    } else {
      FOut << c.id << '\t' << name << (on ? "\tticked" : "");
      EndRecord();
    }
  }
  FOut.flush();
  return kExitDone;
}

bool TCommandLine::ResolveCategories(TPGCScanTypes& ASet) {
  ASet = 0;
  if (FRequest.categories.empty()) {
    const TPGCScanTypes ticked = FOptions != nullptr ? FOptions->AppScanTypes() : 0;
    for (const TTraceCategory& c : OfferedTraceCategories()) ASet |= ticked & c.scanType;
    if (ASet == 0) {
      FErr << "purgo: no category given and none ticked in the settings (see --list)\n";
      return false;
    }
    return true;
  }
  for (const std::string& id : FRequest.categories) {
    const TTraceCategory* found = nullptr;
    for (const TTraceCategory& c : OfferedTraceCategories()) {
      if (c.id == id) found = &c;
    }
    if (found == nullptr &&
        std::find(std::begin(kNotOfferedIds), std::end(kNotOfferedIds), id) != std::end(kNotOfferedIds)) {
      FErr << "purgo: category '" << id << "' has nothing to clean on Linux and is not offered (see --list)\n";
      return false;
    }
    if (found == nullptr) {
      FErr << "purgo: unknown category '";
      WriteBytes(FErr, id);
      FErr << "' (see --list)\n";
      return false;
    }
    ASet |= found->scanType;
  }
  return true;
}

int TCommandLine::Scan() {
  FScanned = true;
  if (FRequest.folders.empty()) {
    TPGCScanTypes set = 0;
    if (!ResolveCategories(set)) return kExitUsage;
    ScanTraces(set);
  } else {
    bool anyEnding = false;
    for (const std::string& e : FRequest.endings) anyEnding |= !TrimChars(e, " ").empty();
    if (FRequest.endings.empty() && FOptions != nullptr) {
      for (int i = 0; i < FOptions->ExtListCount(); ++i) {
        anyEnding |= FOptions->ExtChecked(i) && !TrimChars(FOptions->ExtText(i), " ").empty();
      }
    }
    if (!anyEnding) {
      FErr << "purgo: no ending given and none ticked in the settings\n";
      return kExitUsage;
    }
    ScanFolders();
  }
  Progress(true);
  if (FRequest.mode == TCommandLineMode::Preview) Summary();
  return FErrors > 0 ? kExitIncomplete : kExitDone;
}

void TCommandLine::ScanTraces(TPGCScanTypes ASet) {
  TPGCAppCleaner cleaner;
  cleaner.SetOnScanError([this](const std::string& AFolder, bool AOpened, int AErrno) {
    FolderError(AFolder, AOpened, AErrno);
  });
  cleaner.SetOnScanning([&](TPGCScanTypes AScanType, const std::string& AFileName, std::uint32_t,
                            const platform::FileTime*, std::uint32_t) {
    if (AScanType == kScanTypeDirectory) return;
    const std::uint64_t size = cleaner.ReportedFileSize();
    std::string checks;
    if (KeepsFound()) {
      // Each scan makes a new tree of its folders; the last one kept is
      // the current one until then.
      const std::shared_ptr<const TScanFolders> folders = cleaner.ScanFolders();
      if (FTrees.empty() || FTrees.back() != folders) FTrees.push_back(folders);
      const auto tree = static_cast<std::uint32_t>(FTrees.size() - 1);
      // A file without the scan's record of where it was is shown but
      // never deleted by its path.
      if (const TPGCAppCleaner::TReportedFile* f = cleaner.ReportedFile()) {
        FFound->Add({tree, f->folder, f->name, f->fileId, f->fileStamp, size, true});
      } else {
        FFound->Add({tree, TScanFolders::kNoFolder, AFileName, {}, {}, size, false});
      }
    } else if (ListsChecks()) {
      // A preview keeps nothing: the line carries what a later clean needs.
      if (platform::DeleteTarget target; cleaner.ReportedTarget(target)) checks = TargetFields(target);
    }
    FileLine(AFileName, size, "category", IdOf(AScanType), checks);
  });
  // One category at a time, in the page's order; the Trash is listed here
  // so that its items show where they lie, not only their old names.
  for (const TTraceCategory& c : OfferedTraceCategories()) {
    if ((ASet & c.scanType) == 0) continue;
    if (c.scanType == kScanRecycleBin) {
      ScanTrash();
      continue;
    }
    // Besides the folder of document links, the list GTK and GNOME keep.
    if (c.scanType == kScanRecentDocuments) ScanRecentList();
    // A category that finds nothing on purpose must not pass for a clean
    // folder: the user is told to run from elsewhere.
    if (c.scanType == kScanTempFiles && cleaner.SkipsTempFiles()) {
      std::string temp = GetTempDir();
      if (temp.size() > 1 && (temp.back() == '/' || temp.back() == platform::kPathDelimiter)) temp.pop_back();
      Error(temp, "working-folder",
            "the temporary folder is the current folder, so temporary files were skipped "
            "(this run's own files are there); run from another folder");
      continue;
    }
    cleaner.DoScan(c.scanType);
  }
}

void TCommandLine::ScanRecentList() {
  FRecent = platform::ReadRecentList(platform::RecentListPath());
  switch (FRecent.status) {
    case platform::RecentListStatus::Ok:
      break;
    case platform::RecentListStatus::Malformed:
      Error(FRecent.path, "malformed", "not a recently-used list that can be read safely: nothing listed or removed");
      break;
    case platform::RecentListStatus::TooLarge:
      Error(FRecent.path, "too-large", "larger than 64 MiB: not read");
      break;
    case platform::RecentListStatus::Link:
      Error(FRecent.path, "link", "a symbolic link: never read or rewritten through, passed over");
      break;
    case platform::RecentListStatus::Failed:
      Error(FRecent.path, "unreadable", "the list cannot be read, passed over");
      break;
    default:
      // Missing, or another user's (root with a user's HOME): nothing of
      // ours to list, as a walk passes over other users' folders.
      break;
  }
  for (const platform::RecentEntry& e : FRecent.entries) EntryLine(e, "entry", {});
}

void TCommandLine::ScanTrash() {
  FTrash = platform::ListTrash();
  for (const platform::TrashItem& item : FTrash) {
    FileLine(item.trashDir + "files/" + item.entryName, item.data.size, "category", "trash",
             ListsChecks() ? ",\"id\":\"" + IdText(item.data.id) + "\",\"stamp\":\"" + StampText(item.data.stamp) + '"'
                           : std::string());
  }
}

void TCommandLine::ScanFolders() {
  TPGCExtCleaner cleaner;
  TPGCExtScanOption& options = *cleaner.ScanOptions();
  options.SetFileAttribute(FOptions != nullptr ? FOptions->FileAttribute() : 31u);
  options.SetIgnoreInDays(FOptions != nullptr ? FOptions->IgnoreInDays() : 0);
  options.ClearDirs();
  for (const std::string& folder : FRequest.folders) {
    // The cleaner trims blanks from its folders: a name with blanks at an
    // end would be scanned as another folder.
    if (folder != TrimChars(folder, " ")) {
      Error(folder, "blank-at-end", "a folder name with blanks at either end, skipped");
    } else if (!platform::DirectoryExists(folder)) {
      if (platform::GetFileAttributes(folder)) {
        Error(folder, "not-a-folder", "not a folder, skipped");
      } else {
        Error(folder, "not-found", "no such folder, skipped");
      }
    } else if (!platform::DirectoryReadable(folder)) {
      Error(folder, "unreadable", "the folder cannot be read, skipped");
    } else {
      options.AddDir(folder, FRequest.subfolders);
    }
  }
  options.ClearExts();
  if (!FRequest.endings.empty()) {
    for (const std::string& e : FRequest.endings) options.AddExt(e);
  } else if (FOptions != nullptr) {
    for (int i = 0; i < FOptions->ExtListCount(); ++i) {
      if (FOptions->ExtChecked(i)) options.AddExt(FOptions->ExtText(i));
    }
  }
  if (options.DirsCount() == 0) return;
  cleaner.SetOnScanError([this](const std::string& AFolder, bool AOpened, int AErrno) {
    FolderError(AFolder, AOpened, AErrno);
  });
  // Found files are never kept by the cleaner: a preview writes each one
  // as it comes, a cleaning pass keeps its own compact record.
  cleaner.SetKeepItems(false);
  platform::DeleteTarget target;
  if (!KeepsFound()) {
    cleaner.SetOnScanning([&](TPGCExtCleanerScanFileItem* AItem) {
      std::string checks;
      if (ListsChecks() && AItem->PathItem() != nullptr && AItem->FileId().IsKnown()) {
        checks = TargetFields(AItem->Target());
      }
      FileLine(AItem->FullFileName(), AItem->FileSize(), "ending", AItem->Ext(), checks);
    });
    cleaner.DoScan(kScanOtherFiles);
    return;
  }
  // The cleaner's folders, copied into a tree of ours as files turn up in
  // them (the cleaner and its items end with this call).
  auto folders = std::make_shared<TScanFolders>();
  FTrees.push_back(folders);
  const auto tree = static_cast<std::uint32_t>(FTrees.size() - 1);
  // By the items' numbers (1, 2, ... as folders are entered), not their
  // addresses: the cleaner frees a folder's item once its walk is done,
  // and a new one may take its place. Four bytes per folder walked.
  std::vector<TScanFolders::Folder> copied;
  std::vector<const TPGCExtCleanerScanPathItem*> pending;
  const auto copyOf = [&](const TPGCExtCleanerScanPathItem* AItem) {
    return AItem->ID() < copied.size() ? copied[AItem->ID()] : TScanFolders::kNoFolder;
  };
  const auto folderOf = [&](const TPGCExtCleanerScanPathItem* AItem) {
    pending.clear();
    TScanFolders::Folder folder = TScanFolders::kNoFolder;
    for (const TPGCExtCleanerScanPathItem* p = AItem; p != nullptr; p = p->Parent()) {
      folder = copyOf(p);
      if (folder != TScanFolders::kNoFolder) break;
      pending.push_back(p);
    }
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      const TPGCExtCleanerScanPathItem* p = *it;
      folder = p->Parent() == nullptr ? folders->AddRoot(p->Name(), p->RootId())
                                      : folders->AddFolder(folder, p->Name());
      if (copied.size() <= p->ID()) copied.resize(p->ID() + 1, TScanFolders::kNoFolder);
      copied[p->ID()] = folder;
    }
    return folder;
  };
  cleaner.SetOnScanning([&](TPGCExtCleanerScanFileItem* AItem) {
    const TScanFolders::Folder folder =
        AItem->PathItem() != nullptr ? folderOf(AItem->PathItem()) : TScanFolders::kNoFolder;
    const bool recorded = folder != TScanFolders::kNoFolder && AItem->FileId().IsKnown();
    const Found found {tree, folder, AItem->FileName(), AItem->FileId(), AItem->FileStamp(),
                       AItem->FileSize(), recorded};
    FFound->Add(found);
    FileLine(PathOf(found), AItem->FileSize(), "ending", AItem->Ext());
  });
  cleaner.DoScan(kScanOtherFiles);
}

std::string_view TCommandLine::PathOf(const Found& AFound) const {
  if (AFound.folder == TScanFolders::kNoFolder) return AFound.name;
  return FTrees[AFound.tree]->FullPath(AFound.folder, AFound.name);
}

int TCommandLine::Clean() {
  if (!FScanned) {
    if (const int scanned = Scan(); scanned == kExitUsage) return scanned;
  }
  FCleaned = true;
  // As on the page: the Trash first, then the recently-used list, then
  // every file found.
  if (!FTrash.empty()) CleanTrash();
  if (!FRecent.entries.empty()) CleanRecentList();
  platform::SafeDeleter deleter;
  platform::DeleteTarget target;
  bool outputLost = false;
  FFound->ForEach([&](const Found& f) {
    // Nothing more is deleted once the outcomes can no longer be told.
    if (!FOut) {
      outputLost = true;
      return false;
    }
    if (!f.recorded) {
      OutcomeLine(PathOf(f), f.size, "not-recorded");
    } else {
      FTrees[f.tree]->Target(f.folder, f.name, f.fileId, f.fileStamp, target);
      const platform::DeleteResult r = deleter.Delete(target);
      OutcomeLine(target.path, f.size, r == platform::DeleteResult::Deleted ? "" : ReasonOf(r));
    }
    Progress();
    return true;
  });
  if (outputLost) return kExitIncomplete;
  Progress(true);
  Summary();
  return FErrors > 0 || FRefused > 0 ? kExitIncomplete : kExitDone;
}

void TCommandLine::CleanTrash() {
  // Only what the scan listed goes: an item trashed since was never shown.
  const std::vector<platform::TrashOutcome> outcomes = platform::EmptyTrashItems(FTrash);
  for (std::size_t i = 0; i < FTrash.size(); ++i) {
    const platform::TrashItem& item = FTrash[i];
    const platform::TrashOutcome& o = outcomes[i];
    const std::string_view reason = o.deleted ? "" : o.refusal ? ReasonOf(*o.refusal) : "not-emptied";
    OutcomeLine(item.trashDir + "files/" + item.entryName, item.data.size, reason);
  }
}

void TCommandLine::CleanRecentList() {
  const platform::RecentRemoval removal = platform::RemoveRecentEntries(FRecent.path, FRecent.entries);
  std::string_view refused;
  switch (removal.status) {
    case platform::RecentListStatus::Link: refused = "path-changed"; break;
    case platform::RecentListStatus::OtherOwner: refused = "other-owner"; break;
    case platform::RecentListStatus::ReadOnly: refused = "read-only"; break;
    case platform::RecentListStatus::Malformed: refused = "malformed"; break;
    case platform::RecentListStatus::TooLarge: refused = "too-large"; break;
    // Rewritten by another program at every attempt.
    case platform::RecentListStatus::Busy: refused = "in-use"; break;
    default: refused = "failed"; break;
  }
  for (std::size_t i = 0; i < FRecent.entries.size(); ++i) {
    const platform::RecentEntry& e = FRecent.entries[i];
    switch (removal.outcomes[i]) {
      case platform::RecentOutcome::Removed: EntryLine(e, "removed", {}); break;
      case platform::RecentOutcome::Gone: EntryLine(e, "refused", "not-found"); break;
      case platform::RecentOutcome::Changed: EntryLine(e, "refused", "changed"); break;
      case platform::RecentOutcome::Refused: EntryLine(e, "refused", refused); break;
    }
  }
}

void TCommandLine::EntryLine(const platform::RecentEntry& AEntry, std::string_view AOutcome,
                             std::string_view AReason) {
  // Counted as files are: found, then deleted or refused.
  if (AOutcome == "entry") {
    ++FFiles;
    FBytes += static_cast<std::int64_t>(AEntry.size);
    if (FRequest.mode != TCommandLineMode::Preview) return;
  } else if (AOutcome == "removed") {
    ++FDeleted;
    FDeletedBytes += static_cast<std::int64_t>(AEntry.size);
  } else {
    ++FRefused;
    FRefusedBytes += static_cast<std::int64_t>(AEntry.size);
  }
  if (FRequest.json) {
    FOut << "{\"event\":\"" << AOutcome << "\",\"list\":\"" << JsonEscape(FRecent.path) << "\",\"href\":\""
         << JsonEscape(AEntry.href) << '"';
    if (AOutcome == "entry") {
      FOut << ",\"name\":\"" << JsonEscape(AEntry.name) << "\",\"where\":\"" << JsonEscape(AEntry.where) << '"';
    }
    FOut << ",\"size\":" << AEntry.size;
    if (AOutcome == "entry") FOut << ",\"category\":\"recent\"";
    if (!AReason.empty()) FOut << ",\"reason\":\"" << AReason << '"';
    FOut << "}\n";
  } else {
    FOut << AOutcome << '\t';
    if (!AReason.empty()) FOut << AReason << '\t';
    FOut << AEntry.size << '\t';
    WritePath(AEntry.href);
    EndRecord();
  }
  Progress();
}

int TCommandLine::ReadList(std::vector<Listed>& AListed) {
  const std::string& name = FRequest.fromList;
  std::string text;
  int readError = 0;
  const platform::ReadStatus read =
      platform::ReadToEnd(name == "-" ? std::string() : name, kMaxListBytes, text, readError);
  if (read == platform::ReadStatus::Failed) {
    Error(name, "unreadable", std::string("the list cannot be read (") + std::strerror(readError) + "), nothing deleted");
    return kExitIncomplete;
  }
  if (read == platform::ReadStatus::TooLarge) {
    Error(name, "bad-list", "the list is longer than 1 GiB, nothing deleted");
    return kExitUsage;
  }
  const auto bad = [&](std::size_t ALine, const std::string& AWhy) {
    Error(name, "bad-list", "line " + std::to_string(ALine) + ": " + AWhy + ", nothing deleted");
    return kExitUsage;
  };
  std::unordered_set<std::string_view> seen;
  std::vector<JsonMember> members;
  std::string_view rest = text;
  for (std::size_t number = 1; !rest.empty(); ++number) {
    const std::size_t newline = rest.find('\n');
    const std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    if (line.size() > kMaxListLineBytes) return bad(number, "longer than 16 MiB");
    if (const std::string why = FlatJsonReader(line).Read(members); !why.empty()) {
      return bad(number, "not a JSON line of a preview (" + why + ")");
    }
    const JsonMember* event = Member(members, "event");
    if (event == nullptr || event->kind != JsonMember::String) return bad(number, "not a line of a preview");
    // A preview's errors and summary say nothing about what to delete.
    if (event->value == "error") continue;
    if (event->value == "summary") {
      const JsonMember* mode = Member(members, "mode");
      if (mode != nullptr && mode->value == "preview") continue;
    }
    if (event->value == "entry") {
      return bad(number, "an entry of the recently-used list (cleaned with -c recent, not from a list)");
    }
    if (event->value != "file") return bad(number, "not a line of a preview (event \"" + event->value + "\")");
    const JsonMember* format = Member(members, "format");
    if (format == nullptr || format->kind != JsonMember::Number ||
        format->value != std::to_string(kPreviewListFormat)) {
      return bad(number, "not a preview line of this version of purgo (format " +
                             std::to_string(kPreviewListFormat) + ")");
    }
    Listed l;
    const JsonMember* path = Member(members, "path");
    const JsonMember* bytes = Member(members, "path_bytes");
    if (path == nullptr || path->kind != JsonMember::String) return bad(number, "no \"path\"");
    if (bytes == nullptr) {
      l.path = path->value;
    } else if (bytes->kind != JsonMember::String || !Unbase64(bytes->value, l.path) ||
               Lossy(l.path) != path->value) {
      // Whoever filtered the list by "path" must get the file they saw.
      return bad(number, "\"path_bytes\" is not the \"path\" shown");
    }
    if (!IsAbsoluteFilePath(l.path) || l.path.back() == platform::kPathDelimiter ||
        l.path.find('\0') != std::string::npos) {
      return bad(number, "the path is not a file's absolute path");
    }
    const JsonMember* size = Member(members, "size");
    if (size == nullptr || size->kind != JsonMember::Number || !ParseCount(size->value, l.size)) {
      return bad(number, "no whole \"size\"");
    }
    const JsonMember* category = Member(members, "category");
    const JsonMember* ending = Member(members, "ending");
    if ((category == nullptr) == (ending == nullptr)) return bad(number, "neither a \"category\" nor an \"ending\"");
    if (category != nullptr) {
      for (const TTraceCategory& c : OfferedTraceCategories()) {
        if (c.id == category->value) l.category = &c;
      }
      if (l.category == nullptr) return bad(number, "an unknown category");
    } else {
      l.ending = ending->value;
      if (ending->kind != JsonMember::String || TrimChars(l.ending, " ").empty()) return bad(number, "an empty ending");
    }
    // The identities, all or none: a line without them names a file the
    // scan kept no record of, which is never deleted.
    const bool trash = l.category != nullptr && l.category->scanType == kScanRecycleBin;
    const JsonMember* checks[] = {Member(members, "id"), Member(members, "stamp"),
                                  trash ? nullptr : Member(members, "root_length"),
                                  trash ? nullptr : Member(members, "root_id")};
    const auto given = std::count_if(std::begin(checks), std::end(checks), [](const JsonMember* m) { return m != nullptr; });
    if (given > 0) {
      std::uint64_t id[2], stamp[3], rootId[2] = {0, 0}, rootLength = 0;
      const bool ok = given == (trash ? 2 : 4) && ParseFields(checks[0]->value, id) &&
                      ParseFields(checks[1]->value, stamp) &&
                      (trash || (ParseCount(checks[2]->value, rootLength) && ParseFields(checks[3]->value, rootId)));
      if (!ok) return bad(number, "the file's identity is incomplete or malformed");
      if (!trash && (rootLength == 0 || rootLength >= l.path.size() ||
                     l.path[rootLength - 1] != platform::kPathDelimiter)) {
        return bad(number, "the root is not a folder of the path");
      }
      l.fileId = {id[0], id[1]};
      l.stamp = {stamp[0], stamp[1], stamp[2]};
      l.rootId = {rootId[0], rootId[1]};
      l.rootLength = static_cast<std::size_t>(rootLength);
      // An unknown identity would match any file: such a line is never
      // taken as recorded.
      l.recorded = l.fileId.IsKnown() && l.stamp.IsKnown() && (trash || l.rootId.IsKnown());
    }
    AListed.push_back(std::move(l));
  }
  // A file named twice is deleted once.
  std::vector<bool> again(AListed.size());
  for (std::size_t i = 0; i < AListed.size(); ++i) again[i] = !seen.insert(AListed[i].path).second;
  seen.clear();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < AListed.size(); ++i) {
    if (again[i]) continue;
    if (kept != i) AListed[kept] = std::move(AListed[i]);
    ++kept;
  }
  AListed.resize(kept);
  return kExitDone;
}

std::string_view TCommandLine::Offered(const Listed& AListed) const {
  if (!AListed.recorded) return "not-recorded";
  if (AListed.category == nullptr) {
    return TPGCExtCleaner::MatchExt(AListed.path, AListed.ending) ? "" : "not-offered";
  }
  // A trace category's file only below the folder the category walks now,
  // and only what its walk would offer there.
  const std::string root = AddPathDelimiter(TCategoryRoots().CategoryFolder(AListed.category->scanType));
  const std::string_view path = AListed.path;
  if (root.size() <= 1 || AListed.rootLength != root.size() || path.substr(0, root.size()) != root ||
      !CategoryWouldOffer(AListed.category->scanType, path.substr(root.size()))) {
    return "not-offered";
  }
  return "";
}

int TCommandLine::CleanFromList() {
  std::vector<Listed> listed;
  if (const int read = ReadList(listed); read != kExitDone) return read;
  FScanned = FCleaned = true;
  for (const Listed& l : listed) {
    ++FFiles;
    FBytes += static_cast<std::int64_t>(l.size);
  }
  // As on the page: the Trash first, each item only as it is listed now.
  std::vector<platform::TrashItem> items;
  std::vector<const Listed*> itemLines;
  bool anyTrash = false;
  for (const Listed& l : listed) anyTrash |= l.category != nullptr && l.category->scanType == kScanRecycleBin;
  if (anyTrash) {
    std::unordered_map<std::string, platform::TrashItem> now;
    for (platform::TrashItem& item : platform::ListTrash()) {
      std::string path = item.trashDir + "files/" + item.entryName;
      now.emplace(std::move(path), std::move(item));
    }
    for (const Listed& l : listed) {
      if (l.category == nullptr || l.category->scanType != kScanRecycleBin) continue;
      const auto found = now.find(l.path);
      std::string_view reason;
      if (!l.recorded) {
        reason = "not-recorded";
      } else if (found == now.end()) {
        reason = "not-found";
      } else if (found->second.data.id != l.fileId || found->second.data.stamp != l.stamp) {
        reason = "path-changed";
      } else if (found->second.data.size != l.size) {
        reason = "changed";
      }
      if (!reason.empty()) {
        OutcomeLine(l.path, l.size, reason);
      } else {
        items.push_back(found->second);
        itemLines.push_back(&l);
      }
    }
    const std::vector<platform::TrashOutcome> outcomes = platform::EmptyTrashItems(items);
    for (std::size_t i = 0; i < items.size(); ++i) {
      const platform::TrashOutcome& o = outcomes[i];
      OutcomeLine(itemLines[i]->path, itemLines[i]->size,
                  o.deleted ? "" : o.refusal ? ReasonOf(*o.refusal) : "not-emptied");
    }
  }
  platform::SafeDeleter deleter;
  platform::DeleteTarget target;
  for (const Listed& l : listed) {
    if (l.category != nullptr && l.category->scanType == kScanRecycleBin) continue;
    if (!FOut) return kExitIncomplete;
    if (const std::string_view refused = Offered(l); !refused.empty()) {
      OutcomeLine(l.path, l.size, refused);
      continue;
    }
    // The root resolves as the preview's did and must still be the folder
    // it walked; nothing below it is followed; the file must be the one
    // listed, of the size listed.
    target.path = l.path;
    target.rootLength = l.rootLength;
    target.rootId = l.rootId;
    target.rootFd = -1;
    target.fileId = l.fileId;
    target.fileStamp = l.stamp;
    target.size = l.size;
    const platform::DeleteResult r = deleter.Delete(target);
    OutcomeLine(l.path, l.size, r == platform::DeleteResult::Deleted ? "" : ReasonOf(r));
    Progress();
  }
  Progress(true);
  Summary();
  return FErrors > 0 || FRefused > 0 ? kExitIncomplete : kExitDone;
}

void TCommandLine::FileLine(std::string_view APath, std::uint64_t ASize, std::string_view AKindKey,
                            std::string_view AKind, std::string_view AChecks) {
  ++FFiles;
  FBytes += static_cast<std::int64_t>(ASize);
  if (FRequest.mode == TCommandLineMode::Preview) {
    if (FRequest.json) {
      FOut << "{\"event\":\"file\"," << JsonPath(APath) << ",\"size\":" << ASize << ",\"" << AKindKey
           << "\":\"" << JsonEscape(AKind) << '"' << AChecks << ",\"format\":" << kPreviewListFormat << "}\n";
    } else {
      FOut << ASize << '\t';
      WritePath(APath);
      EndRecord();
    }
  }
  Progress();
}

void TCommandLine::OutcomeLine(std::string_view APath, std::uint64_t ASize, std::string_view AReason) {
  if (AReason.empty()) {
    ++FDeleted;
    FDeletedBytes += static_cast<std::int64_t>(ASize);
  } else {
    ++FRefused;
    FRefusedBytes += static_cast<std::int64_t>(ASize);
  }
  if (FRequest.json) {
    FOut << "{\"event\":\"" << (AReason.empty() ? "deleted" : "refused") << "\"," << JsonPath(APath)
         << ",\"size\":" << ASize;
    if (!AReason.empty()) FOut << ",\"reason\":\"" << AReason << '"';
    FOut << "}\n";
  } else {
    if (AReason.empty()) {
      FOut << "deleted\t";
    } else {
      FOut << "refused\t" << AReason << '\t';
    }
    FOut << ASize << '\t';
    WritePath(APath);
    EndRecord();
  }
  // Each outcome reaches the output before the next file goes, so that a
  // failing output stops the deletions (see Clean) rather than hiding them.
  FOut.flush();
}

void TCommandLine::WritePath(std::string_view APath) {
  if (!FRequest.terminal) {
    WriteBytes(FOut, APath);
    return;
  }
  WriteBytes(FOut, TerminalEscape(APath));
}

void TCommandLine::Error(std::string_view APath, std::string_view AReason, std::string_view AMessage) {
  ++FErrors;
  if (FProgressShown) {
    FErr << "\r\033[K";
    FProgressShown = false;
  }
  FErr << "purgo: ";
  if (!APath.empty()) {
    // The error stream is read by people: a name must not drive their
    // terminal (the JSON event carries the exact bytes).
    WriteBytes(FErr, TerminalEscape(APath));
    FErr << ": ";
  }
  FErr << AMessage << '\n';
  FErr.flush();
  if (FRequest.json) {
    FOut << "{\"event\":\"error\",";
    if (!APath.empty()) FOut << JsonPath(APath) << ',';
    FOut << "\"reason\":\"" << AReason << "\",\"message\":\"" << JsonEscape(AMessage) << "\"}\n";
  }
}

void TCommandLine::FolderError(std::string_view AFolder, bool AOpened, int AErrno) {
  // Whoever reads the summary must not take a partial scan for a whole one.
  const std::string why = std::strerror(AErrno);
  if (AOpened) {
    Error(AFolder, "not-listed", "the folder cannot be listed (" + why + "), passed over");
  } else {
    Error(AFolder, "unreadable", "the folder cannot be opened (" + why + "), passed over");
  }
}

namespace {

// "1 file", "2 files": the summary and the running count are read by
// people, who count in English here.
std::string Counted(std::int64_t ACount, std::string_view AOne, std::string_view AMany) {
  return std::to_string(ACount) + ' ' + std::string(ACount == 1 ? AOne : AMany);
}
std::string Files(std::int64_t ACount) { return Counted(ACount, "file", "files"); }
std::string Bytes(std::int64_t ACount) { return Counted(ACount, "byte", "bytes"); }

}  // namespace

void TCommandLine::Summary() {
  const bool clean = FCleaned;
  if (FRequest.json) {
    FOut << "{\"event\":\"summary\",\"mode\":\"" << (clean ? "clean" : "preview") << "\",\"files\":" << FFiles
         << ",\"bytes\":" << FBytes;
    if (clean) {
      FOut << ",\"deleted\":" << FDeleted << ",\"deleted_bytes\":" << FDeletedBytes << ",\"refused\":" << FRefused
           << ",\"refused_bytes\":" << FRefusedBytes;
    }
    FOut << ",\"errors\":" << FErrors << "}\n";
  } else {
    // NUL-terminated output holds records only, for xargs -0 and the like.
    std::ostream& out = FRequest.nul ? FErr : FOut;
    out << "summary: ";
    if (clean) {
      out << FDeleted << " deleted (" << Bytes(FDeletedBytes) << "), " << FRefused << " refused ("
           << Bytes(FRefusedBytes) << ")";
    } else {
      out << Files(FFiles) << ", " << Bytes(FBytes);
    }
    if (FErrors > 0) out << ", " << Counted(FErrors, "error", "errors");
    out << '\n';
  }
  FOut.flush();
}

void TCommandLine::Progress(bool AFinal) {
  if (!FRequest.progress) return;
  if (AFinal) {
    if (FProgressShown) FErr << "\r\033[K" << std::flush;
    FProgressShown = false;
    return;
  }
  const std::int64_t now = NowMs();
  if (now - FLastProgress < kProgressEveryMs) return;
  FLastProgress = now;
  FProgressShown = true;
  if (FCleaned) {
    // "0 of 1 file": the noun goes with the total.
    FErr << "\rpurgo: cleaning: " << FDeleted + FRefused << " of " << Files(FFiles) << "\033[K" << std::flush;
  } else {
    FErr << "\rpurgo: scanning: " << Files(FFiles) << ", " << Bytes(FBytes) << "\033[K" << std::flush;
  }
}

}  // namespace purgo
