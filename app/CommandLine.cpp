#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "app/AppOptions.h"
#include "app/TraceCategories.h"
#include "engine/AppUtils.h"
#include "i18n/AppMultiLangs.h"
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

}  // namespace

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
    : FRequest(std::move(ARequest)), FOptions(AOptions), FOut(AOut), FErr(AErr) {}

TCommandLine::~TCommandLine() = default;

int TCommandLine::Run() {
  switch (FRequest.mode) {
    case TCommandLineMode::List: return List();
    case TCommandLineMode::Preview: return Scan();
    case TCommandLineMode::Clean: {
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
      FOut << c.id << '\t' << name << (on ? "\tticked" : "") << '\n';
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
    // Each scan makes a new tree of its folders; the last one kept is the
    // current one until then.
    const std::shared_ptr<const TScanFolders> folders = cleaner.ScanFolders();
    if (FTrees.empty() || FTrees.back() != folders) FTrees.push_back(folders);
    const auto tree = static_cast<std::uint32_t>(FTrees.size() - 1);
    // A file without the scan's record of where it was is shown but never
    // deleted by its path.
    if (const TPGCAppCleaner::TReportedFile* f = cleaner.ReportedFile()) {
      FFound.push_back({tree, f->folder, std::string(f->name), f->fileId, f->fileStamp,
                        cleaner.ReportedFileSize(), true});
    } else {
      FFound.push_back({tree, TScanFolders::kNoFolder, AFileName, {}, {},
                        cleaner.ReportedFileSize(), false});
    }
    FileLine(AFileName, FFound.back().size, "category", IdOf(AScanType));
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
    FileLine(item.trashDir + "files/" + item.entryName, item.data.size, "category", "trash");
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
  // The cleaner's folders, copied into a tree of ours as files turn up in
  // them (the cleaner and its items end with this call).
  auto folders = std::make_shared<TScanFolders>();
  FTrees.push_back(folders);
  const auto tree = static_cast<std::uint32_t>(FTrees.size() - 1);
  std::unordered_map<const TPGCExtCleanerScanPathItem*, TScanFolders::Folder> copied;
  std::vector<const TPGCExtCleanerScanPathItem*> pending;
  const auto folderOf = [&](const TPGCExtCleanerScanPathItem* AItem) {
    pending.clear();
    auto known = copied.end();
    for (const TPGCExtCleanerScanPathItem* p = AItem; p != nullptr; p = p->Parent()) {
      known = copied.find(p);
      if (known != copied.end()) break;
      pending.push_back(p);
    }
    TScanFolders::Folder folder = known != copied.end() ? known->second : TScanFolders::kNoFolder;
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      const TPGCExtCleanerScanPathItem* p = *it;
      folder = p->Parent() == nullptr ? folders->AddRoot(p->Name(), p->RootId())
                                      : folders->AddFolder(folder, p->Name());
      copied.emplace(p, folder);
    }
    return folder;
  };
  cleaner.SetOnScanning([&](TPGCExtCleanerScanFileItem* AItem) {
    const TScanFolders::Folder folder =
        AItem->PathItem() != nullptr ? folderOf(AItem->PathItem()) : TScanFolders::kNoFolder;
    const bool recorded = folder != TScanFolders::kNoFolder && AItem->FileId().IsKnown();
    FFound.push_back({tree, folder, AItem->FileName(), AItem->FileId(), AItem->FileStamp(),
                      AItem->FileSize(), recorded});
    FileLine(PathOf(FFound.back()), AItem->FileSize(), "ending", AItem->Ext());
  });
  cleaner.DoScan(kScanOtherFiles);
}

const std::string& TCommandLine::PathOf(const Found& AFound) const {
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
  for (const Found& f : FFound) {
    if (!f.recorded) {
      OutcomeLine(PathOf(f), f.size, "not-recorded");
    } else {
      FTrees[f.tree]->Target(f.folder, f.name, f.fileId, f.fileStamp, target);
      const platform::DeleteResult r = deleter.Delete(target);
      OutcomeLine(target.path, f.size, r == platform::DeleteResult::Deleted ? "" : ReasonOf(r));
    }
    Progress();
  }
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
    FOut << '\n';
  }
  Progress();
}

void TCommandLine::FileLine(std::string_view APath, std::uint64_t ASize, std::string_view AKindKey,
                            std::string_view AKind) {
  ++FFiles;
  FBytes += static_cast<std::int64_t>(ASize);
  if (FRequest.mode == TCommandLineMode::Preview) {
    if (FRequest.json) {
      FOut << "{\"event\":\"file\"," << JsonPath(APath) << ",\"size\":" << ASize << ",\"" << AKindKey
           << "\":\"" << JsonEscape(AKind) << "\"}\n";
    } else {
      FOut << ASize << '\t';
      WritePath(APath);
      FOut << '\n';
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
    FOut << '\n';
  }
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
    FOut << "summary: ";
    if (clean) {
      FOut << FDeleted << " deleted (" << Bytes(FDeletedBytes) << "), " << FRefused << " refused ("
           << Bytes(FRefusedBytes) << ")";
    } else {
      FOut << Files(FFiles) << ", " << Bytes(FBytes);
    }
    if (FErrors > 0) FOut << ", " << Counted(FErrors, "error", "errors");
    FOut << '\n';
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
