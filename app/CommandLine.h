// SPDX-License-Identifier: GPL-3.0-or-later
// The scripted front end: lists the trace categories, previews what a scan
// finds and cleans it, without a window, through the same cleaners and the
// same safe deletion as the pages.
//
// Output, one line per event on the output stream:
//   text   preview   <size>\t<path>
//                    entry\t<size>\t<address>   (an entry of the recently-used list)
//          clean     deleted\t<size>\t<path>
//                    removed\t<size>\t<address>
//                    refused\t<reason>\t<size>\t<path or address>
//          list      <id>\t<name>
//          a last "summary: ..." line (not for list)
//          each line ends in a newline, or in a NUL byte with `nul` (the
//          summary then goes to the error stream, so that the output holds
//          records only)
//   JSON   one object per line with an "event" member: "category", "file",
//          "entry", "deleted", "removed", "refused", "error" and a last
//          "summary".
// An entry of the recently-used list is a reference, not a file: its line
// names the document's address, never a path to delete, and cleaning it
// takes it out of the list.
// The path is always the last field of a text line, written as the file
// system's bytes (control characters escaped when the output is a
// terminal). A JSON path that is not valid UTF-8 is written lossily
// in "path" (each bad byte as U+FFFD) with its exact bytes, base64, in
// "path_bytes"; "path_bytes" is absent when "path" is exact.
//
// A preview's JSON file lines also carry what the deletion checks (the
// walk's root and its identity, the file's identity and stamp) and
// "format"; a cleaning pass given such a list (`fromList`) deletes the
// files of the list and no others, each only while it is still the file
// the preview saw.
//
// Errors (a folder that does not exist or cannot be read) go to the error
// stream as "purgo: ..." and, with JSON, to the output stream as an
// "error" event. Progress goes to the error stream only when asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PurgoCore.h"
#include "engine/ScanFolders.h"
#include "platform/FileDelete.h"
#include "platform/RecentList.h"
#include "platform/Trash.h"

namespace purgo {

class TPGCAppOptions;

// Exit statuses of the program's command line.
inline constexpr int kExitDone = 0;        // everything asked was done
inline constexpr int kExitIncomplete = 1;  // something refused, missing or unreadable
inline constexpr int kExitUsage = 2;       // the request itself is wrong

enum class TCommandLineMode { List, Preview, Clean };

struct TCommandLineRequest {
  TCommandLineMode mode = TCommandLineMode::Preview;
  // Category ids (see OfferedTraceCategories); empty: the categories ticked
  // in the settings.
  std::vector<std::string> categories;
  // Folders for the file-type cleaner instead of the trace categories, as
  // bytes.
  std::vector<std::string> folders;
  // Name endings for the folders; empty: the endings ticked in the
  // settings.
  std::vector<std::string> endings;
  bool subfolders = true;
  bool json = false;
  // Text records end in a NUL byte instead of a newline.
  bool nul = false;
  // Clean: the files of this preview list (JSON lines, as --preview
  // --json writes them; "-" for the input stream) instead of a scan.
  std::string fromList;
  // A running count on the error stream (when it is a terminal).
  bool progress = false;
  // The output stream is a terminal: text lines show control characters
  // in names escaped, so that a name cannot move the cursor or clear what
  // was printed before it. Files and pipes get the exact bytes.
  bool terminal = false;
};

// The version of the preview lines a cleaning pass reads back.
inline constexpr int kPreviewListFormat = 1;
// What a cleaning pass reads of a list at most: a list longer than that,
// or with a longer line, is refused whole.
inline constexpr std::size_t kMaxListBytes = std::size_t{1} << 30;
inline constexpr std::size_t kMaxListLineBytes = std::size_t{16} << 20;

// JSON string contents for `bytes`: quotes, backslashes and control
// characters escaped, each byte that starts no well-formed UTF-8 sequence
// written as U+FFFD. `exact` tells whether that lost nothing.
std::string JsonEscape(std::string_view bytes, bool* exact = nullptr);
std::string Base64(std::string_view bytes);
// `bytes` as a terminal may show it: C0 and C1 control characters, DEL,
// bytes that start no well-formed UTF-8 sequence and the backslash
// written as C escapes ("\n", "\033", "\\"), as `ls -b` does.
std::string TerminalEscape(std::string_view bytes);

// One run of the front end. Run() does everything; Scan() and Clean() are
// its two halves, for callers that act in between. The settings object is
// only read (and may be null: nothing ticked, no endings); nothing here
// writes a settings file.
class TCommandLine {
 public:
  TCommandLine(TCommandLineRequest ARequest, const TPGCAppOptions* AOptions, std::ostream& AOut,
               std::ostream& AErr);
  ~TCommandLine();
  TCommandLine(const TCommandLine&) = delete;
  TCommandLine& operator=(const TCommandLine&) = delete;

