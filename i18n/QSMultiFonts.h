// SPDX-License-Identifier: GPL-3.0-or-later
// Font schemes: short font descriptions ("Tahoma,12,1,16777215,0,0")
// kept under integer ids, and named font variables that pick an id.
//
// Fonts are applied onto TQelFont, a record of the attributes a font
// object of the window system has; the windows map it to their toolkit's
// font, so nothing here knows a toolkit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IniFile.h"

namespace purgo {

struct TFontStyles {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TFontStyles&, const TFontStyles&) = default;
};

// A Windows colour value: 0x00BBGGRR, red in the low byte.
using TColor = std::uint32_t;

enum class TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

// The window system's font attributes, as a control holds them. The
// owner of a control fills one from the control's font, lets a scheme
// change it, and maps it back. OnChange, when set, is told once after a
// scheme has changed the record (never once per attribute).
struct TQelFont {
  std::string Name;
  std::int32_t Size = 0;  // points
  TFontStyles Style;
  TColor Color = 0;
  std::uint8_t Charset = 1;  // DEFAULT_CHARSET
  std::int32_t Orientation = 0;  // tenths of a degree
  TFontPitch Pitch = TFontPitch::fpDefault;
  std::int32_t Height = 0;
  std::function<void()> OnChange;

  void Changed() const {
    if (OnChange) OnChange();
  }
};

// One parsed font description. Pieces are separated by "," or "|";
// empty pieces are dropped before positions are counted, and each piece is
// trimmed of blanks and tabs. Positions: face name, size, style bits (1
// bold, 2 underline, 4 strike-out, 8 italic), colour 0xRRGGBB, character
// set, orientation, pitch (2 fixed, 3 variable, else default), height.
// A piece that is not an integer leaves its field unset; pieces from the
// ninth on are ignored. Flags() tells which fields were given.
class TQelFontProperty {
 public:
  static constexpr std::uint32_t kFlagName = 1;
  static constexpr std::uint32_t kFlagSize = 2;
  static constexpr std::uint32_t kFlagStyle = 4;
  static constexpr std::uint32_t kFlagColor = 8;
  static constexpr std::uint32_t kFlagCharset = 16;
  static constexpr std::uint32_t kFlagOrientation = 32;
  static constexpr std::uint32_t kFlagPitch = 64;
  static constexpr std::uint32_t kFlagHeight = 128;

  explicit TQelFontProperty(std::string_view AFotmat = {});

  // Every field empty or 0, default pitch, no flags.
  void Clear();
  // Clear, keep AFotmat as FormatString, parse it.
  void Reload(std::string_view AFotmat);

  // Sets on ioFont each given field, in the order name, size, style,
  // colour, character set, orientation, pitch (the height never: the size
  // decides it on screen), and tells the font once when anything changed.
  void ChangeFont(TQelFont& ioFont) const;
  // Reloads from AFotmat first when it is not empty.
  void ChangeFont(TQelFont& ioFont, std::string_view AFotmat);

  const std::string& FormatString() const { return FFormat; }
  std::uint32_t Flags() const { return FFlags; }
  const std::string& Name() const { return FName; }
  std::int32_t Size() const { return FSize; }
  TFontStyles Style() const { return FStyle; }
  TColor Color() const { return FColor; }
  std::int32_t Height() const { return FHeight; }
  std::uint8_t Charset() const { return FCharset; }
  std::int32_t Orientation() const { return FOrientation; }
  TFontPitch Pitch() const { return FPitch; }

 private:
  // Applies the given fields without telling the font.
  bool ApplyTo(TQelFont& ioFont) const;
  friend class TQelMultiFonts;

  std::string FFormat;
  std::uint32_t FFlags = 0;
  std::string FName;
  std::int32_t FSize = 0;
  TFontStyles FStyle;
  TColor FColor = 0;
  std::int32_t FHeight = 0;
  std::uint8_t FCharset = 0;
  std::int32_t FOrientation = 0;
  TFontPitch FPitch = TFontPitch::fpDefault;
};

