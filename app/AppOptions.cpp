// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppOptions.h"

#include <iterator>
#include <new>
#include <optional>

#include "app/SettingsText.h"
#include "platform/FileIO.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Mounts.h"
#include "platform/XmlDom.h"

namespace purgo {
namespace {

using platform::XmlNode;

constexpr char kOptionsFileName[] = "PGOOptions.xml";

// Slots of the list records.
constexpr int kText = 0;
constexpr int kDirIncludeSub = 0;
constexpr int kDirChecked = 1;
constexpr int kExtChecked = 0;
constexpr int kExtDefault = 1;

struct DefaultExt {
  const char* Text;
  bool Checked;
};

// The first twelve are ticked (and default); the rest are offered unticked.
constexpr DefaultExt kDefaultExts[] = {
    {".@@@", true},         {".---", true},        {".$db", true},     {".$$$", true},
    {".?$?", true},         {".??$", true},        {".??~", true},     {".?~?", true},
    {".^", true},           {".___", true},        {".temp", true},    {".tmp", true},
    {"._dd", false},        {"._detmp", false},    {"._mp", false},    {".~*", false},
    {".aps", false},        {".bak", false},       {".chk", false},    {".db$", false},
    {".diz", false},        {".dmp", false},       {".err", false},    {".ftg", false},
    {".fts", false},        {".fnd", false},       {".gid", false},    {".ilk", false},
    {".log", false},        {".log?", false},      {".ncb", false},    {".nch", false},
    {".old", false},        {".pch", false},       {".prv", false},    {".sik", false},
    {".syd", false},        {".wbk", false},       {"log.txt", false}, {"imagedb.aid", false},
    {"mscreate.dir", false}, {"thumbs.db", false},
};
static_assert(std::size(kDefaultExts) == 42);

// The system volume, whose entry the default list ticks: on Windows the
// drive of the Windows folder, here the volume holding the root folder,
// whose name is the root itself.
std::string SystemVolumeName() { return platform::SystemVolumeName(); }

std::string BoolText(bool AValue) { return AValue ? "-1" : "0"; }

std::string Int32Text(std::uint32_t AValue) {
  return std::to_string(static_cast<std::int32_t>(AValue));
}

// Folder names and patterns are bytes, but the file is UTF-16: a text that
// is not valid UTF-8 is stored with U+FFFD in place of the bad bytes
// (platform/XmlDom.h), and would come back as another name. Such a text
// keeps its exact bytes, in hexadecimal, in this attribute of its element.
// Valid texts are written without it, as they always were; a reader that
// knows nothing of it still gets the U+FFFD text.
constexpr char kBytesAttribute[] = "Bytes";

std::string HexOf(std::string_view ABytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(ABytes.size() * 2);
  for (const char c : ABytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

std::optional<std::string> BytesOfHex(std::string_view AHex) {
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (AHex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < AHex.size(); i += 2) {
    const int hi = digit(AHex[i]), lo = digit(AHex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi << 4 | lo));
  }
  return out;
}

// Appends the child element `AName` holding `AText`, with the exact bytes
// when the text cannot be stored as it is.
void AppendText(XmlNode AItem, const char* AName, const std::string& AText) {
  XmlNode child = AItem.AppendElement(AName);
  child.SetText(AText);
  if (platform::XmlStorableText(AText) != AText) child.SetAttribute(kBytesAttribute, HexOf(AText));
}

// Reading stops at an element where a text belongs; the file is then
// treated as malformed from that point on.
struct MalformedOptions {};

// The text of the first child element `AName`: none when there is no such
// child.
std::optional<std::string> ChildText(XmlNode AItem, const char* AName) {
  XmlNode child = AItem.ChildElement(AName);
  if (!child) return std::nullopt;
  std::optional<std::string> text = child.Text();
  if (!text) throw MalformedOptions{};
  // The bytes count only where the text could not hold them, and only when
  // they are what the text stands for: a text edited by hand since wins.
  if (const std::optional<std::string> hex = child.Attribute(kBytesAttribute)) {
    std::optional<std::string> bytes = BytesOfHex(*hex);
    if (bytes) {
      const std::string stored = platform::XmlStorableText(*bytes);
      if (stored != *bytes && stored == *text) return bytes;
    }
  }
  return text;
}

// Overwrites AFlag when the child is there and holds a Boolean.
void ReadFlag(XmlNode AItem, const char* AName, bool& AFlag) {
  if (std::optional<std::string> text = ChildText(AItem, AName)) TryParseBool(*text, AFlag);
}

// The entries of a list element: the item elements whose name matches
// (letter case ignored), in document order.
template <typename Visit>
void ForEachItem(XmlNode AList, const char* AItemName, Visit AVisit) {
  for (XmlNode n = AList.FirstChild(); n; n = n.NextSibling()) {
    if (n.IsElement() && SameTextCompare(n.Name(), AItemName) == 0) AVisit(n);
  }
}

}  // namespace

TPGCAppOptions::TPGCAppOptions(const std::string& ADataPath, TQelVolumeInfos* AVolumeInfos,
                               unsigned AFolderMode)
    : FDirList(std::make_unique<TQelVarList>(1, 2, 0, 0, 0, 0, 0, false)),
      FExtList(std::make_unique<TQelVarList>(1, 2, 0, 0, 0, 0, 0, false)),
      FDataPath(AddPathDelimiter(ADataPath)),
      FFolderMode(AFolderMode),
      FVolumeInfos(AVolumeInfos) {
  LoadDefaultExts();
  LoadDefaultDirs();
}

TPGCAppOptions::~TPGCAppOptions() = default;

std::string TPGCAppOptions::OptionsFile() const {
  // Never a name relative to whatever the working folder happens to be.
  return FDataPath.empty() ? std::string() : FDataPath + kOptionsFileName;
}

TQelVolumeInfos& TPGCAppOptions::Volumes() {
  if (FVolumeInfos != nullptr) {
    FVolumeInfos->Refresh();
    return *FVolumeInfos;
  }
  // A list made now has just read the mount table; only a kept one needs
  // reading again.
  if (!FOwnVolumeInfos) {
    FOwnVolumeInfos = std::make_unique<TQelVolumeInfos>();
  } else {
    FOwnVolumeInfos->Refresh();
  }
  return *FOwnVolumeInfos;
}

void TPGCAppOptions::LoadDefaultExts() {
  ClearExts();
  for (const DefaultExt& e : kDefaultExts) AddExt(e.Text, e.Checked, e.Checked);
}

void TPGCAppOptions::LoadDefaultDirs() {
  ClearDirs();
  // What a user may delete lives in the home folder; a first scan of "/"
  // would walk the whole system and offer nothing more. Only a user with
  // no home folder at all gets the volumes, the system's ticked.
  if (const std::string home = platform::HomeDirectory(); !home.empty()) {
    AddDir(home, true, true);
    return;
  }
  const TQelVolumeInfos& volumes = Volumes();
  const std::string system = SystemVolumeName();
  for (int i = 0; i < volumes.Count(); ++i) {
    const TQelVolumeInfo* v = volumes.Volumes(i);
    if (v->DriveType() != platform::DRIVE_REMOVABLE && v->DriveType() != platform::DRIVE_FIXED) {
      continue;
    }
    AddDir(AddPathDelimiter(v->VolumeName()), true, SamePathCompare(v->VolumeName(), system) == 0);
  }
}

bool TPGCAppOptions::LoadFromXML() {
  const std::string file = OptionsFile();
  if (file.empty()) return false;
  std::string bytes;
  if (platform::ReadSettingsFile(file, bytes) != platform::ReadStatus::Ok) return false;
  return LoadFromXMLBytes(bytes);
}

bool TPGCAppOptions::LoadFromXMLBytes(std::string_view ABytes) {
  platform::XmlDocument doc;
  return doc.LoadFromBytes(ABytes) && ReadDocument(doc);
}

bool TPGCAppOptions::ReadDocument(const platform::XmlDocument& ADoc) {
  XmlNode root = ADoc.DocumentElement();
  if (!root || !root.HasChildNodes()) return false;
  XmlNode cleaner = root.ChildElement("FilesCleaner");
  if (!cleaner || !cleaner.HasChildNodes()) return true;
  bool complete = true;
  try {
    std::int32_t number = 0;
    auto readInt = [&](const char* AName, auto ASet) {
      const std::optional<std::string> text = cleaner.Attribute(AName);
      if (text && !text->empty() && TryParseInt32(*text, number)) ASet(number);
    };
    readInt("ScanTypes", [this](std::int32_t v) { FAppScanTypes = static_cast<TPGCScanTypes>(v); });
    readInt("IgnoreInDays", [this](std::int32_t v) { FIgnoreInDays = v; });
    readInt("IgnoreOutDays", [this](std::int32_t v) { FIgnoreOutDays = v; });
    readInt("FileAttribute", [this](std::int32_t v) { FFileAttribute = static_cast<std::uint32_t>(v); });

    // Anything but a readable number means "never cleaned".
    std::int64_t time = 0;
    XmlNode lastClean = cleaner.ChildElement("LastCleanTime");
    const std::optional<std::string> timeText = lastClean ? lastClean.Text() : std::nullopt;
    if (!timeText || !TryParseInt64(*timeText, time)) time = 0;
    FLastCleanTime = TFileTime::FromValue(static_cast<std::uint64_t>(time));

    XmlNode exts = cleaner.ChildElement("FileTypesExt");
    if (exts && exts.HasChildNodes()) {
      ClearExts();
      ForEachItem(exts, "ExtItem", [this](XmlNode AItem) {
        const std::string text = ChildText(AItem, "FileTypesExt_Text").value_or("");
        if (text.empty()) return;
        bool checked = false, isDefault = false;
        ReadFlag(AItem, "FileTypesExt_Check", checked);
        ReadFlag(AItem, "FileTypesExt_Default", isDefault);
        AddExt(text, checked, isDefault);
      });
    } else {
      LoadDefaultExts();
    }

    XmlNode dirs = cleaner.ChildElement("FileTypesDir");
    if (dirs && dirs.HasChildNodes()) {
      ClearDirs();
      ForEachItem(dirs, "DirItem", [this](XmlNode AItem) {
        const std::string text = ChildText(AItem, "FileTypesDir_Text").value_or("");
        if (text.empty()) return;
        bool includeSub = true, checked = false;
        ReadFlag(AItem, "FileTypesDir_IncludeSub", includeSub);
        ReadFlag(AItem, "FileTypesDir_Check", checked);
        AddDir(text, includeSub, checked);
      });
    } else {
      LoadDefaultDirs();
    }
  } catch (const MalformedOptions&) {
    complete = false;
  } catch (const std::bad_alloc&) {
    complete = false;
  }
  // A list that the load left empty (every item dropped, or the load
  // stopped before the first one) gets its defaults back: an empty list is
  // nothing the file can hold, and nothing of it could be read.
  if (ExtListCount() == 0) LoadDefaultExts();
  if (DirListCount() == 0) LoadDefaultDirs();
  return complete;
}

std::string TPGCAppOptions::SaveToXMLBytes() const {
  platform::XmlDocument doc;
  XmlNode cleaner = doc.CreateDocumentElement("Options").AppendElement("FilesCleaner");
  cleaner.SetAttribute("ScanTypes", Int32Text(FAppScanTypes));
  cleaner.SetAttribute("IgnoreInDays", std::to_string(FIgnoreInDays));
  cleaner.SetAttribute("IgnoreOutDays", std::to_string(FIgnoreOutDays));
  cleaner.SetAttribute("FileAttribute", Int32Text(FFileAttribute));
  cleaner.AppendElement("LastCleanTime")
      .SetText(std::to_string(static_cast<std::int64_t>(FLastCleanTime.Value())));

  XmlNode exts = cleaner.AppendElement("FileTypesExt");
  for (int i = 0; i < ExtListCount(); ++i) {
    XmlNode item = exts.AppendElement("ExtItem");
    AppendText(item, "FileTypesExt_Text", ExtText(i));
    item.AppendElement("FileTypesExt_Check").SetText(BoolText(ExtChecked(i)));
    item.AppendElement("FileTypesExt_Default").SetText(BoolText(ExtDefault(i)));
  }
  XmlNode dirs = cleaner.AppendElement("FileTypesDir");
  for (int i = 0; i < DirListCount(); ++i) {
    XmlNode item = dirs.AppendElement("DirItem");
    AppendText(item, "FileTypesDir_Text", DirText(i));
    item.AppendElement("FileTypesDir_Check").SetText(BoolText(DirChecked(i)));
    item.AppendElement("FileTypesDir_IncludeSub").SetText(BoolText(DirIncludeSub(i)));
  }
  return doc.SaveToBytes();
}

bool TPGCAppOptions::SaveToXML(std::string* AError) const {
  const std::string file = OptionsFile();
  if (file.empty()) {
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(file);
    return false;
  }
  std::string bytes;
  try {
    bytes = SaveToXMLBytes();
  } catch (const std::bad_alloc&) {
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(file);
    return false;
  }
  return platform::WriteSettingsFile(file, bytes, /*createFolder=*/true, FFolderMode, AError);
}

int TPGCAppOptions::AddDir(const std::string& ADir, bool AIncludeSub, bool AChecked) {
  TQelVarListItem& item = FDirList->Add();
  item.SetStrings(kText, ADir);
  item.SetBooleans(kDirIncludeSub, AIncludeSub);
  item.SetBooleans(kDirChecked, AChecked);
  return FDirList->Count() - 1;
}

int TPGCAppOptions::AddExt(const std::string& AExt, bool AChecked, bool ADefault) {
  TQelVarListItem& item = FExtList->Add();
  item.SetStrings(kText, AExt);
  item.SetBooleans(kExtChecked, AChecked);
  item.SetBooleans(kExtDefault, ADefault);
  return FExtList->Count() - 1;
}

void TPGCAppOptions::ClearDirs() { FDirList->Clear(); }
void TPGCAppOptions::ClearExts() { FExtList->Clear(); }

// TQelVarList::Items appends a record for an index past the end, so every
// accessor checks the range itself first.
namespace {
bool InRange(const TQelVarList& AList, int AIndex) { return AIndex >= 0 && AIndex < AList.Count(); }
}  // namespace

std::string TPGCAppOptions::DirText(int AIndex) const {
  return InRange(*FDirList, AIndex) ? FDirList->Items(AIndex).Strings(kText) : std::string();
}

bool TPGCAppOptions::DirIncludeSub(int AIndex) const {
  return InRange(*FDirList, AIndex) && FDirList->Items(AIndex).Booleans(kDirIncludeSub);
}

void TPGCAppOptions::SetDirIncludeSub(int AIndex, bool AValue) {
  if (InRange(*FDirList, AIndex)) FDirList->Items(AIndex).SetBooleans(kDirIncludeSub, AValue);
}

bool TPGCAppOptions::DirChecked(int AIndex) const {
  return InRange(*FDirList, AIndex) && FDirList->Items(AIndex).Booleans(kDirChecked);
}

void TPGCAppOptions::SetDirChecked(int AIndex, bool AValue) {
  if (InRange(*FDirList, AIndex)) FDirList->Items(AIndex).SetBooleans(kDirChecked, AValue);
}

std::string TPGCAppOptions::ExtText(int AIndex) const {
  return InRange(*FExtList, AIndex) ? FExtList->Items(AIndex).Strings(kText) : std::string();
}

bool TPGCAppOptions::ExtChecked(int AIndex) const {
  return InRange(*FExtList, AIndex) && FExtList->Items(AIndex).Booleans(kExtChecked);
}

void TPGCAppOptions::SetExtChecked(int AIndex, bool AValue) {
  if (InRange(*FExtList, AIndex)) FExtList->Items(AIndex).SetBooleans(kExtChecked, AValue);
}

bool TPGCAppOptions::ExtDefault(int AIndex) const {
  return InRange(*FExtList, AIndex) && FExtList->Items(AIndex).Booleans(kExtDefault);
}

}  // namespace purgo
