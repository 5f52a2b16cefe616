// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/QSMultiLanguages.h"

#include <algorithm>
#include <utility>

#include "app/SettingsText.h"
#include "engine/AppUtils.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/SystemLocale.h"

namespace purgo {
namespace {

constexpr char kDescriptionSection[] = "_Description_";

// "/..." here; "C:\..." or "\\server\share\..." where paths have drives.
bool IsAbsolutePath(const std::string& APath) {
  if (kNativePathStyle == TPathStyle::Posix) return !APath.empty() && APath.front() == '/';
  return !ExtractDrivePart(APath).empty();
}

// A path as the catalogue keeps it: absolute, ending in the delimiter.
std::string ResolveFolder(const std::string& APath) {
  return AddPathDelimiter(IsAbsolutePath(APath) ? APath : GetExeDir() + APath);
}

// The file a loaded language reads: opened only when it is there and can
// be read in full, since a half-read file would rewrite every text.
bool OpenReadable(const std::string& AFileName, platform::IniFile& ioIni) {
  if (!platform::IniFile::FileExists(AFileName)) return false;
  ioIni = platform::IniFile(AFileName);
  return ioIni.LoadStatus() == platform::ReadStatus::Ok;
}

}  // namespace

// ---- the catalogue ---------------------------------------------------------------

TQelMultiLanguages::TQelMultiLanguages(const std::string& AIniFileName, const std::string& APath)
    : FIniFileName(ExtractTrimmedFileName(AIniFileName)),
      FMultiLanguagePath(TrimChars(APath, " ")) {
  if (FIniFileName.empty()) FIniFileName = ExtractFileTitle(platform::ProgramFileName()) + "StrRes.ini";
  if (FMultiLanguagePath.empty()) FMultiLanguagePath = std::string("Langs") + platform::kPathDelimiter;
}

bool TQelMultiLanguages::ListPacks(const std::string& AFolder,
                                   std::vector<TPackFolder>& AOut) const {
  AOut.clear();
  if (AFolder.empty() || !platform::DirectoryExists(AFolder)) return false;
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(AFolder, platform::kAttrDirectory | platform::kAttrNormal,
                               entries)) {
    return true;
  }
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    const std::string folder = AFolder + e.name + platform::kPathDelimiter;
    // The listing reports a link as a file; a pack installed as a link to
    // its folder counts, a link that leads to no folder does not.
    if ((e.data.attributes & platform::kAttrDirectory) == 0 && !platform::DirectoryExists(folder)) {
      continue;
    }
    if (!platform::IniFile::FileExists(folder + FIniFileName)) continue;
    AOut.push_back(TPackFolder{e.name, folder});
  }
  return true;
}

