// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/AppMultiLangs.h"

#include <array>
#include <string_view>
#include <utility>

#include "engine/AppUtils.h"
#include "i18n/AppMultiFonts.h"

namespace purgo {

// Key, variable and built-in text of every string variable, in
// registration order.
#define PURGO_APP_STRING_VARIABLES(X) \
  X(STR_ApplicationTitle, "Purgo") \
  X(STR_Copyright, "Copyright (C) 2026 The Purgo developers") \
  X(STR_Yes, "Yes") \
  X(STR_No, "No") \
  X(STR_True, "True") \
  X(STR_False, "False") \
  X(STR_OK, "OK") \
  X(STR_Cancel, "Cancel") \
  X(STR_Close, "Close") \
  X(STR_Save, "Save") \
  X(STR_Open, "Open") \
  X(STR_Apply, "Apply") \
  X(STR_Abort, "Abort") \
  X(STR_Stop, "Stop") \
  X(STR_Start, "Start") \
  X(STR_Finished, "完成") \
  X(STR_Error, "Error") \
  X(STR_Warning, "Warning") \
  X(STR_Information, "Information") \
  X(STR_Question, "Question") \
  X(STR_Main_HelpMenu_HelpFile, "Help File") \
  X(STR_Main_HelpMenu_HelpGuide, "Fast Guide") \
  X(STR_Main_HelpMenu_Setting, "Settings...") \
  X(STR_Main_HelpMenu_TechnicalSupport, "Technical Support") \
  X(STR_Main_HelpMenu_HomePage, "Visit Homepage") \
  X(STR_Main_HelpMenu_Forum, "Visit Forum") \
  X(STR_Main_HelpMenu_About, "About...") \
  X(STR_Main_HelpMenu_Language, "Language") \
  X(STR_About_FormTitle, "About %s") \
  X(STR_About_Button_Close, "Close") \
  X(STR_About_Button_Team, "Developer Team") \
  X(STR_About_Button_MoreVersionInfo, "More Version Information") \
  X(STR_About_Label_Version, "Version: %s") \
  X(STR_About_Label_ProductOverview, "Product Overview:") \
  X(STR_About_Label_RunningEnv, "Running Environment: %s") \
  X(STR_About_Label_FocusOnProduct, "Focus on product") \
  X(STR_About_Label_HomePage, "Visit Our Homepage") \
  X(STR_About_Label_TechnicalSupportEmail, "Contect Us") \
  X(STR_PGC_ScanTypes0, "Temporary files") \
  X(STR_PGC_ScanTypes1, "Application caches") \
  X(STR_PGC_ScanTypes2, "Trash") \
  X(STR_PGC_ScanTypes3, "Recent documents list") \
  X(STR_PGC_ScanTypes4, "Prefetch files") \
  X(STR_PGC_ScanTypes5, "Downloaded program files") \
  X(STR_PGC_ScanTypes6, "Package downloads") \
  X(STR_PGC_ScanTypes7, "Office Setup Files") \
  X(STR_PGC_ScanTypes8, "Media Player Temporary Files") \
  X(STR_PGC_ScanTypes9, "Flash Player data") \
  X(STR_PGC_ScanTypes10, "Other Temporary Files (Please specify the file types in \"Settings...\")") \
  X(STR_PGCForm_Caption, "Purgo") \
  X(STR_PGCForm_Title, "Purgo") \
  X(STR_PGCForm_Label_Status0, "No cleaning yet.") \
  X(STR_PGCForm_Label_Status1, "Recent time of cleaning: %s.") \
  X(STR_PGCForm_Button_CloseHint, "Close") \
  X(STR_PGCForm_Button_MinHint, "Minimize") \
  X(STR_PGCForm_Button_HelpHint, "Help") \
  X(STR_PGCForm_Label_TopicSubtitle, "Running system will bring much more temporary files, users should clean these temporary files appropriately to make disk running more effectively. And it would not break system.") \
  X(STR_PGCForm_Button_AppTab, "应用程序临时文件") \
  X(STR_PGCForm_Button_ExtTab, "指定类型文件") \
  X(STR_PGCForm_AppTab_Label_TopicTitle, "清理应用程序临时文件") \
  X(STR_PGCForm_AppTab_Label_ScanListHint, "应用程序临时文件列表:") \
  X(STR_PGCForm_AppTab_Label_SelectAll, "Select All") \
  X(STR_PGCForm_AppTab_Label_SelectNone, "Select None") \
  X(STR_PGCForm_AppTab_Label_Default, "Recommended") \
  X(STR_PGCForm_AppTab_Button_Scan, "Scan") \
  X(STR_PGCForm_AppTab_Button_ScanHint, "Start to scan the disk.") \
  X(STR_PGCForm_AppTab_Button_Clean, "Clean") \
  X(STR_PGCForm_AppTab_Button_CleanHint, "Clean all files that checked.") \
  X(STR_PGCForm_ExtTab_Label_TopicTitle, "清理指定类型文件") \
  X(STR_PGCForm_ExtTab_Label_OptionsHint, "参数设置:") \
  X(STR_PGCForm_ExtTab_Label_ScanListHint, "指定类型文件列表:") \
  X(STR_PGCForm_ExtTab_Label_SelectAll, "Select All") \
  X(STR_PGCForm_ExtTab_SelectNone, "Select None") \
  X(STR_PGCForm_ExtTab_Button_Scan, "Scan") \
  X(STR_PGCForm_ExtTab_Button_ScanHint, "Start to scan the disk.") \
  X(STR_PGCForm_ExtTab_Button_Clean, "Clean") \
  X(STR_PGCForm_ExtTab_Button_CleanHint, "Clean all files that checked.") \
  X(STR_PGCForm_ExtTab_OptVT_DirTitle, "Scan Paths:") \
  X(STR_PGCForm_ExtTab_OptVT_ExtTitle, "File Extension:") \
  X(STR_PGCForm_ExtTab_OptVT_FileAttr, "File Attribute:") \
  X(STR_PGCForm_ExtTab_OptVT_IgnoreDays, "Ignore files within Days:") \
  X(STR_PGCForm_0, "Are you sure to clean those temporary files?") \
  X(STR_PGCForm_1, "Please select temporary file to clean.") \
  X(STR_PGCForm_2, "Cleaning now, please wait...\r\n%d files are cleaned. [%s]") \
  X(STR_PGCForm_3, "%s [%d files, %s]") \
  X(STR_PGCForm_4, "%d files are scanned out. [%s]\r\nScanning: %s") \
  X(STR_PGCForm_5, "%d files are scanned out. [%s]") \
  X(STR_PGCForm_2_One, "Cleaning now, please wait...\r\n%d file is cleaned. [%s]") \
  X(STR_PGCForm_3_One, "%s [%d file, %s]") \
  X(STR_PGCForm_4_One, "%d file is scanned out. [%s]\r\nScanning: %s") \
  X(STR_PGCForm_5_One, "%d file is scanned out. [%s]") \
  X(STR_PGCProgressForm_0, "Scanning Finished.\r\n%d files are scanned out. [%s]") \
  X(STR_PGCProgressForm_1, "Cleaning Finished.\r\n%d files are cleaned. [%s]") \
  X(STR_PGCProgressForm_2, "Scanning files, please wait...") \
  X(STR_PGCProgressForm_3, "Cleaning files, please wait...") \
  X(STR_PGCProgressForm_0_One, "Scanning Finished.\r\n%d file is scanned out. [%s]") \
  X(STR_PGCProgressForm_1_One, "Cleaning Finished.\r\n%d file is cleaned. [%s]") \
  X(STR_PGCExtSettingForm_Caption, "Setting") \
  X(STR_PGCExtSettingForm_Button_CloseHint, "Close") \
  X(STR_PGCExtSettingForm_Button_Apply, "Apply") \
  X(STR_PGCExtSettingForm_Button_Cancel, "Cancel") \
  X(STR_PGCExtSettingForm_Dir_Label_DirListHint, "Scanning the following specified position:") \
  X(STR_PGCExtSettingForm_Dir_DirList_Column0, "Path") \
  X(STR_PGCExtSettingForm_Dir_DirList_Column1, "Include Sub") \
  X(STR_PGCExtSettingForm_Dir_Check_IncludeSub, "Include Sub Directories") \
  X(STR_PGCExtSettingForm_Dir_Button_Browse, "...") \
  X(STR_PGCExtSettingForm_Dir_Button_BrowseHint, "选择文件夹") \
  X(STR_PGCExtSettingForm_Dir_Button_Replace, "Replace") \
  X(STR_PGCExtSettingForm_Dir_Button_Delete, "Delete") \
  X(STR_PGCExtSettingForm_Dir_Button_Add, "Add") \
  X(STR_PGCExtSettingForm_Ext_Label_ExtListHint, "Scanning the following specified file type:") \
  X(STR_PGCExtSettingForm_Ext_Label_SeleteAll, "Selete All") \
  X(STR_PGCExtSettingForm_Ext_Label_SelectNone, "Select None") \
  X(STR_PGCExtSettingForm_Ext_ExtList_Column0, "File Extension") \
  X(STR_PGCExtSettingForm_Ext_Button_Replace, "Replace") \
  X(STR_PGCExtSettingForm_Ext_Button_Delete, "Delete") \
  X(STR_PGCExtSettingForm_Ext_Button_Add, "Add") \
  X(STR_PGCExtSettingForm_FileAttr_Label_AttrListHint, "Scanning the following file properties:") \
  X(STR_PGCExtSettingForm_FileAttr_Label_SeleteAll, "Selete All") \
  X(STR_PGCExtSettingForm_FileAttr_Label_SelectNone, "Select None") \
  X(STR_PGCExtSettingForm_FileAttr_FileAttrList_Column0, "File Attributes") \
  X(STR_PGCExtSettingForm_FileAttributeNormal, "Normal") \
  X(STR_PGCExtSettingForm_FileAttributeHidden, "Hidden") \
  X(STR_PGCExtSettingForm_FileAttributeReadOnly, "Read-Only") \
  X(STR_PGCExtSettingForm_FileAttributeSystem, "System") \
  X(STR_PGCExtSettingForm_FileAttributeArchive, "Archive") \
  X(STR_PGCExtSettingForm_FileAttributeEncrypted, "Encrypted") \
  X(STR_PGCExtSettingForm_InvalidExtension, "Invalid Extension.") \
  X(STR_PGCExtSettingForm_ExistExtension, "Exist Extension.") \
  X(STR_PGCExtSettingForm_InvalidPath, "Invalid path.") \
  X(STR_PGCExtSettingForm_ExistPath, "Path already exists.") \
  X(STR_PGCExtSettingForm_InvalidFile, "Invalid file.") \
  X(STR_PGCExtSettingForm_ExistFile, "File already exists.") \
  X(STR_Main_HelpMenu_OpenFailed, "No program on this computer could open:\n%s") \
  X(STR_Main_HelpMenu_HelpFileMissing, "The user manual was not found:\n%s") \
  X(STR_PGCForm_ExtTab_OptVT_Column0, "Title") \
  X(STR_PGCForm_ExtTab_OptVT_Column1, "Details") \
  X(STR_OpenAddressFailed, "%s could not be opened.") \
  X(STR_Retry, "Retry") \
  X(STR_Ignore, "Ignore") \
  X(STR_PGCForm_6, "Files ticked: %d (%s)") \
  X(STR_PGCForm_7, "Are you sure you want to delete these files?") \
  X(STR_PGCForm_List_Name, "Name") \
  X(STR_PGCForm_List_Folder, "Folder") \
  X(STR_PGCForm_List_Size, "Size") \
  X(STR_PGCProgressForm_4, "Cleaning stopped.\r\n%d files cleaned. [%s]") \
  X(STR_PGCForm_Label_SettingsUnwritable, "Settings cannot be saved: the settings folder cannot be made or written. Built-in settings are in use.") \

#define PURGO_DEFINE_STRING(name, text) std::string name = text;
PURGO_APP_STRING_VARIABLES(PURGO_DEFINE_STRING)
#undef PURGO_DEFINE_STRING

TAppMultiLangs* AppMultiLangs = nullptr;
TQelMultiLanguageVars* AppMultiLangVars = nullptr;

namespace {

constexpr char kStringSection[] = "StringRes";

struct StringVariable {
  std::string* variable;
  std::string_view key;
  std::string_view builtIn;
};

#define PURGO_STRING_ENTRY(name, text) StringVariable{&name, #name, text},
const std::array kStringVariables{PURGO_APP_STRING_VARIABLES(PURGO_STRING_ENTRY)};
#undef PURGO_STRING_ENTRY
static_assert(kStringVariables.size() == kAppStringVariableCount);

// The texts for a count of one and their texts for other counts. A pack
// made before the singular texts existed has only the plural one, which
// then stands for one too rather than an English text among its own.
struct SingularText {
  std::string* one;
  std::string_view key;
  const std::string* many;
};
#define PURGO_SINGULAR(name) SingularText{&name##_One, #name "_One", &name}
const std::array kSingularTexts{
    PURGO_SINGULAR(STR_PGCForm_2),         PURGO_SINGULAR(STR_PGCForm_3),
    PURGO_SINGULAR(STR_PGCForm_4),         PURGO_SINGULAR(STR_PGCForm_5),
    PURGO_SINGULAR(STR_PGCProgressForm_0), PURGO_SINGULAR(STR_PGCProgressForm_1),
};
#undef PURGO_SINGULAR

struct LanguageWindow {
  std::function<bool()> isVisible;
  std::function<void()> refresh;
};

std::array<LanguageWindow, 3>& LanguageWindows() {
  static std::array<LanguageWindow, 3> windows;
  return windows;
}

}  // namespace

// ---- the catalogue of this program ---------------------------------------------

TAppMultiLangs::TAppMultiLangs(const std::string& AIniFileName, const std::string& APath)
    : TQelMultiLanguages(AIniFileName, APath) {
  // The project's pages, as the build names them. Support is the issue
  // tracker: the project has no mail address to write to.
  FURLForum = PURGO_FORUM_URL;
  FURLHomePage = PURGO_HOMEPAGE_URL;
  FURLTechnicalSupportEmail = PURGO_SUPPORT_URL;
  FURLResourceOnLine = PURGO_HOMEPAGE_URL;
  FURLFocusOnProduct = PURGO_HOMEPAGE_URL;
  FURLOfficialWebsite = PURGO_HOMEPAGE_URL;
  FURLLiveUpdate = PURGO_HOMEPAGE_URL;
}

bool TAppMultiLangs::DoLoadingStrings(platform::IniFile& AIniFile) {
  TQelMultiLanguages::DoLoadingStrings(AIniFile);
  if (AppMultiLangVars != nullptr) {
    for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
      std::string* variable = AppMultiLangVars->GetVariable(i);
      *variable = UnescapeString(AIniFile.ReadString(kStringSection, AppMultiLangVars->GetName(i),
                                                     *variable));
    }
    for (const SingularText& t : kSingularTexts) {
      if (!AIniFile.ValueExists(kStringSection, t.key)) *t.one = *t.many;
    }
  }
  if (FConfigs != nullptr) {
    FConfigs->SetApplicationTitle(STR_ApplicationTitle.empty() ? FConfigs->ApplicationTitleDup()
                                                               : STR_ApplicationTitle);
  }
  return true;
}

