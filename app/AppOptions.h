// SPDX-License-Identifier: GPL-3.0-or-later
// The user's cleaning rules and remembered choices, kept in the XML file
// "PGOOptions.xml" in the data folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/AppUtils.h"
#include "engine/PurgoCore.h"
#include "engine/QSList.h"
#include "engine/VolumeInfos.h"

namespace purgo {

namespace platform {
class XmlDocument;
}

class TPGCAppOptions {
 public:
  // Defaults: no categories ticked, no age limits, attribute filter 31, the
  // built-in extension list and the user's home folder with its
  // sub-folders, ticked (one directory per fixed or removable volume,
  // the system's ticked, for a user without a home folder). `ADataPath` is the folder of the options file (the
  // configuration's DataPath). `AVolumeInfos` is the process's volume list,
  // which the caller keeps alive as long as this object; without one, a
  // list of this object's own is made when the defaults first need it.
  // `AFolderMode` is the mode of the data folder and its parents when a
  // save has to make them. An empty `ADataPath` means there is nowhere to
  // keep the file: nothing is read and every save fails.
  explicit TPGCAppOptions(const std::string& ADataPath, TQelVolumeInfos* AVolumeInfos = nullptr,
                          unsigned AFolderMode = 0777);
  ~TPGCAppOptions();
  TPGCAppOptions(const TPGCAppOptions&) = delete;
  TPGCAppOptions& operator=(const TPGCAppOptions&) = delete;

  // Full path of the options file; empty when there is no data folder.
  std::string OptionsFile() const;

  // Reads the options file. False when it is missing, malformed, or has an
  // element where a text belongs; what was read before such an element
  // stays, everything else keeps its value. Items with an empty text are
  // dropped; an extension or directory list that is missing, empty, or
  // left without a single item restores that list's defaults. A file that
  // is a link or another user's, or lies in such a folder, is not read
  // (platform/FileIO.h): it counts as missing.
  bool LoadFromXML();
  // Writes the whole file, creating the data folder if needed; neither
  // is ever reached through a link. Folder and extension texts read back
  // byte for byte, also those that are not UTF-8; valid texts are written
  // as plain text. False, with the old file intact and `AError` set to
  // "Unable to write to <file>", when the folder or the file cannot be
  // written or is not this user's to write.
  bool SaveToXML(std::string* AError = nullptr) const;

  // The same rules on a document held in memory: LoadFromXMLBytes reads
  // the bytes of an options file, SaveToXMLBytes gives the bytes that
  // SaveToXML writes.
  bool LoadFromXMLBytes(std::string_view ABytes);
  std::string SaveToXMLBytes() const;

  void LoadDefaultExts();
  void LoadDefaultDirs();

  TFileTime LastCleanTime() const { return FLastCleanTime; }
  void SetLastCleanTime(TFileTime AValue) { FLastCleanTime = AValue; }
  TPGCScanTypes AppScanTypes() const { return FAppScanTypes; }
  void SetAppScanTypes(TPGCScanTypes AValue) { FAppScanTypes = AValue; }
  std::int32_t IgnoreInDays() const { return FIgnoreInDays; }
  void SetIgnoreInDays(std::int32_t AValue) { FIgnoreInDays = AValue; }
  std::int32_t IgnoreOutDays() const { return FIgnoreOutDays; }
  void SetIgnoreOutDays(std::int32_t AValue) { FIgnoreOutDays = AValue; }
  std::uint32_t FileAttribute() const { return FFileAttribute; }
  void SetFileAttribute(std::uint32_t AValue) { FFileAttribute = AValue; }

  int DirListCount() const { return FDirList->Count(); }
  int ExtListCount() const { return FExtList->Count(); }

  // Append an entry (texts exactly as given, duplicates allowed) and
  // return its index.
  int AddDir(const std::string& ADir, bool AIncludeSub, bool AChecked);
  int AddExt(const std::string& AExt, bool AChecked, bool ADefault);
  void ClearDirs();
  void ClearExts();

  // Indexed access. An index outside the list reads "" or false and
  // writes nothing.
  std::string DirText(int AIndex) const;
  bool DirIncludeSub(int AIndex) const;
  void SetDirIncludeSub(int AIndex, bool AValue);
  bool DirChecked(int AIndex) const;
  void SetDirChecked(int AIndex, bool AValue);
  std::string ExtText(int AIndex) const;
  bool ExtChecked(int AIndex) const;
  void SetExtChecked(int AIndex, bool AValue);
  bool ExtDefault(int AIndex) const;

 private:
  TQelVolumeInfos& Volumes();
  bool ReadDocument(const platform::XmlDocument& ADoc);

  // Each list record has one string slot (the text) and two Boolean slots:
  // directories IncludeSub, Checked; extensions Checked, Default.
  TFileTime FLastCleanTime;
  TPGCScanTypes FAppScanTypes = 0;
  std::int32_t FIgnoreInDays = 0;
  std::int32_t FIgnoreOutDays = 0;
  std::uint32_t FFileAttribute = 31;
  std::unique_ptr<TQelVarList> FDirList;
  std::unique_ptr<TQelVarList> FExtList;

  std::string FDataPath;
  unsigned FFolderMode = 0777;
  TQelVolumeInfos* FVolumeInfos = nullptr;
  std::unique_ptr<TQelVolumeInfos> FOwnVolumeInfos;
};

}  // namespace purgo
