// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/AppMultiFonts.h"

#include <array>
#include <string_view>

#include "app/SettingsText.h"

namespace purgo {

// Key, variable and default id of every font variable, in registration
// order.
#define PURGO_APP_FONT_VARIABLES(X) \
  X(FONT_About, 1) \
  X(FONT_About_Button_Close, 1) \
  X(FONT_About_TitleBar, 4) \
  X(FONT_About_Button_DeveloperTeam, 1) \
  X(FONT_About_Button_VersionInfo, 1) \
  X(FONT_About_Label_ApplictionTitle, 3) \
  X(FONT_About_Label_Version, 1) \
  X(FONT_About_Label_ProductOverview, 1) \
  X(FONT_About_Label_RunningEnv, 1) \
  X(FONT_About_Label_OfficialWebsite, 11) \
  X(FONT_About_Label_FocusOnProduct, 11) \
  X(FONT_About_Label_TechnicalSupportEmail, 11) \
  X(FONT_DefragForm, 1) \
  X(FONT_DefragForm_Title, 4) \
  X(FONT_DefragForm_Label_TopicTitle, 7) \
  X(FONT_DefragForm_Label_TopicSubtitle, 1) \
  X(FONT_DefragForm_Label_DrivesList, 1) \
  X(FONT_DefragForm_Label_Status, 1) \
  X(FONT_DefragForm_Button_Analyse, 3) \
  X(FONT_DefragForm_Button_Defrag, 3) \
  X(FONT_DefragForm_List_VolumeInfo, 1) \
  X(FONT_DefragForm_Check_RemovableVolumes, 1) \
  X(FONT_FilesCleanerForm, 1) \
  X(FONT_FilesCleanerForm_Title, 4) \
  X(FONT_FilesCleanerForm_Label_TopicTitle, 7) \
  X(FONT_FilesCleanerForm_Label_TopicSubtitle, 1) \
  X(FONT_FilesCleanerForm_Label_FilesList, 1) \
  X(FONT_FilesCleanerForm_Label_SelectAll, 11) \
  X(FONT_FilesCleanerForm_Label_SelectNone, 11) \
  X(FONT_FilesCleanerForm_Label_Default, 11) \
  X(FONT_FilesCleanerForm_Label_Setting, 11) \
  X(FONT_FilesCleanerForm_Label_Status, 1) \
  X(FONT_FilesCleanerForm_Button_Scan, 3) \
  X(FONT_FilesCleanerForm_Button_Clean, 3) \
  X(FONT_FilesCleanerForm_List_Files, 1) \
  X(FONT_PGOProgressForm_Button_Cancel, 3) \
  X(FONT_PGOProgressForm_Label_Status, 1) \
  X(FONT_FCReportForm, 1) \
  X(FONT_FCReportForm_Title, 4) \
  X(FONT_FCReportForm_Label_ReportTitle, 7) \
  X(FONT_FCReportForm_Label_ReportDetails, 1) \
  X(FONT_FCReportForm_Label_SuggestTitle, 5) \
  X(FONT_FCReportForm_Label_SuggestDetails, 1) \
  X(FONT_FCReportForm_Label_AboutDefrag, 11) \
  X(FONT_FCReportForm_Button_NoDefrag, 3) \
  X(FONT_FCReportForm_Button_Defrag, 3) \
  X(FONT_FCSettingAddExtForm, 1) \
  X(FONT_FCSettingAddExtForm_Label_Ext, 1) \
  X(FONT_FCSettingAddExtForm_Label_Descrip, 1) \
  X(FONT_FCSettingAddExtForm_Text_Ext, 1) \
  X(FONT_FCSettingAddExtForm_Text_Descrip, 1) \
  X(FONT_FCSettingAddExtForm_Button_OK, 1) \
  X(FONT_FCSettingAddExtForm_Button_Cancel, 1) \
  X(FONT_FCSettingForm, 1) \
  X(FONT_FCSettingForm_Group_FileType, 1) \
  X(FONT_FCSettingForm_Group_Other, 1) \
  X(FONT_FCSettingForm_Label_ScanDir, 1) \
  X(FONT_FCSettingForm_Label_ScanExt, 1) \
  X(FONT_FCSettingForm_Label_IgnoreInDays, 1) \
  X(FONT_FCSettingForm_Check_IgnoreInDays, 1) \
  X(FONT_FCSettingForm_Check_FileAttribute, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeNormal, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeHidden, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeReadOnly, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeSystem, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeArchive, 1) \
  X(FONT_FCSettingForm_Check_FileAttributeEncrypted, 1) \
  X(FONT_FCSettingForm_Button_AddExt, 1) \
  X(FONT_FCSettingForm_Button_DeleteExt, 1) \
  X(FONT_FCSettingForm_Button_DefaultSetting, 1) \
  X(FONT_FCSettingForm_Button_Apply, 1) \
  X(FONT_FCSettingForm_Button_Cancel, 1) \
  X(FONT_FCSettingForm_List_Exts, 1) \
  X(FONT_FCSettingForm_List_Dir, 1) \
  X(FONT_PGOOneClickForm, 1) \
  X(FONT_PGOOneClickForm_Title, 4) \
  X(FONT_PGOOneClickForm_Label_Options, 1) \
  X(FONT_PGOOneClickForm_Check_CleanFiles, 1) \
  X(FONT_PGOOneClickForm_Check_Defrag, 1) \
  X(FONT_PGOOneClickForm_List_Volumes, 1) \
  X(FONT_PGOOneClickForm_Button_Start, 3) \
  X(FONT_PGOOneClickForm_Button_Cancel, 3) \
  X(FONT_PGOOneClickForm_Button_Background, 3) \
  X(FONT_PGOOpenPageForm, 1) \
  X(FONT_PGOOpenPageForm_Title, 4) \
  X(FONT_PGOOpenPageForm_Label_TopicTitle, 7) \
  X(FONT_PGOOpenPageForm_Label_TopicSubtitle, 1) \
  X(FONT_PGOOpenPageForm_Label_VolumeInfos, 1) \
  X(FONT_PGOOpenPageForm_Label_Status, 1) \
  X(FONT_PGOOpenPageForm_Button_OneClickTitle, 5) \
  X(FONT_PGOOpenPageForm_Button_OneClickSutitle, 1) \
  X(FONT_PGOOpenPageForm_Button_CleanFilesTitle, 5) \
  X(FONT_PGOOpenPageForm_Button_CleanFilesSubtitle, 1) \
  X(FONT_PGOOpenPageForm_Button_DefragmentTitle, 5) \
  X(FONT_PGOOpenPageForm_Button_DefragmentSubtitle, 1) \
  X(FONT_PGOOpenPageForm_Button_BuyDiskTitle, 5) \
  X(FONT_PGOOpenPageForm_Button_BuyDiskSubtitle, 1) \
  X(FONT_PGOOpenPageForm_List_VolumeInfos, 1) \

#define PURGO_DEFINE_FONT(name, id) std::int32_t name = id;
PURGO_APP_FONT_VARIABLES(PURGO_DEFINE_FONT)
#undef PURGO_DEFINE_FONT

TQelMultiFontVars* AppMultiFontVars = nullptr;
TAppMultiFonts* AppMultiFonts = nullptr;
TQelMultiFonts* AppBuiltInFonts = nullptr;

namespace {

constexpr char kFontIdsSection[] = "FontPropertyIDs";

struct FontVariable {
  std::int32_t* variable;
  std::string_view key;
  std::int32_t defaultId;
};

#define PURGO_FONT_ENTRY(name, id) FontVariable{&name, #name, id},
const std::array kFontVariables{PURGO_APP_FONT_VARIABLES(PURGO_FONT_ENTRY)};
#undef PURGO_FONT_ENTRY
static_assert(kFontVariables.size() == kAppFontVariableCount);

// The designed fonts, under ids 1 to 15.
constexpr std::string_view kBuiltInFonts[] = {
    "Tahoma,8,0,0,0,0",           "Tahoma,10,1,16777215,0,0", "Tahoma,10,1,0,0,0",
    "Tahoma,12,1,16777215,0,0",   "Tahoma,12,1,0,0,0",        "Tahoma,12,1,16777215,0,0",
    "Tahoma,14,1,0,0,0",          "Tahoma,14,1,16777215,0,0", "Tahoma,16,1,0,0,0",
    "Tahoma,16,1,16777215,0,0",   "Tahoma,8,2,255,0,0",       "Tahoma,8,0,16711680,0,0",
    "Tahoma,12,1,16711680,0,0",   "Tahoma,10,0,0,0,0",        "Tahoma,8,2,8421504",
};

}  // namespace

bool TAppMultiFonts::DoLoadingFonts(platform::IniFile& AIniFile) {
  TQelMultiFonts::DoLoadingFonts(AIniFile);
  if (AppMultiFontVars == nullptr) return true;
  for (int i = 0; i < AppMultiFontVars->Count(); ++i) {
    std::int32_t id = 0;
    if (!TryParseInt32(AIniFile.ReadString(kFontIdsSection, AppMultiFontVars->GetName(i), "0"),
                        id)) {
      id = 0;
    }
    AppMultiFontVars->SetValue(i, id);
  }
  return true;
}

bool TAppMultiFonts::DoSavingFonts(platform::IniFile& AIniFile) {
  TQelMultiFonts::DoSavingFonts(AIniFile);
  if (AppMultiFontVars == nullptr) return true;
  bool result = true;
  for (int i = 0; i < AppMultiFontVars->Count(); ++i) {
    result = AIniFile.SetString(kFontIdsSection, AppMultiFontVars->GetName(i),
                                std::to_string(AppMultiFontVars->GetValue(i))) &&
             result;
  }
  return result;
}

void CreateAppMultiFonts() {
  if (AppMultiFontVars == nullptr) {
    AppMultiFontVars = new TQelMultiFontVars();
    for (const FontVariable& f : kFontVariables) {
      *f.variable = f.defaultId;
      AppMultiFontVars->Add(f.variable, std::string(f.key));
    }
  }
  if (AppMultiFonts == nullptr) AppMultiFonts = new TAppMultiFonts();
  if (AppBuiltInFonts == nullptr) {
    AppBuiltInFonts = new TQelMultiFonts();
    for (std::size_t i = 0; i < std::size(kBuiltInFonts); ++i) {
      AppBuiltInFonts->SetFontOfID(static_cast<std::int32_t>(i + 1), kBuiltInFonts[i]);
    }
  }
}

void FreeAppMultiFonts() {
  delete AppBuiltInFonts;
  AppBuiltInFonts = nullptr;
  delete AppMultiFontVars;
  AppMultiFontVars = nullptr;
  delete AppMultiFonts;
  AppMultiFonts = nullptr;
}

bool LoadAppFonts(const std::string& APath) {
  if (AppMultiFonts == nullptr) return false;
  return AppMultiFonts->LoadFromIni(APath + "PurgoFonts.ini");
}

void ApplyFont(TQelFont& ioFont, const std::int32_t& ioVariable) {
  if (AppMultiFonts == nullptr || ioVariable == 0) return;
  const TQelFontProperty* base = nullptr;
  if (AppBuiltInFonts != nullptr && AppMultiFontVars != nullptr) {
    base = AppBuiltInFonts->FindFontOfID(AppMultiFontVars->GetDefaultValue(&ioVariable));
  }
  AppMultiFonts->ChangeFontOfID(ioFont, ioVariable, base);
}

}  // namespace purgo
