// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppConfigs.h"

#include <new>

#include "app/SettingsText.h"
#include "platform/FileIO.h"
#include "platform/IniFile.h"

namespace purgo {
namespace {

constexpr char kGeneral[] = "General";
constexpr char kPurgo[] = "Purgo";
constexpr char kVersion[] = "Version";
constexpr char kLanguageID[] = "LanguageID";
constexpr char kAutoUpdate[] = "AutoUpdate";
constexpr char kLastRunTime[] = "LastRunTime";
constexpr char kWindowWidth[] = "WindowWidth";
constexpr char kWindowHeight[] = "WindowHeight";
// Past any screen: a size beyond it is a damaged file, not a window.
constexpr std::int32_t kLargestWindowSide = 32767;

std::string FileTimeText(TFileTime T) { return std::to_string(static_cast<std::int64_t>(T.Value())); }

}  // namespace

TAppConfigs::TAppConfigs() : TAppConfigs(platform::CurrentProgramLayout()) {}

TAppConfigs::TAppConfigs(const std::string& ABasePath)
    : TAppConfigs(ABasePath.empty() ? platform::CurrentProgramLayout() : platform::PortableLayoutOf(ABasePath)) {}

TAppConfigs::TAppConfigs(const platform::ProgramLayout& ALayout)
    : FLayout(ALayout),
      FApplicationTitle("Purgo"),
      FApplicationTitleDup("Purgo"),
      FVersionString(PURGO_VERSION),
      FLanguageID(1033),
      FAutoUpdate(true) {
  FBasePath = AddPathDelimiter(FLayout.programFolder);
  FDataPath = FLayout.dataFolder;
  FConfigFile = FLayout.configFile;
  FLastRunTime = TFileTime{};
  FCurrentRunTime = GetSystemTimeAsFileTime();
}

bool TAppConfigs::Load() {
  platform::IniFile ini;
  const platform::ReadStatus status = ReadConfigFile(ini);
  if (status != platform::ReadStatus::Ok) return status != platform::ReadStatus::Missing;
  FVersionString = ini.ReadString(kGeneral, kVersion, FVersionString);

  std::int32_t number = 0;
  // Only the low 16 bits are a language identifier; 65537 stores as 1.
  if (TryParseInt32(ini.ReadString(kGeneral, kLanguageID, ""), number)) {
    FLanguageID = static_cast<std::uint16_t>(number);
    FLanguageStored = true;
  }
  if (TryParseInt32(ini.ReadString(kPurgo, kAutoUpdate, ""), number)) FAutoUpdate = number != 0;
  std::int32_t width = 0, height = 0;
  if (TryParseInt32(ini.ReadString(kPurgo, kWindowWidth, ""), width) &&
      TryParseInt32(ini.ReadString(kPurgo, kWindowHeight, ""), height) && width > 0 && height > 0 &&
      width <= kLargestWindowSide && height <= kLargestWindowSide) {
    FWindowWidth = width;
    FWindowHeight = height;
  }

  const std::string lastRun = ini.ReadString(kPurgo, kLastRunTime, "");
  std::int64_t time = 0;
  if (!lastRun.empty() && TryParseInt64(lastRun, time)) {
    FLastRunTime = TFileTime::FromValue(static_cast<std::uint64_t>(time));
  }
  return true;
}

platform::ReadStatus TAppConfigs::ReadConfigFile(platform::IniFile& AIni) const {
  if (FConfigFile.empty()) return platform::ReadStatus::Missing;
  std::string bytes;
  const platform::ReadStatus status = platform::ReadSettingsFile(FConfigFile, bytes);
  if (status != platform::ReadStatus::Ok) return status;
  try {
    AIni = platform::IniFile::FromBytes(bytes);
  } catch (const std::bad_alloc&) {
    return platform::ReadStatus::Failed;
  }
  return AIni.LoadStatus();
}

bool TAppConfigs::Update(bool ACreateFolder, const std::function<bool(platform::IniFile&)>& AChange,
                         std::string* AError) const {
  auto fail = [&]() {
    FWriteFailed = true;
    if (AError != nullptr) *AError = platform::UnableToWriteMessage(FConfigFile);
    return false;
  };
  if (FConfigFile.empty()) return fail();
  // The file is read afresh: keys and lines that others put there stay.
  // A file that exists but could not be read is not replaced, since the
  // copy would not hold what the file holds.
  platform::IniFile ini;
  const platform::ReadStatus status = ReadConfigFile(ini);
  if (status != platform::ReadStatus::Ok && status != platform::ReadStatus::Missing) return fail();
  std::string text;
  try {
    if (!AChange(ini)) return fail();
    text = ini.Text();
  } catch (const std::bad_alloc&) {
    return fail();
  }
  const bool written = platform::WriteSettingsFile(FConfigFile, text, ACreateFolder, FolderMode(), AError);
  FWriteFailed |= !written;
  return written;
}

bool TAppConfigs::Save(std::string* AError) const {
  // All the keys go into the copy and then to the file in one
  // replacement, so a failure leaves none of them half-written.
  return Update(
      /*ACreateFolder=*/false,
      [this](platform::IniFile& ini) {
        return ini.SetString(kGeneral, kVersion, PURGO_VERSION) &&
               ini.SetString(kGeneral, kLanguageID, std::to_string(FLanguageID)) &&
               ini.SetString(kPurgo, kAutoUpdate, FAutoUpdate ? "1" : "0") &&
               ini.SetString(kPurgo, kLastRunTime, FileTimeText(FLastRunTime)) &&
               // A window never resized leaves the file as it was.
               (FWindowWidth <= 0 || (ini.SetString(kPurgo, kWindowWidth, std::to_string(FWindowWidth)) &&
                                      ini.SetString(kPurgo, kWindowHeight, std::to_string(FWindowHeight))));
      },
      AError);
}

bool TAppConfigs::WriteKey(const char* ASection, const char* AKey, const std::string& AValue,
                           std::string* AError) const {
  return Update(
      /*ACreateFolder=*/true,
      [&](platform::IniFile& ini) { return ini.SetString(ASection, AKey, AValue); }, AError);
}

std::string TAppConfigs::UserLanguagePath() const {
  const std::string& folder = FLayout.userLanguageFolder;
  if (folder.empty()) return {};
  // <data>/purgo/Langs/: both folders are the program's own. A missing
  // one is passed on as it is: the catalogue finds no packs there.
  const platform::SettingsAccess access = platform::SettingsFolderAccess(folder, 2);
  const bool usable = access == platform::SettingsAccess::Ok || access == platform::SettingsAccess::Missing;
  return usable ? folder : std::string();
}

bool TAppConfigs::SetVersionString(const std::string& AValue, std::string* AError) {
  FVersionString = AValue;
  return WriteKey(kGeneral, kVersion, FVersionString, AError);
}

bool TAppConfigs::SetLanguageID(std::uint16_t AValue, std::string* AError) {
  FLanguageID = AValue;
  FLanguageStored = true;
  return WriteKey(kGeneral, kLanguageID, std::to_string(FLanguageID), AError);
}

}  // namespace purgo