// A store of descriptions keyed by id. Ids need not be unique: lookups
// find the first. The store owns its descriptions; pointers it hands out
// stay valid until the store is emptied (LoadFromIni) or destroyed.
class TQelMultiFonts {
 public:
  // Called with the open scheme file after the descriptions are read or
  // set; its result becomes the load's or save's result. What it sets on
  // the file while saving is written with the rest.
  using THandlingIniEvent = bool (*)(platform::IniFile& AIniFile);

  TQelMultiFonts() = default;
  virtual ~TQelMultiFonts() = default;
  TQelMultiFonts(const TQelMultiFonts&) = delete;
  TQelMultiFonts& operator=(const TQelMultiFonts&) = delete;

  int Count() const { return static_cast<int>(FMultiFonts.size()); }
  // nullptr outside 0..Count()-1.
  TQelFontProperty* GetFont(int AIndex) const;
  // The first description with that id, or nullptr.
  TQelFontProperty* FindFontOfID(std::int32_t AID) const;
  // Re-parses the first description with that id, or appends one.
  void SetFontOfID(std::int32_t AID, std::string_view AFotmat);

  // Replaces the store with section "_Fonts_" of the file (keys that are
  // integers of 0 or more, in file order), then runs DoLoadingFonts. A
  // missing or unreadable file changes nothing and gives false; a failure
  // while reading gives false and may leave the store partly filled. A
  // given callback is kept for later loads.
  bool LoadFromIni(const std::string& AFullFileName, THandlingIniEvent AOnLoadingFonts = nullptr);
  // Writes every description as "_Fonts_"/id = its text (of two with one
  // id the first, which lookups find), lets DoSavingFonts add to the same
  // file, and replaces the file once. False when DoSavingFonts fails or
  // the file cannot be written.
  bool SaveToIni(const std::string& AFullFileName, THandlingIniEvent AOnSavingFonts = nullptr);

  // Applies ABaseProperty (when given) and then the description with
  // that id onto ioFont, telling the font once. Without such an id the
  // font is left alone entirely, the base included.
  void ChangeFontOfID(TQelFont& ioFont, std::int32_t AID, const TQelFontProperty* ABaseProperty);
  void ChangeFontOfIndex(TQelFont& ioFont, int AIndex, const TQelFontProperty* ABaseProperty);

  THandlingIniEvent OnLoadingFonts() const { return FOnLoadingFonts; }
  void SetOnLoadingFonts(THandlingIniEvent AValue) { FOnLoadingFonts = AValue; }
  THandlingIniEvent OnSavingFonts() const { return FOnSavingFonts; }
  void SetOnSavingFonts(THandlingIniEvent AValue) { FOnSavingFonts = AValue; }

 protected:
  // The callback's result, or true without one.
  virtual bool DoLoadingFonts(platform::IniFile& AIniFile);
  virtual bool DoSavingFonts(platform::IniFile& AIniFile);

 private:
  void ApplyQuietly(TQelFont& ioFont, const TQelFontProperty* ABaseProperty,
                    const TQelFontProperty& AProperty);

  std::vector<std::unique_ptr<TQelFontProperty>> FMultiFonts;
  std::vector<std::int32_t> FMultiFontsID;
  std::function<void()> FOldFontChangedProc;
  THandlingIniEvent FOnLoadingFonts = nullptr;
  THandlingIniEvent FOnSavingFonts = nullptr;
};

// The registry of font variables: each an integer of the program holding a
// font id, kept with the id it held when registered (its default) and the
// key it is stored under. The registry refers to the variables; it does
// not own them.
class TQelMultiFontVars {
 public:
  // Ignored for an empty name or a variable already registered.
  void Add(std::int32_t* ioVariable, std::string AVariableName);
  int Count() const { return static_cast<int>(FVariableList.size()); }
  // 0 outside the range.
  std::int32_t GetValue(int AIndex) const;
  // Ignored outside the range.
  void SetValue(int AIndex, std::int32_t AValue);
  // Empty outside the range.
  std::string GetName(int AIndex) const;
  // 0 for a variable that is not registered.
  std::int32_t GetDefaultValue(const std::int32_t* ioVariable) const;

 private:
  std::vector<std::int32_t*> FVariableList;
  std::vector<std::int32_t> FVariableDefaultValueList;
  std::vector<std::string> FVariableName;
};

}  // namespace purgo