bool TAppMultiLangs::DoSavingStrings(platform::IniFile& AIniFile) {
  TQelMultiLanguages::DoSavingStrings(AIniFile);
  if (AppMultiLangVars == nullptr) return true;
  bool result = true;
  for (int i = 0; i < AppMultiLangVars->Count(); ++i) {
    result = AIniFile.SetString(kStringSection, AppMultiLangVars->GetName(i),
                                EscapeString(AppMultiLangVars->GetValue(i))) &&
             result;
  }
  return result;
}

void TAppMultiLangs::DoLanguageChanged() {
  TQelMultiLanguages::DoLanguageChanged();
  FHelpFile = CurrentLanguagePath() + "help.chm";
  FHelpFileIntroduction = FHelpFile;
  FHelpFileQuickStart = FHelpFile;
  LoadAppFonts(CurrentLanguagePath());
  // Kept in 16 bits, so a language without an id is stored as 65535. A
  // refused write keeps the id in memory; Save at exit tries again.
  if (FConfigs != nullptr) FConfigs->SetLanguageID(static_cast<std::uint16_t>(CurrentLanguageID()));
  // Copies, so that a window may unregister from inside its refresh.
  const std::array<LanguageWindow, 3> windows = LanguageWindows();
  for (const LanguageWindow& w : windows) {
    if (w.refresh && w.isVisible && w.isVisible()) w.refresh();
  }
}

