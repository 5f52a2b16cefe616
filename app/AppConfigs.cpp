#include "app/AppConfigs.h"

#include "app/SettingsText.h"
#include "platform/FileIO.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

namespace purgo {
namespace {

constexpr char kGeneral[] = "General";
constexpr char kPurgo[] = "Purgo";
constexpr char kVersion[] = "Version";
constexpr char kLanguageID[] = "LanguageID";
constexpr char kAutoUpdate[] = "AutoUpdate";
constexpr char kLastRunTime[] = "LastRunTime";

std::string FileTimeText(TFileTime T) { return std::to_string(static_cast<std::int64_t>(T.Value())); }

}  // namespace

TAppConfigs::TAppConfigs() : TAppConfigs(platform::CurrentProgramLayout()) {}

TAppConfigs::TAppConfigs(const std::string& ABasePath)
    : TAppConfigs(ABasePath.empty() ? platform::CurrentProgramLayout() : platform::PortableLayoutOf(ABasePath)) {}

TAppConfigs::TAppConfigs(const platform::ProgramLayout& ALayout)
    : FLayout(ALayout),
      FApplicationTitle("Purgo"),
      FApplicationTitleDup("Purgo"),
      FVersionString("1.5.1.1"),
      FLanguageID(1033),
      FAutoUpdate(true) {
  FBasePath = AddPathDelimiter(FLayout.programFolder);
  FDataPath = FLayout.dataFolder;
  FConfigFile = FLayout.configFile;
  FLastRunTime = TFileTime{};
  FCurrentRunTime = GetSystemTimeAsFileTime();
}

bool TAppConfigs::Load() {
  if (!platform::FileExists(FConfigFile)) return false;
  const platform::IniFile ini(FConfigFile);
  FVersionString = ini.ReadString(kGeneral, kVersion, FVersionString);

  std::int32_t number = 0;
  // Only the low 16 bits are a language identifier; 65537 stores as 1.
  if (TryParseInt32(ini.ReadString(kGeneral, kLanguageID, ""), number)) {
    FLanguageID = static_cast<std::uint16_t>(number);
  }
  if (TryParseInt32(ini.ReadString(kPurgo, kAutoUpdate, ""), number)) FAutoUpdate = number != 0;

  const std::string lastRun = ini.ReadString(kPurgo, kLastRunTime, "");
  std::int64_t time = 0;
  if (!lastRun.empty() && TryParseInt64(lastRun, time)) {
    FLastRunTime = TFileTime::FromValue(static_cast<std::uint64_t>(time));
  }
  return true;
}

bool TAppConfigs::Save(std::string* AError) const {
  if (FConfigFile.empty()) {
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(FConfigFile);
    return false;
  }
  platform::IniFile ini(FConfigFile);
  // All four keys go into the copy and then to the file in one
  // replacement, so a failure leaves none of them half-written.
  const bool stored = ini.SetString(kGeneral, kVersion, FVersionString) &&
                      ini.SetString(kGeneral, kLanguageID, std::to_string(FLanguageID)) &&
                      ini.SetString(kPurgo, kAutoUpdate, FAutoUpdate ? "1" : "0") &&
                      ini.SetString(kPurgo, kLastRunTime, FileTimeText(FLastRunTime));
  if (!stored) {
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(FConfigFile);
    return false;
  }
  return ini.UpdateFile(AError);
}

bool TAppConfigs::WriteKey(const char* ASection, const char* AKey, const std::string& AValue,
                           std::string* AError) const {
  if (FConfigFile.empty()) {
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(FConfigFile);
    return false;
  }
  platform::ForceDirectories(RemovePathDelimiter(ExtractFileDirWithDelimiter(FConfigFile)),
                             FolderMode());
  return platform::IniWriteString(FConfigFile, ASection, AKey, AValue, AError);
}

bool TAppConfigs::SetVersionString(const std::string& AValue, std::string* AError) {
  FVersionString = AValue;
  return WriteKey(kGeneral, kVersion, FVersionString, AError);
}

bool TAppConfigs::SetLanguageID(std::uint16_t AValue, std::string* AError) {
  FLanguageID = AValue;
  return WriteKey(kGeneral, kLanguageID, std::to_string(FLanguageID), AError);
}

}  // namespace purgo