  // The exit status of the whole request.
  int Run();
  // Lists the categories; kExitDone.
  int List();
  // Finds and prints every file; ends with the summary when the mode is
  // Preview. kExitUsage for an unknown category id (nothing scanned),
  // kExitIncomplete when a folder was missing or unreadable.
  int Scan();
  // Deletes what Scan found, each file only where the scan found it, and
  // prints the outcome of each and the summary. kExitIncomplete when
  // anything stayed or Scan reported an error.
  int Clean();
  // Deletes the files of the request's list, each only where and as the
  // preview found it. kExitUsage, with nothing deleted, when the list
  // holds a line that is not a preview line of this version;
  // kExitIncomplete when it cannot be read whole or anything stayed.
  int CleanFromList();

 private:
  // What a cleaning pass keeps of each file found, to delete it after the
  // scan: its folder in one of the scans' folder trees, its name and what
  // the deletion checks, in a compact record (see CommandLine.cpp). A
  // preview keeps nothing: each line is written as the file is found.
  class TFoundList;
  struct Found;
  // The full path of a file found; valid until the next call.
  std::string_view PathOf(const Found& AFound) const;

  bool ResolveCategories(TPGCScanTypes& ASet);
  void ScanTraces(TPGCScanTypes ASet);
  void ScanTrash();
  void ScanRecentList();
  void CleanRecentList();
  void EntryLine(const platform::RecentEntry& AEntry, std::string_view AOutcome, std::string_view AReason);
  void ScanFolders();
  void CleanTrash();
  struct Listed;
  // kExitDone, or the status of a list refused whole.
  int ReadList(std::vector<Listed>& AListed);
  std::string_view Offered(const Listed& AListed) const;

  void WritePath(std::string_view APath);
  // AChecks: the members a preview list line carries for the deletion.
  void FileLine(std::string_view APath, std::uint64_t ASize, std::string_view AKindKey,
                std::string_view AKind, std::string_view AChecks = {});
  // Whether file lines carry what the deletion checks: a JSON preview.
  bool ListsChecks() const { return FRequest.json && FRequest.mode == TCommandLineMode::Preview; }
  void OutcomeLine(std::string_view APath, std::uint64_t ASize, std::string_view AReason);
  void Error(std::string_view APath, std::string_view AReason, std::string_view AMessage);
  // A folder a walk could not open or list (see TPGCScanErrorEvent).
  void FolderError(std::string_view AFolder, bool AOpened, int AErrno);
  void Summary();
  // The end of a text record.
  void EndRecord() { FOut.put(FRequest.nul ? '\0' : '\n'); }
  void Progress(bool AFinal = false);

  TCommandLineRequest FRequest;
  const TPGCAppOptions* FOptions;
  std::ostream& FOut;
  std::ostream& FErr;

  // Whether found files are kept for a cleaning pass after the scan.
  bool KeepsFound() const { return FRequest.mode == TCommandLineMode::Clean; }

  std::vector<std::shared_ptr<const TScanFolders>> FTrees;
  std::unique_ptr<TFoundList> FFound;
  std::vector<platform::TrashItem> FTrash;
  platform::RecentList FRecent;
  bool FScanned = false;
  bool FCleaned = false;
  std::int64_t FFiles = 0, FBytes = 0;
  std::int64_t FDeleted = 0, FDeletedBytes = 0;
  std::int64_t FRefused = 0, FRefusedBytes = 0;
  std::int64_t FErrors = 0;
  std::int64_t FLastProgress = 0;  // steady clock, milliseconds
  bool FProgressShown = false;
};

}  // namespace purgo