void SelectStartLanguage(TQelMultiLanguages& ALanguages, const TAppConfigs& AConfigs) {
  constexpr std::int32_t kEnglish = 1033;
  if (AConfigs.LanguageStored()) {
    ALanguages.SetCurrentLanguageID(AConfigs.LanguageID());
    return;
  }
  const int local = ALanguages.IndexOfSystemLanguage();
  if (local >= 0) {
    ALanguages.SetIndex(local);
  } else {
    ALanguages.SetCurrentLanguageID(kEnglish);
  }
}

// ---- the process-wide objects ---------------------------------------------------

void CreateAppMultiLangs() {
  if (AppMultiLangs == nullptr) AppMultiLangs = new TAppMultiLangs("PurgoStrs.ini", "");
  if (AppMultiLangVars == nullptr) {
    AppMultiLangVars = new TQelMultiLanguageVars();
    for (const StringVariable& s : kStringVariables) {
      *s.variable = std::string(s.builtIn);
      AppMultiLangVars->Add(s.variable, std::string(s.key));
    }
  }
}

void FreeAppMultiLangs() {
  delete AppMultiLangs;
  AppMultiLangs = nullptr;
  delete AppMultiLangVars;
  AppMultiLangVars = nullptr;
  for (const StringVariable& s : kStringVariables) s.variable->clear();
}

void RegisterLanguageWindow(TAppLanguageWindow AWindow, std::function<bool()> AIsVisible,
                            std::function<void()> ARefreshMultiLangs) {
  LanguageWindow& w = LanguageWindows()[static_cast<std::size_t>(AWindow)];
  w.isVisible = std::move(AIsVisible);
  w.refresh = std::move(ARefreshMultiLangs);
}

void UnregisterLanguageWindow(TAppLanguageWindow AWindow) {
  LanguageWindows()[static_cast<std::size_t>(AWindow)] = LanguageWindow{};
}

}  // namespace purgo
