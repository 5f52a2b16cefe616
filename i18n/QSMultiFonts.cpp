// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/QSMultiFonts.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "app/SettingsText.h"
#include "engine/AppUtils.h"

namespace purgo {

// ---- one description --------------------------------------------------------

TQelFontProperty::TQelFontProperty(std::string_view AFotmat) { Reload(AFotmat); }

void TQelFontProperty::Clear() {
  FFormat.clear();
  FFlags = 0;
  FName.clear();
  FSize = 0;
  FStyle = {};
  FColor = 0;
  FHeight = 0;
  FCharset = 0;
  FOrientation = 0;
  FPitch = TFontPitch::fpDefault;
}

void TQelFontProperty::Reload(std::string_view AFotmat) {
  Clear();
  FFormat = std::string(AFotmat);
  const std::vector<std::string> pieces = SplitString(AFotmat, ",|");
  const std::size_t count = std::min<std::size_t>(pieces.size(), 8);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string piece = TrimChars(pieces[i], " \t");
    if (i == 0) {
      if (!piece.empty()) {
        FName = piece;
        FFlags |= kFlagName;
      }
      continue;
    }
    std::int32_t v = 0;
    if (!TryParseInt32(piece, v)) continue;
    switch (i) {
      case 1:
        FSize = v;
        FFlags |= kFlagSize;
        break;
      case 2:
        FStyle.Bold = (v & 1) != 0;
        FStyle.Underline = (v & 2) != 0;
        FStyle.StrikeOut = (v & 4) != 0;
        FStyle.Italic = (v & 8) != 0;
        FFlags |= kFlagStyle;
        break;
      case 3: {
        // Written as 0xRRGGBB; a Windows colour keeps red in the low byte.
        const auto rgb = static_cast<std::uint32_t>(v);
        FColor = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
        FFlags |= kFlagColor;
        break;
      }
      case 4:
        FCharset = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFF);
        FFlags |= kFlagCharset;
        break;
      case 5:
        FOrientation = v;
        FFlags |= kFlagOrientation;
        break;
      case 6:
        FPitch = v == 2 ? TFontPitch::fpFixed
                        : (v == 3 ? TFontPitch::fpVariable : TFontPitch::fpDefault);
        FFlags |= kFlagPitch;
        break;
      default:
        FHeight = v;
        FFlags |= kFlagHeight;
        break;
    }
  }
}

bool TQelFontProperty::ApplyTo(TQelFont& ioFont) const {
  if ((FFlags & kFlagName) != 0) ioFont.Name = FName;
  if ((FFlags & kFlagSize) != 0) ioFont.Size = FSize;
  if ((FFlags & kFlagStyle) != 0) ioFont.Style = FStyle;
  if ((FFlags & kFlagColor) != 0) ioFont.Color = FColor;
  if ((FFlags & kFlagCharset) != 0) ioFont.Charset = FCharset;
  if ((FFlags & kFlagOrientation) != 0) ioFont.Orientation = FOrientation;
  if ((FFlags & kFlagPitch) != 0) ioFont.Pitch = FPitch;
  return (FFlags & ~kFlagHeight) != 0;
}

void TQelFontProperty::ChangeFont(TQelFont& ioFont) const {
  if (ApplyTo(ioFont)) ioFont.Changed();
}

void TQelFontProperty::ChangeFont(TQelFont& ioFont, std::string_view AFotmat) {
  if (!AFotmat.empty()) Reload(AFotmat);
  ChangeFont(ioFont);
}

// ---- the store ------------------------------------------------------------------

TQelFontProperty* TQelMultiFonts::GetFont(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) return nullptr;
  return FMultiFonts[static_cast<std::size_t>(AIndex)].get();
}

TQelFontProperty* TQelMultiFonts::FindFontOfID(std::int32_t AID) const {
  const auto it = std::find(FMultiFontsID.begin(), FMultiFontsID.end(), AID);
  if (it == FMultiFontsID.end()) return nullptr;
  return FMultiFonts[static_cast<std::size_t>(it - FMultiFontsID.begin())].get();
}

void TQelMultiFonts::SetFontOfID(std::int32_t AID, std::string_view AFotmat) {
  if (TQelFontProperty* found = FindFontOfID(AID)) {
    found->Reload(AFotmat);
    return;
  }
  FMultiFonts.push_back(std::make_unique<TQelFontProperty>(AFotmat));
  FMultiFontsID.push_back(AID);
}