bool TQelMultiLanguages::Parse(const std::string& AMultiLangsPath) {
  std::string path = TrimChars(AMultiLangsPath, " ");
  if (path.empty()) path = FMultiLanguagePath;
  FMultiLanguagePath = ResolveFolder(path);

  std::vector<TPackFolder> packs, own;
  const bool shipped = ListPacks(FMultiLanguagePath, packs);
  const bool user = ListPacks(FUserLanguagePath, own);
  if (!shipped && !user) return false;
  for (TPackFolder& pack : own) {
    // A user's pack that cannot be read would hide a working shipped one.
    const platform::IniFile strings(pack.folder + FIniFileName);
    if (strings.LoadStatus() != platform::ReadStatus::Ok) continue;
    const auto same = std::find_if(packs.begin(), packs.end(),
                                   [&](const TPackFolder& p) { return p.name == pack.name; });
    if (same != packs.end()) {
      *same = std::move(pack);
    } else {
      packs.push_back(std::move(pack));
    }
  }

  FLanguagePaths.clear();
  FStringResFiles.clear();
  FLanguageNames.clear();
  FLanguageIDs.clear();
  FLanguagesCount = 0;
  FCurrentLanguageIndex = -1;

  // The file system lists in no useful order; name order keeps the menu
  // and the "first of two equal ids" rule the same on every machine.
  std::sort(packs.begin(), packs.end(), [](const TPackFolder& a, const TPackFolder& b) {
    const int c = SameTextCompare(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  for (const TPackFolder& pack : packs) {
    const std::string file = pack.folder + FIniFileName;
    ++FLanguagesCount;
    FLanguagePaths.push_back(pack.folder);
    FStringResFiles.push_back(file);
    FLanguageNames.push_back(pack.name);
    FLanguageIDs.push_back(-1);

    const platform::IniFile ini(file);
    std::string name = ini.ReadString(kDescriptionSection, "LanguageName", pack.name);
    if (!name.empty()) FLanguageNames.back() = std::move(name);
    std::int32_t id = -1;
    if (TryParseInt32(ini.ReadString(kDescriptionSection, "LanguageID", "-1"), id)) {
      FLanguageIDs.back() = id;
    }
  }
  return true;
}

void TQelMultiLanguages::SetUserLanguagePath(const std::string& AValue) {
  const std::string path = TrimChars(AValue, " ");
  FUserLanguagePath = path.empty() ? std::string() : AddPathDelimiter(path);
}

void TQelMultiLanguages::SetMultiLanguagePath(const std::string& AValue) {
  FMultiLanguagePath = ResolveFolder(AValue);
  Parse(FMultiLanguagePath);
}

int TQelMultiLanguages::CurrentPosition() const {
  if (FLanguagesCount <= 0 || FCurrentLanguageIndex < 0) return -1;
  return std::min(FCurrentLanguageIndex, FLanguagesCount - 1);
}

void TQelMultiLanguages::SetIndex(int Value) {
  if ((Value == FCurrentLanguageIndex && Value >= 0) || FLanguagesCount <= 0) return;
  if (Value < 0 || Value >= FLanguagesCount) Value = IndexOfSystemLanguage();
  if (Value >= 0 && Value != FCurrentLanguageIndex) {
    LoadLanguage(Value);
    FCurrentLanguageIndex = Value;
  }
}

std::int32_t TQelMultiLanguages::CurrentLanguageID() const {
  const int i = CurrentPosition();
  return i < 0 ? -1 : FLanguageIDs[static_cast<std::size_t>(i)];
}

void TQelMultiLanguages::SetCurrentLanguageID(std::int32_t Value) {
  if (Value > 0) {
    const auto it = std::find(FLanguageIDs.begin(), FLanguageIDs.end(), Value);
    if (it != FLanguageIDs.end()) {
      SetIndex(static_cast<int>(it - FLanguageIDs.begin()));
      return;
    }
    const int local = IndexOfSystemLanguage();
    SetIndex(local > 0 ? local : 0);
    return;
  }
  const int local = IndexOfSystemLanguage();
  if (local > 0) SetIndex(local);
}

std::string TQelMultiLanguages::CurrentLanguageName() const {
  return GetLanguageName(CurrentPosition());
}

void TQelMultiLanguages::SetCurrentLanguageName(const std::string& Value) {
  if (Value.empty()) {
    SetCurrentLanguageID(0);
    return;
  }
  for (int i = 0; i < FLanguagesCount; ++i) {
    if (SameTextCompare(FLanguageNames[static_cast<std::size_t>(i)], Value) == 0) {
      SetIndex(i);
      return;
    }
  }
}

std::string TQelMultiLanguages::CurrentLanguagePath() const {
  return GetLanguagePath(CurrentPosition());
}

std::string TQelMultiLanguages::CurrentStringResFile() const {
  return GetStringResFile(CurrentPosition());
}

std::string TQelMultiLanguages::GetLanguagePath(int AIndex) const {
  if (AIndex < 0 || AIndex >= FLanguagesCount) return {};
  return FLanguagePaths[static_cast<std::size_t>(AIndex)];
}

std::string TQelMultiLanguages::GetStringResFile(int AIndex) const {
  if (AIndex < 0 || AIndex >= FLanguagesCount) return {};
  return FStringResFiles[static_cast<std::size_t>(AIndex)];
}

std::string TQelMultiLanguages::GetLanguageName(int AIndex) const {
  if (AIndex < 0 || AIndex >= FLanguagesCount) return {};
  return FLanguageNames[static_cast<std::size_t>(AIndex)];
}

std::int32_t TQelMultiLanguages::GetLanguageID(int AIndex) const {
  if (AIndex < 0 || AIndex >= FLanguagesCount) return -1;
  return FLanguageIDs[static_cast<std::size_t>(AIndex)];
}

int TQelMultiLanguages::IndexOfLanguageID(std::int32_t AID) const {
  const auto low = static_cast<std::uint16_t>(static_cast<std::uint32_t>(AID));
  for (int i = 0; i < FLanguagesCount; ++i) {
    const auto id = static_cast<std::uint32_t>(FLanguageIDs[static_cast<std::size_t>(i)]);
    if (static_cast<std::uint16_t>(id) == low) return i;
  }
  return -1;
}

std::int32_t TQelMultiLanguages::GetLocalLanguageID() const {
  return platform::SystemLanguageId();
}

int TQelMultiLanguages::IndexOfLocale(const std::string& ALocaleName) const {
  const platform::LocaleParts wanted = platform::ParseLocaleName(ALocaleName);
  int best = -1;
  int bestScore = 0;
  for (int i = 0; i < FLanguagesCount; ++i) {
    const std::int32_t id = FLanguageIDs[static_cast<std::size_t>(i)];
    if (id <= 0) continue;
    const platform::LocaleParts pack =
        platform::LocaleOfLanguageId(static_cast<std::uint16_t>(static_cast<std::uint32_t>(id)));
    if (pack.language.empty() || pack.language != wanted.language) continue;
    if (!pack.script.empty() && !wanted.script.empty() && pack.script != wanted.script) continue;
    const int score = pack.territory == wanted.territory ? 2 : 1;
    if (score > bestScore) {
      best = i;
      bestScore = score;
    }
  }
  return best;
}

int TQelMultiLanguages::IndexOfSystemLanguage() const {
  return IndexOfLocale(platform::MessagesLocaleName());
}

bool TQelMultiLanguages::LoadLanguage(int AIndex) {
  if (FLanguagesCount <= 0) return false;
  if (AIndex < 0 || AIndex >= FLanguagesCount) {
    AIndex = IndexOfSystemLanguage();
    if (AIndex < 0) return false;
  }
  FCurrentLanguageIndex = AIndex;
  bool result = false;
  platform::IniFile ini;
  if (OpenReadable(FStringResFiles[static_cast<std::size_t>(AIndex)], ini)) {
    result = DoLoadingStrings(ini);
  }
  DoLanguageChanged();
  return result;
}

bool TQelMultiLanguages::Save() { return SaveLanguage(std::string()); }

bool TQelMultiLanguages::SaveLanguage(const std::string& AFileName) {
  const std::string file = AFileName.empty() ? CurrentStringResFile() : AFileName;
  if (file.empty()) return false;
  platform::IniFile ini(file);
  const bool result = DoSavingStrings(ini);
  return ini.UpdateFile() && result;
}

bool TQelMultiLanguages::DoLoadingStrings(platform::IniFile& AIniFile) {
  return FOnLoadingStrings != nullptr ? FOnLoadingStrings(AIniFile) : true;
}

bool TQelMultiLanguages::DoSavingStrings(platform::IniFile& AIniFile) {
  return FOnSavingStrings != nullptr ? FOnSavingStrings(AIniFile) : true;
}

void TQelMultiLanguages::DoLanguageChanged() {
  if (FOnLanguageChanged != nullptr) FOnLanguageChanged();
}

// ---- the string-variable registry ---------------------------------------------

void TQelMultiLanguageVars::Add(std::string* ioVariable, std::string AVariableName) {
  if (ioVariable == nullptr || AVariableName.empty()) return;
  if (std::find(FVariableList.begin(), FVariableList.end(), ioVariable) != FVariableList.end()) {
    return;
  }
  FVariableList.push_back(ioVariable);
  FVariableName.push_back(std::move(AVariableName));
}

std::string TQelMultiLanguageVars::GetValue(int AIndex) const {
  const std::string* v = GetVariable(AIndex);
  return v != nullptr ? *v : std::string();
}

void TQelMultiLanguageVars::SetValue(int AIndex, std::string AText) {
  if (std::string* v = GetVariable(AIndex)) *v = std::move(AText);
}

std::string TQelMultiLanguageVars::GetName(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) return {};
  return FVariableName[static_cast<std::size_t>(AIndex)];
}

std::string* TQelMultiLanguageVars::GetVariable(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) return nullptr;
  return FVariableList[static_cast<std::size_t>(AIndex)];
}

}  // namespace purgo
