// SPDX-License-Identifier: GPL-3.0-or-later
// The program's font variables and its font scheme operations.
//
// Every styled control has a font variable: a process-wide integer holding
// a font id. The current language's scheme ("PurgoFonts.ini") maps ids to
// descriptions and may give each variable another id. A window applies a
// variable to a control's font with ApplyFont when it refreshes its texts.
#pragma once

#include <cstdint>
#include <string>

#include "i18n/QSMultiFonts.h"

namespace purgo {

// The font variables, in registration order, each starting with its
// default id. Those of the about dialog, the progress dialog
// (FONT_PGOProgressForm_*) and FONT_FCSettingForm are applied by this
// program's windows; the others belong to windows it does not have and are
// only carried through scheme files.
extern std::int32_t FONT_About;
extern std::int32_t FONT_About_Button_Close;
extern std::int32_t FONT_About_TitleBar;
extern std::int32_t FONT_About_Button_DeveloperTeam;
extern std::int32_t FONT_About_Button_VersionInfo;
extern std::int32_t FONT_About_Label_ApplictionTitle;
extern std::int32_t FONT_About_Label_Version;
extern std::int32_t FONT_About_Label_ProductOverview;
extern std::int32_t FONT_About_Label_RunningEnv;
extern std::int32_t FONT_About_Label_OfficialWebsite;
extern std::int32_t FONT_About_Label_FocusOnProduct;
extern std::int32_t FONT_About_Label_TechnicalSupportEmail;
extern std::int32_t FONT_DefragForm;
extern std::int32_t FONT_DefragForm_Title;
extern std::int32_t FONT_DefragForm_Label_TopicTitle;
extern std::int32_t FONT_DefragForm_Label_TopicSubtitle;
extern std::int32_t FONT_DefragForm_Label_DrivesList;
extern std::int32_t FONT_DefragForm_Label_Status;
extern std::int32_t FONT_DefragForm_Button_Analyse;
extern std::int32_t FONT_DefragForm_Button_Defrag;
extern std::int32_t FONT_DefragForm_List_VolumeInfo;
extern std::int32_t FONT_DefragForm_Check_RemovableVolumes;
extern std::int32_t FONT_FilesCleanerForm;
extern std::int32_t FONT_FilesCleanerForm_Title;
extern std::int32_t FONT_FilesCleanerForm_Label_TopicTitle;
extern std::int32_t FONT_FilesCleanerForm_Label_TopicSubtitle;
extern std::int32_t FONT_FilesCleanerForm_Label_FilesList;
extern std::int32_t FONT_FilesCleanerForm_Label_SelectAll;
extern std::int32_t FONT_FilesCleanerForm_Label_SelectNone;
extern std::int32_t FONT_FilesCleanerForm_Label_Default;
extern std::int32_t FONT_FilesCleanerForm_Label_Setting;
extern std::int32_t FONT_FilesCleanerForm_Label_Status;
extern std::int32_t FONT_FilesCleanerForm_Button_Scan;
extern std::int32_t FONT_FilesCleanerForm_Button_Clean;
extern std::int32_t FONT_FilesCleanerForm_List_Files;
extern std::int32_t FONT_PGOProgressForm_Button_Cancel;
extern std::int32_t FONT_PGOProgressForm_Label_Status;
extern std::int32_t FONT_FCReportForm;
extern std::int32_t FONT_FCReportForm_Title;
extern std::int32_t FONT_FCReportForm_Label_ReportTitle;
extern std::int32_t FONT_FCReportForm_Label_ReportDetails;
extern std::int32_t FONT_FCReportForm_Label_SuggestTitle;
extern std::int32_t FONT_FCReportForm_Label_SuggestDetails;
extern std::int32_t FONT_FCReportForm_Label_AboutDefrag;
extern std::int32_t FONT_FCReportForm_Button_NoDefrag;
extern std::int32_t FONT_FCReportForm_Button_Defrag;
extern std::int32_t FONT_FCSettingAddExtForm;
extern std::int32_t FONT_FCSettingAddExtForm_Label_Ext;
extern std::int32_t FONT_FCSettingAddExtForm_Label_Descrip;
extern std::int32_t FONT_FCSettingAddExtForm_Text_Ext;
extern std::int32_t FONT_FCSettingAddExtForm_Text_Descrip;
extern std::int32_t FONT_FCSettingAddExtForm_Button_OK;
extern std::int32_t FONT_FCSettingAddExtForm_Button_Cancel;
extern std::int32_t FONT_FCSettingForm;
extern std::int32_t FONT_FCSettingForm_Group_FileType;
extern std::int32_t FONT_FCSettingForm_Group_Other;
extern std::int32_t FONT_FCSettingForm_Label_ScanDir;
extern std::int32_t FONT_FCSettingForm_Label_ScanExt;
extern std::int32_t FONT_FCSettingForm_Label_IgnoreInDays;
extern std::int32_t FONT_FCSettingForm_Check_IgnoreInDays;
extern std::int32_t FONT_FCSettingForm_Check_FileAttribute;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeNormal;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeHidden;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeReadOnly;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeSystem;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeArchive;
extern std::int32_t FONT_FCSettingForm_Check_FileAttributeEncrypted;
extern std::int32_t FONT_FCSettingForm_Button_AddExt;
extern std::int32_t FONT_FCSettingForm_Button_DeleteExt;
extern std::int32_t FONT_FCSettingForm_Button_DefaultSetting;
extern std::int32_t FONT_FCSettingForm_Button_Apply;
extern std::int32_t FONT_FCSettingForm_Button_Cancel;
extern std::int32_t FONT_FCSettingForm_List_Exts;
extern std::int32_t FONT_FCSettingForm_List_Dir;
extern std::int32_t FONT_PGOOneClickForm;
extern std::int32_t FONT_PGOOneClickForm_Title;
extern std::int32_t FONT_PGOOneClickForm_Label_Options;
extern std::int32_t FONT_PGOOneClickForm_Check_CleanFiles;
extern std::int32_t FONT_PGOOneClickForm_Check_Defrag;
extern std::int32_t FONT_PGOOneClickForm_List_Volumes;
extern std::int32_t FONT_PGOOneClickForm_Button_Start;
extern std::int32_t FONT_PGOOneClickForm_Button_Cancel;
extern std::int32_t FONT_PGOOneClickForm_Button_Background;
extern std::int32_t FONT_PGOOpenPageForm;
extern std::int32_t FONT_PGOOpenPageForm_Title;
extern std::int32_t FONT_PGOOpenPageForm_Label_TopicTitle;
extern std::int32_t FONT_PGOOpenPageForm_Label_TopicSubtitle;
extern std::int32_t FONT_PGOOpenPageForm_Label_VolumeInfos;
extern std::int32_t FONT_PGOOpenPageForm_Label_Status;
extern std::int32_t FONT_PGOOpenPageForm_Button_OneClickTitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_OneClickSutitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_CleanFilesTitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_CleanFilesSubtitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_DefragmentTitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_DefragmentSubtitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_BuyDiskTitle;
extern std::int32_t FONT_PGOOpenPageForm_Button_BuyDiskSubtitle;
extern std::int32_t FONT_PGOOpenPageForm_List_VolumeInfos;

inline constexpr int kAppFontVariableCount = 98;

// A font store that also reads and writes the font variables: section
// "FontPropertyIDs" maps each variable's key to its id in this language.
class TAppMultiFonts : public TQelMultiFonts {
 protected:
  // Every registered variable takes its id from the file; a variable the
  // file does not name gets 0, which ApplyFont leaves alone.
  bool DoLoadingFonts(platform::IniFile& AIniFile) override;
  bool DoSavingFonts(platform::IniFile& AIniFile) override;
};

// The process-wide objects; null until CreateAppMultiFonts.
extern TQelMultiFontVars* AppMultiFontVars;  // every font variable, registered
extern TAppMultiFonts* AppMultiFonts;        // the current language's scheme
extern TQelMultiFonts* AppBuiltInFonts;      // ids 1 to 15, the designed fonts

// Resets every font variable to its default id and creates the registry
// (all variables registered), an empty store and the built-in table, each
// only when it does not exist yet.
void CreateAppMultiFonts();
// Frees the built-in table, the registry and the store, in that order.
void FreeAppMultiFonts();

// Loads APath + "PurgoFonts.ini" (APath is a language folder ending in the
// delimiter) into the store. Without such a file the previous scheme and
// the previous ids stay in force.
bool LoadAppFonts(const std::string& APath);

// Applies a font variable to a control's font: nothing when there is no
// store or the variable's id is 0, nor when the current scheme lacks that
// id. Otherwise the built-in description of the variable's default id
// is laid down first and the scheme's description over it, so a scheme
// entry that gives only a face and a size keeps the designed style and
// colour.
void ApplyFont(TQelFont& ioFont, const std::int32_t& ioVariable);

}  // namespace purgo
