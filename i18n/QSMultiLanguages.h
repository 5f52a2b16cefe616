// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface languages installed with the program, and the
// registry of the string variables they translate.
//
// Each language is one sub-folder of the language folder ("Langs/" beside
// the program, or the shipped packs of an installed one) that holds the
// string file; a second, user's folder may add packs and replace shipped
// ones of the same folder name. The folder's name is the
// fallback display name. The string file's section "_Description_" gives
// "LanguageName" and "LanguageID" (a Windows language identifier: 1033
// English, 2052 Simplified Chinese). The catalogue knows nothing about
// which strings exist: loading and saving texts is left to the three
// virtual operations, which a program overrides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/IniFile.h"

namespace purgo {

class TQelMultiLanguages {
 public:
  // Given the open string file; the result becomes the load's or save's.
  using THandlingIniEvent = bool (*)(platform::IniFile& AIniFile);
  using TLoadedIniEvent = void (*)();

  // AIniFileName's folder part is dropped; an empty name becomes the
  // program's name followed by "StrRes.ini". An empty path (after
  // trimming blanks) becomes "Langs/", relative to the program folder
  // until Parse makes it absolute.
  TQelMultiLanguages(const std::string& AIniFileName, const std::string& APath);
  virtual ~TQelMultiLanguages() = default;
  TQelMultiLanguages(const TQelMultiLanguages&) = delete;
  TQelMultiLanguages& operator=(const TQelMultiLanguages&) = delete;

  // Rebuilds the list from the folder AMultiLangsPath (blanks trimmed;
  // empty means the current MultiLanguagePath) and the user's folder. A
  // path that does not start with "/" is taken relative to the program
  // folder. False, with the list and the current language untouched, when
  // neither folder exists. Otherwise the list is rebuilt in name order and
  // no language is current afterwards. Only sub-folders that hold the
  // string file count; hidden folders (".name") are passed over. A user's
  // pack counts only when its string file can be read in full; it then
  // takes the place of the shipped pack of the same folder name, while a
  // broken one leaves the shipped pack in force.
  bool Parse(const std::string& AMultiLangsPath);

  // The user's own packs: absolute, ending in "/"; empty for none. Read by
  // the next Parse; a missing folder adds nothing.
  const std::string& UserLanguagePath() const { return FUserLanguagePath; }
  void SetUserLanguagePath(const std::string& AValue);

  // Absolute and ending in "/" once parsed.
  const std::string& MultiLanguagePath() const { return FMultiLanguagePath; }
  // An absolute value is taken as it is, any other relative to the program
  // folder; the folder is then parsed.
  void SetMultiLanguagePath(const std::string& AValue);

  int Count() const { return FLanguagesCount; }
  // The current language's position; -1 when none is current.
  int Index() const { return FCurrentLanguageIndex; }
  // Selects and loads a language. The current one is never loaded again.
  // A position outside the list means the system's language, when it is
  // installed; otherwise nothing changes.
  void SetIndex(int Value);

  // -1 when no language is current.
  std::int32_t CurrentLanguageID() const;
  // A positive id selects the first language with exactly that id; when
  // none has it, the system's language, else the first language. An id of
  // 0 or less selects the system's language only when it is installed and
  // not first in the list.
  void SetCurrentLanguageID(std::int32_t Value);
  // Empty when no language is current.
  std::string CurrentLanguageName() const;
  // Selects the first language whose display name matches, ignoring the
  // case of ASCII letters; no match changes nothing. An empty name acts as
  // SetCurrentLanguageID(0).
  void SetCurrentLanguageName(const std::string& Value);
  // Empty when no language is current.
  std::string CurrentLanguagePath() const;
  std::string CurrentStringResFile() const;

  // The entry at AIndex, empty (or -1) outside 0..Count()-1.
  std::string GetLanguagePath(int AIndex) const;
  std::string GetStringResFile(int AIndex) const;
  std::string GetLanguageName(int AIndex) const;
  std::int32_t GetLanguageID(int AIndex) const;

