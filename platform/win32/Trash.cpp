// SPDX-License-Identifier: GPL-3.0-or-later
// The Recycle Bin on Windows, through the shell namespace: the bin is one
// "trash directory", named by its shell name, whose items are listed with
// their original names and the files that hold them on each drive
// ($Recycle.Bin\<user>\$R...).
//
// Emptying keeps the promise the Linux Trash keeps: only what the listing
// showed goes. When the bin holds exactly the items listed, it is emptied
// with SHEmptyRecycleBinW, as the shell's own command does; when items
// arrived since, the listed files are deleted one by one with the safe
// deletion instead (each with its $I record), and the new ones stay.
// Folder items then stay too, reported as not emptied.
#include "platform/Trash.h"

#include "platform/win32/WinFiles.h"  // first: it keeps the API macros off the layer's names

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <mutex>

#include "platform/FileSystem.h"
#include "platform/TreeWalker.h"

namespace purgo::platform {
namespace {

constexpr char kRecycleBin[] = "::{645FF040-5081-101B-9F08-00AA002F954E}";

std::mutex& OverrideMutex() {
  static std::mutex m;
  return m;
}
std::optional<std::vector<std::string>>& Override() {
  static std::optional<std::vector<std::string>> dirs;
  return dirs;
}

std::string DisplayNameOf(IShellFolder* folder, PCUITEMID_CHILD child, SHGDNF flags) {
  STRRET ret{};
  if (FAILED(folder->GetDisplayNameOf(child, flags, &ret))) return {};
  wchar_t* text = nullptr;
  if (FAILED(::StrRetToStrW(&ret, child, &text)) || text == nullptr) return {};
  std::string out = win32::Narrow(text);
  ::CoTaskMemFree(text);
  return out;
}

std::uint64_t SizeBelow(const std::string& folder) {
  std::uint64_t total = 0;
  TreeWalker::Walk(folder, kAttrHidden | kAttrSystem | kAttrDirectory, [&](TreeWalker::Entry& e) {
    if (e.IsDirectory()) return TreeWalker::Action::Enter;
    total += e.Data().size;
    return TreeWalker::Action::Continue;
  });
  return total;
}

std::vector<TrashItem> ListBin() {
  std::vector<TrashItem> items;
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellFolder* desktop = nullptr;
  PIDLIST_ABSOLUTE binId = nullptr;
  IShellFolder* bin = nullptr;
  IEnumIDList* list = nullptr;
  if (SUCCEEDED(::SHGetDesktopFolder(&desktop)) &&
      SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &binId)) &&
      SUCCEEDED(desktop->BindToObject(binId, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&bin))) &&
      bin->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list) == S_OK) {
    PITEMID_CHILD child = nullptr;
    while (list->Next(1, &child, nullptr) == S_OK) {
      TrashItem item;
      item.trashDir = kRecycleBin;
      item.entryName = DisplayNameOf(bin, child, SHGDN_FORPARSING);
      item.displayName = DisplayNameOf(bin, child, SHGDN_INFOLDER);
      if (item.displayName.empty()) item.displayName = item.entryName;
      ::CoTaskMemFree(child);
      const std::optional<FileAttributeData> data = GetFileAttributes(item.entryName);
      if (!data) continue;  // not a file of a drive's bin: nothing this code could delete
      item.data = *data;
      if ((item.data.attributes & kAttrDirectory) != 0) item.data.size = SizeBelow(item.entryName);
      items.push_back(std::move(item));
    }
  }
  if (list != nullptr) list->Release();
  if (bin != nullptr) bin->Release();
  if (binId != nullptr) ::CoTaskMemFree(binId);
  if (desktop != nullptr) desktop->Release();
  if (SUCCEEDED(init)) ::CoUninitialize();
  return items;
}

// The bin's record of an item: "$I..." beside its "$R...".
std::string RecordOf(const std::string& entry) {
  std::size_t at = entry.find_last_of("\\/");
  at = at == std::string::npos ? 0 : at + 1;
  if (entry.compare(at, 2, "$R") != 0) return {};
  std::string record = entry;
  record[at + 1] = 'I';
  return record;
}

bool SameItem(const TrashItem& a, const TrashItem& b) {
  return a.entryName == b.entryName && a.data.id == b.data.id;
}

}  // namespace

std::vector<std::string> TrashDirectories() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (Override()) return *Override();
  }
  return {kRecycleBin};
}

void SetTrashDirectoriesOverride(std::optional<std::vector<std::string>> dirs) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  Override() = std::move(dirs);
}

std::vector<std::string> TopDirectoryTrashes(const std::string& /*top*/) { return {}; }

std::vector<TrashItem> ListTrash(const std::vector<std::string>& trashDirs) {
  if (std::find(trashDirs.begin(), trashDirs.end(), kRecycleBin) == trashDirs.end()) return {};
  return ListBin();
}

std::vector<TrashItem> ListTrash() { return ListTrash(TrashDirectories()); }

std::vector<TrashOutcome> EmptyTrashItems(const std::vector<TrashItem>& listed) {
  std::vector<TrashOutcome> outcomes(listed.size());
  std::vector<TrashItem> binItems;
  for (const TrashItem& item : listed) {
    if (item.trashDir == kRecycleBin) binItems.push_back(item);
  }
  if (binItems.empty()) return outcomes;
  const std::vector<TrashItem> now = ListBin();
  const bool exactly = now.size() == binItems.size() &&
                       std::all_of(now.begin(), now.end(), [&](const TrashItem& n) {
                         return std::any_of(binItems.begin(), binItems.end(),
                                            [&](const TrashItem& l) { return SameItem(n, l); });
                       });
  if (exactly) {
    ::SHEmptyRecycleBinW(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
  } else {
    for (std::size_t i = 0; i < listed.size(); ++i) {
      const TrashItem& item = listed[i];
      if (item.trashDir != kRecycleBin || (item.data.attributes & kAttrDirectory) != 0) continue;
      DeleteTarget t;
      t.path = item.entryName;
      t.rootLength = item.entryName.find_last_of("\\/") + 1;
      t.fileId = item.data.id;
      t.fileStamp = item.data.stamp;
      DeleteOptions options;
      options.allowReadOnly = true;
      const DeleteResult r = DeleteFileSafely(t, options);
      if (r != DeleteResult::Deleted) {
        outcomes[i].refusal = r;
      } else if (const std::string record = RecordOf(item.entryName); !record.empty()) {
        DeleteFile(record);
      }
    }
  }
  // What went is what is no longer there.
  const std::vector<TrashItem> after = ListBin();
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (listed[i].trashDir != kRecycleBin || outcomes[i].refusal) continue;
    outcomes[i].deleted = std::none_of(after.begin(), after.end(),
                                       [&](const TrashItem& a) { return SameItem(a, listed[i]); });
  }
  return outcomes;
}

std::optional<std::string> ParseTrashInfo(std::string_view /*content*/) {
  return std::nullopt;  // the bin's records are the shell's, read through it
}

}  // namespace purgo::platform
