// SPDX-License-Identifier: GPL-3.0-or-later
// The program's installation paths and the few settings that are not
// cleaning rules, kept in "Config.ini": in "Config/" beside a portable
// program, in $XDG_CONFIG_HOME/purgo/ for an installed one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/AppUtils.h"
#include "platform/FileIO.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"

namespace purgo {

class TAppConfigs {
 public:
  // Defaults only; reads no file. The paths follow the program folder's
  // layout (platform::CurrentProgramLayout).
  TAppConfigs();
  // The same with everything beside another base folder, as in a portable
  // layout; an empty one means the program's folder and its layout. A
  // delimiter is added if missing.
  explicit TAppConfigs(const std::string& ABasePath);
  // The same with the paths of a layout.
  explicit TAppConfigs(const platform::ProgramLayout& ALayout);

  // Reads the configuration file when it exists. Missing sections or keys,
  // and values that do not parse, leave their fields as they are. True
  // when the file existed. A file that is a link or another user's, or
  // lies in such a folder, is not read (platform/FileIO.h).
  bool Load();
  // Writes all its keys (the window size once one was stored) in one
  // replacement of the file, never through a link; "Version" becomes this
  // program's version, so that the file tells which Purgo wrote it last.
  // Creates no folder: the language step has made it by then. False, with
  // `AError` set to "Unable to write to <file>", when the file cannot be
  // written or is not this user's to write; the old file then stays as it
  // was.
  bool Save(std::string* AError = nullptr) const;

  // Each ends in the delimiter. The base path is the program's folder;
  // the data path and the configuration file are empty when an installed
  // program finds no home folder, and then nothing is read or written.
  const std::string& BasePath() const { return FBasePath; }
  const std::string& DataPath() const { return FDataPath; }
  const std::string& ConfigFile() const { return FConfigFile; }
  // Whether a write of the configuration file has failed in this process
  // (the folder could not be made or written, or was refused): the
  // program then runs on with built-in settings, and the window says so.
  bool WriteFailed() const { return FWriteFailed; }
  // False for an installed program, whose settings live in XDG folders.
  bool Portable() const { return FLayout.portable; }
  // The shipped language packs, and the user's own: empty when portable,
  // and when that folder or its parent is a link or another user's (the
  // rules of the settings folders, platform/FileIO.h), so that root with a
  // user's HOME takes no texts from that user. Looked at anew each call.
  const std::string& LanguagePath() const { return FLayout.languageFolder; }
  std::string UserLanguagePath() const;
  // The mode of the settings folders when they have to be made: private
  // (0700) in the user's XDG folders, as usual there.
  unsigned FolderMode() const { return FLayout.portable ? 0777u : 0700u; }

  const std::string& ApplicationTitle() const { return FApplicationTitle; }
  // Set by the language binding from the language's title text.
  void SetApplicationTitle(const std::string& AValue) { FApplicationTitle = AValue; }
  const std::string& ApplicationTitleDup() const { return FApplicationTitleDup; }

  // The version the file names: that of the Purgo that wrote it last, or
  // this program's own (PURGO_VERSION) when there is none. The windows show
  // the program's own version, never this one.
  const std::string& VersionString() const { return FVersionString; }
  std::uint16_t LanguageID() const { return FLanguageID; }
  // True once the file gave a language identifier or one was set: until
  // then LanguageID is only the built-in English, and the first start
  // picks the language from the user's locale instead.
  bool LanguageStored() const { return FLanguageStored; }
  // Each stores the value, creates the configuration folder if needed and
  // writes the one key to the file at once (Save writes this program's
  // version over a version set here). The value is kept in memory even
  // when the write fails, which the result (and `AError`) reports.
  bool SetVersionString(const std::string& AValue, std::string* AError = nullptr);
  bool SetLanguageID(std::uint16_t AValue, std::string* AError = nullptr);

  // The main window's size when it last closed (0 × 0: never stored, the
  // designed size). Kept in memory until Save.
  int WindowWidth() const { return FWindowWidth; }
  int WindowHeight() const { return FWindowHeight; }
  void SetWindowSize(int AWidth, int AHeight) {
    FWindowWidth = AWidth;
    FWindowHeight = AHeight;
  }

  // Kept in the file and written back; nothing acts on it.
  bool AutoUpdate() const { return FAutoUpdate; }
  // Read from the file and written back unchanged.
  TFileTime LastRunTime() const { return FLastRunTime; }
  // When this object was made; stored nowhere.
  TFileTime CurrentRunTime() const { return FCurrentRunTime; }

 private:
  bool WriteKey(const char* ASection, const char* AKey, const std::string& AValue,
                std::string* AError) const;
  platform::ReadStatus ReadConfigFile(platform::IniFile& AIni) const;
  // Reads the file afresh, applies `AChange` to the copy and replaces the
  // file with it.
  bool Update(bool ACreateFolder, const std::function<bool(platform::IniFile&)>& AChange,
              std::string* AError) const;

  platform::ProgramLayout FLayout;
  std::string FBasePath;
  std::string FDataPath;
  std::string FConfigFile;
  mutable bool FWriteFailed = false;
  std::string FApplicationTitle;
  std::string FApplicationTitleDup;
  std::string FVersionString;
  std::uint16_t FLanguageID = 0;
  bool FLanguageStored = false;
  bool FAutoUpdate = true;
  int FWindowWidth = 0;
  int FWindowHeight = 0;
  TFileTime FLastRunTime;
  TFileTime FCurrentRunTime;
};

}  // namespace purgo