bool TQelMultiFonts::LoadFromIni(const std::string& AFullFileName,
                                 THandlingIniEvent AOnLoadingFonts) {
  if (!platform::IniFile::FileExists(AFullFileName)) return false;
  try {
    platform::IniFile ini(AFullFileName);
    // A file that cannot be read counts as missing: it must not empty the
    // scheme in force.
    if (ini.LoadStatus() != platform::ReadStatus::Ok) return false;
    const std::vector<std::string> keys = ini.ReadSectionKeys("_Fonts_");
    FMultiFonts.clear();
    FMultiFontsID.clear();
    for (const std::string& key : keys) {
      std::int32_t id = 0;
      if (!TryParseInt32(key, id) || id < 0) continue;
      FMultiFonts.push_back(std::make_unique<TQelFontProperty>(ini.ReadString("_Fonts_", key, "")));
      FMultiFontsID.push_back(id);
    }
    if (AOnLoadingFonts != nullptr) FOnLoadingFonts = AOnLoadingFonts;
    return DoLoadingFonts(ini);
  } catch (const std::exception&) {
    return false;
  }
}

bool TQelMultiFonts::SaveToIni(const std::string& AFullFileName, THandlingIniEvent AOnSavingFonts) {
  try {
    platform::IniFile ini(AFullFileName);
    for (std::size_t i = 0; i < FMultiFonts.size(); ++i) {
      // A file holds one value per id: the first, which lookups find.
      const auto first = std::find(FMultiFontsID.begin(), FMultiFontsID.end(), FMultiFontsID[i]);
      if (static_cast<std::size_t>(first - FMultiFontsID.begin()) != i) continue;
      ini.SetString("_Fonts_", std::to_string(FMultiFontsID[i]), FMultiFonts[i]->FormatString());
    }
    if (AOnSavingFonts != nullptr) FOnSavingFonts = AOnSavingFonts;
    const bool result = DoSavingFonts(ini);
    return ini.UpdateFile() && result;
  } catch (const std::exception&) {
    return false;
  }
}

bool TQelMultiFonts::DoLoadingFonts(platform::IniFile& AIniFile) {
  return FOnLoadingFonts != nullptr ? FOnLoadingFonts(AIniFile) : true;
}

bool TQelMultiFonts::DoSavingFonts(platform::IniFile& AIniFile) {
  return FOnSavingFonts != nullptr ? FOnSavingFonts(AIniFile) : true;
}

// The font's notification is held back while the base and the scheme are
// laid over each other, restored whatever happens, and then given once.
void TQelMultiFonts::ApplyQuietly(TQelFont& ioFont, const TQelFontProperty* ABaseProperty,
                                  const TQelFontProperty& AProperty) {
  struct Restore {
    TQelFont& font;
    std::function<void()>& saved;
    ~Restore() { font.OnChange = std::move(saved); }
  };
  FOldFontChangedProc = std::move(ioFont.OnChange);
  ioFont.OnChange = nullptr;
  bool changed = false;
  {
    Restore restore{ioFont, FOldFontChangedProc};
    if (ABaseProperty != nullptr) changed = ABaseProperty->ApplyTo(ioFont);
    changed = AProperty.ApplyTo(ioFont) || changed;
  }
  FOldFontChangedProc = nullptr;
  if (changed) ioFont.Changed();
}

void TQelMultiFonts::ChangeFontOfID(TQelFont& ioFont, std::int32_t AID,
                                    const TQelFontProperty* ABaseProperty) {
  const TQelFontProperty* found = FindFontOfID(AID);
  if (found == nullptr) return;
  ApplyQuietly(ioFont, ABaseProperty, *found);
}

void TQelMultiFonts::ChangeFontOfIndex(TQelFont& ioFont, int AIndex,
                                       const TQelFontProperty* ABaseProperty) {
  const TQelFontProperty* found = GetFont(AIndex);
  if (found == nullptr) return;
  ApplyQuietly(ioFont, ABaseProperty, *found);
}

// ---- font variables -------------------------------------------------------------

void TQelMultiFontVars::Add(std::int32_t* ioVariable, std::string AVariableName) {
  if (ioVariable == nullptr || AVariableName.empty()) return;
  if (std::find(FVariableList.begin(), FVariableList.end(), ioVariable) != FVariableList.end()) {
    return;
  }
  FVariableList.push_back(ioVariable);
  FVariableDefaultValueList.push_back(*ioVariable);
  FVariableName.push_back(std::move(AVariableName));
}

std::int32_t TQelMultiFontVars::GetValue(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) return 0;
  return *FVariableList[static_cast<std::size_t>(AIndex)];
}

void TQelMultiFontVars::SetValue(int AIndex, std::int32_t AValue) {
  if (AIndex < 0 || AIndex >= Count()) return;
  *FVariableList[static_cast<std::size_t>(AIndex)] = AValue;
}

std::string TQelMultiFontVars::GetName(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) return {};
  return FVariableName[static_cast<std::size_t>(AIndex)];
}

std::int32_t TQelMultiFontVars::GetDefaultValue(const std::int32_t* ioVariable) const {
  const auto it = std::find(FVariableList.begin(), FVariableList.end(), ioVariable);
  if (it == FVariableList.end()) return 0;
  return FVariableDefaultValueList[static_cast<std::size_t>(it - FVariableList.begin())];
}

}  // namespace purgo
