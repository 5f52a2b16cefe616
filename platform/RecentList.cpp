// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RecentList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <pugixml.hpp>
#include <unordered_map>

#include "platform/FileIO.h"
#include "platform/Folders.h"
#include "platform/PosixFiles.h"

namespace purgo::platform {
namespace {

using posix::UniqueFd;

// A list rewritten by another program while ours was being written is read
// and merged again; this many times, then it is left alone.
constexpr int kRewriteAttempts = 5;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Finds the <bookmark> children of the root element by a scan of the bytes
// that knows comments, CDATA, processing instructions, the document type
// and quoted attribute values: the [begin, end) of each, in order, and the
// root's name. False when the bytes do not have the shape of one element
// with matching tags. The XML parser is the judge of well-formedness; this
// only has to agree with it on where each element starts and ends, which
// the caller checks.
bool ScanBookmarks(std::string_view b, std::string_view& root,
                   std::vector<std::pair<std::size_t, std::size_t>>& out) {
  constexpr std::string_view kBookmark = "bookmark";
  std::size_t pos = 0, depth = 0, begin = 0;
  bool rootSeen = false, inBookmark = false;
  const auto skipPast = [&](std::size_t from, std::string_view end) {
    const std::size_t at = b.find(end, from);
    pos = at == std::string_view::npos ? at : at + end.size();
    return at != std::string_view::npos;
  };
  while (pos < b.size()) {
    const std::size_t lt = b.find('<', pos);
    if (lt == std::string_view::npos) break;
    const std::string_view at = b.substr(lt);
    if (at.starts_with("<!--")) {
      if (!skipPast(lt + 4, "-->")) return false;
    } else if (at.starts_with("<![CDATA[")) {
      if (!skipPast(lt + 9, "]]>")) return false;
    } else if (at.starts_with("<?")) {
      if (!skipPast(lt + 2, "?>")) return false;
    } else if (at.starts_with("<!")) {
      // The document type, with an internal subset in brackets.
      if (depth != 0 || rootSeen) return false;
      std::size_t i = lt + 2, brackets = 0;
      char quote = 0;
      for (; i < b.size(); ++i) {
        const char c = b[i];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '[') {
          ++brackets;
        } else if (c == ']') {
          if (brackets == 0) return false;
          --brackets;
        } else if (c == '>' && brackets == 0) {
          break;
        }
      }
      if (i >= b.size()) return false;
      pos = i + 1;
    } else if (at.starts_with("</")) {
      const std::size_t gt = b.find('>', lt);
      if (gt == std::string_view::npos || depth == 0) return false;
      --depth;
      if (depth == 1 && inBookmark) {
        out.emplace_back(begin, gt + 1);
        inBookmark = false;
      }
      pos = gt + 1;
    } else {
      std::size_t i = lt + 1;
      while (i < b.size() && !IsBlank(b[i]) && b[i] != '/' && b[i] != '>') ++i;
      const std::string_view name = b.substr(lt + 1, i - lt - 1);
      if (name.empty()) return false;
      bool selfClosing = false;
      char quote = 0;
      for (; i < b.size(); ++i) {
        const char c = b[i];
        if (quote != 0) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          selfClosing = b[i - 1] == '/';
          break;
        }
      }
      if (i >= b.size()) return false;
      if (depth == 0) {
        if (rootSeen) return false;  // a second root
        rootSeen = true;
        root = name;
      } else if (depth == 1 && name == kBookmark) {
        begin = lt;
        if (selfClosing) {
          out.emplace_back(lt, i + 1);
        } else {
          inBookmark = true;
        }
      }
      if (!selfClosing) ++depth;
      pos = i + 1;
    }
    if (pos == std::string_view::npos) return false;
  }
  return rootSeen && depth == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes undone; a stray "%" stays as it is. The result is bytes: a
// local file's name need not be UTF-8.
std::string PercentDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const int hi = s[i] == '%' && i + 2 < s.size() ? HexValue(s[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(s[i + 2]) : -1;
    if (lo >= 0) {
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// The document's name and where it was, for people to read.
void Describe(std::string_view href, std::string& name, std::string& where) {
  if (href.starts_with("file://")) {
    const std::string_view rest = href.substr(7);
    const std::size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (slash != std::string_view::npos && (host.empty() || host == "localhost")) {
      const std::string path = PercentDecoded(rest.substr(slash));
      const std::size_t last = path.rfind('/');
      name = path.substr(last + 1);
      where = last == 0 ? std::string("/") : path.substr(0, last);
      if (name.empty()) {
        name = path;
        where.clear();
      }
      return;
    }
  }
  const std::string_view body = href.substr(0, href.find_first_of("?#"));
  const std::size_t last = body.rfind('/');
  if (last != std::string_view::npos && last + 1 < body.size()) {
    name = PercentDecoded(body.substr(last + 1));
    where = PercentDecoded(body.substr(0, last));
  } else {
    name = PercentDecoded(href);
    where.clear();
  }
}

// What cleaning cuts for the element [begin, end): its whole line(s) when
// nothing else stands on them, so that no blank line is left behind;
// otherwise the element alone.
RecentEntrySpan SpanOf(std::string_view b, std::size_t begin, std::size_t end) {
  RecentEntrySpan s{begin, end, begin, end};
  std::size_t from = begin;
  while (from > 0 && (b[from - 1] == ' ' || b[from - 1] == '\t')) --from;
  std::size_t to = end;
  while (to < b.size() && (b[to] == ' ' || b[to] == '\t' || b[to] == '\r')) ++to;
  if ((from == 0 || b[from - 1] == '\n') && (to == b.size() || b[to] == '\n')) {
    s.cutBegin = from;
    s.cutEnd = to < b.size() ? to + 1 : to;
  }
  return s;
}

// The list as read once: its folder, the file's status when it was read,
// and its bytes.
struct Snapshot {
  RecentListStatus status = RecentListStatus::Failed;
  UniqueFd dir;
  struct stat st {};
  std::string bytes;
};

void SplitListPath(const std::string& path, std::string& dir, std::string& name) {
  const std::size_t slash = path.rfind('/');
  dir = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

Snapshot ReadSnapshot(const std::string& dir, const std::string& name) {
  Snapshot s;
  if (name.empty() || name == "." || name == "..") return s;
  SettingsAccess access = SettingsAccess::Failed;
  s.dir.Reset(OpenUserFolder(dir, access));
  if (!s.dir.Valid()) {
    s.status = access == SettingsAccess::Missing   ? RecentListStatus::Missing
               : access == SettingsAccess::Refused ? RecentListStatus::OtherOwner
                                                   : RecentListStatus::Failed;
    return s;
  }
  // O_NONBLOCK keeps a FIFO planted at the name from blocking the open.
  UniqueFd fd(::openat(s.dir.Get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (!fd.Valid()) {
    s.status = errno == ENOENT ? RecentListStatus::Missing
               : errno == ELOOP ? RecentListStatus::Link
                                : RecentListStatus::Failed;
    return s;
  }
  if (::fstat(fd.Get(), &s.st) != 0 || !S_ISREG(s.st.st_mode)) return s;
  if (s.st.st_uid != ::geteuid()) {
    s.status = RecentListStatus::OtherOwner;
    return s;
  }
  if (s.st.st_size < 0 || static_cast<std::uint64_t>(s.st.st_size) > kMaxRecentListSize) {
    s.status = RecentListStatus::TooLarge;
    return s;
  }
  try {
    // Read to one byte past the limit: the file may grow meanwhile.
    s.bytes.resize(static_cast<std::size_t>(s.st.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
      if (got == s.bytes.size()) {
        if (got > kMaxRecentListSize) break;
        s.bytes.resize(std::min(kMaxRecentListSize + 1, got + 65536));
      }
      const ssize_t n = ::read(fd.Get(), s.bytes.data() + got, s.bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return s;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got > kMaxRecentListSize) {
      s.bytes.clear();
      s.status = RecentListStatus::TooLarge;
      return s;
    }
    s.bytes.resize(got);
  } catch (const std::bad_alloc&) {
    s.bytes = std::string();
    return s;
  }
  s.status = RecentListStatus::Ok;
  return s;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

std::string RecentListPath() {
  const std::string data = DataHome();
  return data.empty() ? std::string() : data + "recently-used.xbel";
}

bool ParseRecentList(std::string_view bytes, std::vector<RecentEntry>& entries,
                     std::vector<RecentEntrySpan>& spans) {
  entries.clear();
  spans.clear();
  std::string_view root;
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  if (!ScanBookmarks(bytes, root, ranges) || root != "xbel") return false;
  pugi::xml_document doc;
  try {
    if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  const pugi::xml_node xbel = doc.document_element();
  if (std::string_view(xbel.name()) != "xbel") return false;
  std::vector<RecentEntry> found;
  std::vector<RecentEntrySpan> places;
  std::size_t k = 0;
  for (pugi::xml_node child = xbel.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element || std::string_view(child.name()) != "bookmark") continue;
    // The parser and the scan must agree on every element, or the bytes
    // cut would not be the element read.
    if (k >= ranges.size() || child.offset_debug() != static_cast<std::ptrdiff_t>(ranges[k].first) + 1) {
      return false;
    }
    const auto [begin, end] = ranges[k++];
    const std::string_view href = child.attribute("href").value();
    // An entry without an address refers to nothing: it is left alone.
    if (href.empty()) continue;
    RecentEntry e;
    e.href = href;
    e.modified = child.attribute("modified").value();
    e.visited = child.attribute("visited").value();
    Describe(e.href, e.name, e.where);
    places.push_back(SpanOf(bytes, begin, end));
    e.size = places.back().cutEnd - places.back().cutBegin;
    found.push_back(std::move(e));
  }
  if (k != ranges.size()) return false;
  entries = std::move(found);
  spans = std::move(places);
  return true;
}

std::string CutRecentEntries(std::string_view bytes, std::span<const RecentEntrySpan> spans) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  for (const RecentEntrySpan& s : spans) {
    out.append(bytes.substr(pos, s.cutBegin - pos));
    pos = s.cutEnd;
  }
  out.append(bytes.substr(pos));
  return out;
}

RecentList ReadRecentList(const std::string& path) {
  RecentList list;
  list.path = path;
  std::string dir, name;
  SplitListPath(path, dir, name);
  Snapshot s = ReadSnapshot(dir, name);
  list.status = s.status;
  if (s.status != RecentListStatus::Ok) return list;
  std::vector<RecentEntrySpan> spans;
  if (!ParseRecentList(s.bytes, list.entries, spans)) list.status = RecentListStatus::Malformed;
  return list;
}

RecentRemoval RemoveRecentEntries(const std::string& path, std::span<const RecentEntry> asked) {
  RecentRemoval result;
  result.outcomes.assign(asked.size(), RecentOutcome::Refused);
  if (asked.empty()) return result;
  std::string dir, name;
  SplitListPath(path, dir, name);
  for (int attempt = 0; attempt < kRewriteAttempts; ++attempt) {
    Snapshot s = ReadSnapshot(dir, name);
    if (s.status == RecentListStatus::Missing) {
      result.outcomes.assign(asked.size(), RecentOutcome::Gone);
      return result;
    }
    if (s.status != RecentListStatus::Ok) {
      result.status = s.status;
      return result;
    }
    std::vector<RecentEntry> entries;
    std::vector<RecentEntrySpan> spans;
    if (!ParseRecentList(s.bytes, entries, spans)) {
      result.status = RecentListStatus::Malformed;
      return result;
    }
    // Each entry asked for takes the first entry of the list now with the
    // same address and stamps, which no other has taken.
    std::unordered_multimap<std::string_view, std::size_t> byHref;
    for (std::size_t j = 0; j < entries.size(); ++j) byHref.emplace(entries[j].href, j);
    std::vector<bool> cut(entries.size(), false);
    std::vector<RecentOutcome> outcomes(asked.size(), RecentOutcome::Gone);
    for (std::size_t i = 0; i < asked.size(); ++i) {
      const auto [first, last] = byHref.equal_range(asked[i].href);
      std::size_t taken = entries.size();
      for (auto it = first; it != last; ++it) {
        const std::size_t j = it->second;
        if (cut[j]) continue;
        outcomes[i] = RecentOutcome::Changed;
        if (entries[j].modified == asked[i].modified && entries[j].visited == asked[i].visited &&
            j < taken) {
          taken = j;
        }
      }
      if (taken < entries.size()) {
        cut[taken] = true;
        outcomes[i] = RecentOutcome::Removed;
      }
    }
    std::vector<RecentEntrySpan> cuts;
    for (std::size_t j = 0; j < entries.size(); ++j) {
      if (cut[j]) cuts.push_back(spans[j]);
    }
    if (cuts.empty()) {
      result.outcomes = std::move(outcomes);
      return result;
    }
    // The user's own protection holds, as for any file.
    if ((s.st.st_mode & S_IWUSR) == 0) {
      result.status = RecentListStatus::ReadOnly;
      return result;
    }
    const std::string rewritten = CutRecentEntries(s.bytes, cuts);
    const ReplaceOutcome replaced = ReplaceFileAtIf(s.dir.Get(), name, rewritten, [&] {
      struct stat now {};
      return ::fstatat(s.dir.Get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, s.st);
    });
    if (replaced == ReplaceOutcome::Replaced) {
      result.outcomes = std::move(outcomes);
      return result;
    }
    if (replaced == ReplaceOutcome::Failed) {
      result.status = RecentListStatus::Failed;
      return result;
    }
  }
  result.status = RecentListStatus::Busy;
  return result;
}

}  // namespace purgo::platform
