// The program's installation paths and the few settings that are not
// cleaning rules, kept in "Config/Config.ini" beside the program.
#pragma once

#include <cstdint>
#include <string>

#include "engine/AppUtils.h"

namespace purgo {

class TAppConfigs {
 public:
  // Defaults only; reads no file. The base path is the program's folder.
  TAppConfigs();
  // The same with another base folder (tests, an installed layout); an
  // empty one means the program's folder. A delimiter is added if missing.
  explicit TAppConfigs(const std::string& ABasePath);

  // Reads the configuration file when it exists. Missing sections or keys,
  // and values that do not parse, leave their fields as they are. True
  // when the file existed.
  bool Load();
  // Writes all four keys in one replacement of the file. Creates no
  // folder: the language step has made it by then. False, with `AError`
  // set to "Unable to write to <file>", when the file cannot be written; the
  // old file then stays as it was.
  bool Save(std::string* AError = nullptr) const;

  // Each ends in the delimiter.
  const std::string& BasePath() const { return FBasePath; }
  const std::string& DataPath() const { return FDataPath; }
  const std::string& ConfigFile() const { return FConfigFile; }

  const std::string& ApplicationTitle() const { return FApplicationTitle; }
  // Set by the language binding from the language's title text.
  void SetApplicationTitle(const std::string& AValue) { FApplicationTitle = AValue; }
  const std::string& ApplicationTitleDup() const { return FApplicationTitleDup; }

  const std::string& VersionString() const { return FVersionString; }
  std::uint16_t LanguageID() const { return FLanguageID; }
  // Each stores the value, creates the configuration folder if needed and
  // writes the one key to the file at once. The value is kept in memory
  // even when the write fails, which the result (and `AError`) reports.
  bool SetVersionString(const std::string& AValue, std::string* AError = nullptr);
  bool SetLanguageID(std::uint16_t AValue, std::string* AError = nullptr);

  // Kept in the file and written back; nothing acts on it.
  bool AutoUpdate() const { return FAutoUpdate; }
  // Read from the file and written back unchanged.
  TFileTime LastRunTime() const { return FLastRunTime; }
  // When this object was made; stored nowhere.
  TFileTime CurrentRunTime() const { return FCurrentRunTime; }

 private:
  bool WriteKey(const char* ASection, const char* AKey, const std::string& AValue,
                std::string* AError) const;

  std::string FBasePath;
  std::string FDataPath;
  std::string FConfigFile;
  std::string FApplicationTitle;
  std::string FApplicationTitleDup;
  std::string FVersionString;
  std::uint16_t FLanguageID = 0;
  bool FAutoUpdate = true;
  TFileTime FLastRunTime;
  TFileTime FCurrentRunTime;
};

}  // namespace purgo