  // Position of the first language whose id equals AID in the low 16 bits
  // (the language part of a locale id), else -1.
  int IndexOfLanguageID(std::int32_t AID) const;
  // The language identifier of the user's locale.
  std::int32_t GetLocalLanguageID() const;
  // The pack that fits a locale name ("zh_SG.UTF-8", "zh-Hans", "de"),
  // judged by the locale each pack's LanguageID stands for: the language
  // must be the same, and so must the script where both imply one (so
  // zh_TW never gets a Simplified Chinese pack); a pack of the same
  // territory comes before one of another. Among equals the first in the
  // list; -1 when no pack fits.
  int IndexOfLocale(const std::string& ALocaleName) const;
  // IndexOfLocale of the user's messages locale: "the system's language"
  // of the selection rules above.
  int IndexOfSystemLanguage() const;

  // Makes AIndex current (an index outside the list: the system's
  // language, or false when that is not installed) and loads its string
  // file through DoLoadingStrings. DoLanguageChanged runs after every
  // selection, also when the file has disappeared or cannot be read; the
  // result is then false and no text changes.
  bool LoadLanguage(int AIndex);
  // SaveLanguage of the current string file; false when none is current.
  bool Save();
  // Writes a complete string file to AFileName (empty: the current one)
  // from the texts in memory, through DoSavingStrings, and replaces the
  // file once. False when there is no file to write, DoSavingStrings fails
  // or the file cannot be written.
  bool SaveLanguage(const std::string& AFileName);

  THandlingIniEvent OnLoadingStrings() const { return FOnLoadingStrings; }
  void SetOnLoadingStrings(THandlingIniEvent AValue) { FOnLoadingStrings = AValue; }
  THandlingIniEvent OnSavingStrings() const { return FOnSavingStrings; }
  void SetOnSavingStrings(THandlingIniEvent AValue) { FOnSavingStrings = AValue; }
  TLoadedIniEvent OnLanguageChanged() const { return FOnLanguageChanged; }
  void SetOnLanguageChanged(TLoadedIniEvent AValue) { FOnLanguageChanged = AValue; }

 protected:
  // The base versions only call the matching callback: the loading and
  // saving ones return its result, or true without one.
  virtual bool DoLoadingStrings(platform::IniFile& AIniFile);
  virtual bool DoSavingStrings(platform::IniFile& AIniFile);
  virtual void DoLanguageChanged();

 private:
  // The current position, or -1 when there is no valid one.
  int CurrentPosition() const;
  struct TPackFolder {
    std::string name;
    std::string folder;  // ending in the delimiter
  };
  // The sub-folders of AFolder that hold the string file, hidden ones
  // left out; false when AFolder does not exist.
  bool ListPacks(const std::string& AFolder, std::vector<TPackFolder>& AOut) const;

  std::string FIniFileName;
  std::string FMultiLanguagePath;
  std::string FUserLanguagePath;
  int FLanguagesCount = 0;
  int FCurrentLanguageIndex = -1;
  std::vector<std::string> FLanguagePaths;
  std::vector<std::string> FStringResFiles;
  std::vector<std::string> FLanguageNames;
  std::vector<std::int32_t> FLanguageIDs;
  THandlingIniEvent FOnLoadingStrings = nullptr;
  THandlingIniEvent FOnSavingStrings = nullptr;
  TLoadedIniEvent FOnLanguageChanged = nullptr;
};

// The registry of string variables: each a text of the program, read and
// written in place, with the key it has in string files. Registration
// order is the order of a string file written from scratch. The registry
// refers to the variables; it does not own them.
class TQelMultiLanguageVars {
 public:
  // Ignored for an empty name or a variable already registered.
  void Add(std::string* ioVariable, std::string AVariableName);
  int Count() const { return static_cast<int>(FVariableList.size()); }
  // Empty outside the range.
  std::string GetValue(int AIndex) const;
  // Ignored outside the range.
  void SetValue(int AIndex, std::string AText);
  // Empty outside the range.
  std::string GetName(int AIndex) const;
  // The variable itself; nullptr outside the range.
  std::string* GetVariable(int AIndex) const;

 private:
  std::vector<std::string*> FVariableList;
  std::vector<std::string> FVariableName;
};

}  // namespace purgo
