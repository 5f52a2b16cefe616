// SPDX-License-Identifier: GPL-3.0-or-later
// The program's string table: one process-wide text per user-visible
// text, and the language catalogue that fills them from "PurgoStrs.ini".
//
// Each variable starts with its built-in text and is overwritten whenever a
// language is loaded; a key that the language's file lacks keeps the text
// it had (built-in or from the language before). Windows copy the current
// texts when they refresh; texts with placeholders are format strings for
// QelFormat / TQelDynString. In string files, values carry the escapes of
// EscapeString: a line break is written \n, a tab \t, a backslash \\ .
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/AppConfigs.h"
#include "i18n/QSMultiLanguages.h"

namespace purgo {

// The string variables, in registration order; each is stored under its
// own name as key. Some built-in texts are Chinese and some are misspelt:
// they are the system's own, and the language packs correct them.
// General texts.
extern std::string STR_ApplicationTitle;
extern std::string STR_Copyright;
extern std::string STR_Yes;
extern std::string STR_No;
extern std::string STR_True;
extern std::string STR_False;
extern std::string STR_OK;
extern std::string STR_Cancel;
extern std::string STR_Close;
extern std::string STR_Save;
extern std::string STR_Open;
extern std::string STR_Apply;
extern std::string STR_Abort;
extern std::string STR_Stop;
extern std::string STR_Start;
extern std::string STR_Finished;
extern std::string STR_Error;
extern std::string STR_Warning;
extern std::string STR_Information;
extern std::string STR_Question;

// The main window's Help menu.
extern std::string STR_Main_HelpMenu_HelpFile;
extern std::string STR_Main_HelpMenu_HelpGuide;
extern std::string STR_Main_HelpMenu_Setting;
extern std::string STR_Main_HelpMenu_TechnicalSupport;
extern std::string STR_Main_HelpMenu_HomePage;
extern std::string STR_Main_HelpMenu_Forum;
extern std::string STR_Main_HelpMenu_About;
extern std::string STR_Main_HelpMenu_Language;  // the languages' submenu

// The about dialog.
extern std::string STR_About_FormTitle;
extern std::string STR_About_Button_Close;
extern std::string STR_About_Button_Team;
extern std::string STR_About_Button_MoreVersionInfo;
extern std::string STR_About_Label_Version;
extern std::string STR_About_Label_ProductOverview;
extern std::string STR_About_Label_RunningEnv;
extern std::string STR_About_Label_FocusOnProduct;
extern std::string STR_About_Label_HomePage;
extern std::string STR_About_Label_TechnicalSupportEmail;

// Names of the cleaning categories, scan types 0 to 10.
extern std::string STR_PGC_ScanTypes0;
extern std::string STR_PGC_ScanTypes1;
extern std::string STR_PGC_ScanTypes2;
extern std::string STR_PGC_ScanTypes3;
extern std::string STR_PGC_ScanTypes4;
extern std::string STR_PGC_ScanTypes5;
extern std::string STR_PGC_ScanTypes6;
extern std::string STR_PGC_ScanTypes7;
extern std::string STR_PGC_ScanTypes8;
extern std::string STR_PGC_ScanTypes9;
extern std::string STR_PGC_ScanTypes10;

// The main window, its pages and their messages.
extern std::string STR_PGCForm_Caption;
extern std::string STR_PGCForm_Title;
extern std::string STR_PGCForm_Label_Status0;
extern std::string STR_PGCForm_Label_Status1;
extern std::string STR_PGCForm_Button_CloseHint;
extern std::string STR_PGCForm_Button_MinHint;
extern std::string STR_PGCForm_Button_HelpHint;
extern std::string STR_PGCForm_Label_TopicSubtitle;
extern std::string STR_PGCForm_Button_AppTab;
extern std::string STR_PGCForm_Button_ExtTab;
extern std::string STR_PGCForm_AppTab_Label_TopicTitle;
extern std::string STR_PGCForm_AppTab_Label_ScanListHint;
extern std::string STR_PGCForm_AppTab_Label_SelectAll;
extern std::string STR_PGCForm_AppTab_Label_SelectNone;
extern std::string STR_PGCForm_AppTab_Label_Default;
extern std::string STR_PGCForm_AppTab_Button_Scan;
extern std::string STR_PGCForm_AppTab_Button_ScanHint;
extern std::string STR_PGCForm_AppTab_Button_Clean;
extern std::string STR_PGCForm_AppTab_Button_CleanHint;
extern std::string STR_PGCForm_ExtTab_Label_TopicTitle;
extern std::string STR_PGCForm_ExtTab_Label_OptionsHint;
extern std::string STR_PGCForm_ExtTab_Label_ScanListHint;
extern std::string STR_PGCForm_ExtTab_Label_SelectAll;
extern std::string STR_PGCForm_ExtTab_SelectNone;
extern std::string STR_PGCForm_ExtTab_Button_Scan;
extern std::string STR_PGCForm_ExtTab_Button_ScanHint;
extern std::string STR_PGCForm_ExtTab_Button_Clean;
extern std::string STR_PGCForm_ExtTab_Button_CleanHint;
extern std::string STR_PGCForm_ExtTab_OptVT_DirTitle;
extern std::string STR_PGCForm_ExtTab_OptVT_ExtTitle;
extern std::string STR_PGCForm_ExtTab_OptVT_FileAttr;
extern std::string STR_PGCForm_ExtTab_OptVT_IgnoreDays;
extern std::string STR_PGCForm_0;
extern std::string STR_PGCForm_1;
extern std::string STR_PGCForm_2;
extern std::string STR_PGCForm_3;
extern std::string STR_PGCForm_4;
extern std::string STR_PGCForm_5;
// STR_PGCForm_2 to _5 for a count of exactly one (see CountText).
extern std::string STR_PGCForm_2_One;
extern std::string STR_PGCForm_3_One;
extern std::string STR_PGCForm_4_One;
extern std::string STR_PGCForm_5_One;

// The progress dialog.
extern std::string STR_PGCProgressForm_0;
extern std::string STR_PGCProgressForm_1;
extern std::string STR_PGCProgressForm_2;
extern std::string STR_PGCProgressForm_3;
extern std::string STR_PGCProgressForm_0_One;
extern std::string STR_PGCProgressForm_1_One;

// The settings dialog.
extern std::string STR_PGCExtSettingForm_Caption;
extern std::string STR_PGCExtSettingForm_Button_CloseHint;
extern std::string STR_PGCExtSettingForm_Button_Apply;
extern std::string STR_PGCExtSettingForm_Button_Cancel;
extern std::string STR_PGCExtSettingForm_Dir_Label_DirListHint;
extern std::string STR_PGCExtSettingForm_Dir_DirList_Column0;
extern std::string STR_PGCExtSettingForm_Dir_DirList_Column1;
extern std::string STR_PGCExtSettingForm_Dir_Check_IncludeSub;
extern std::string STR_PGCExtSettingForm_Dir_Button_Browse;
extern std::string STR_PGCExtSettingForm_Dir_Button_BrowseHint;
extern std::string STR_PGCExtSettingForm_Dir_Button_Replace;
extern std::string STR_PGCExtSettingForm_Dir_Button_Delete;
extern std::string STR_PGCExtSettingForm_Dir_Button_Add;
extern std::string STR_PGCExtSettingForm_Ext_Label_ExtListHint;
extern std::string STR_PGCExtSettingForm_Ext_Label_SeleteAll;
extern std::string STR_PGCExtSettingForm_Ext_Label_SelectNone;
extern std::string STR_PGCExtSettingForm_Ext_ExtList_Column0;
extern std::string STR_PGCExtSettingForm_Ext_Button_Replace;
extern std::string STR_PGCExtSettingForm_Ext_Button_Delete;
extern std::string STR_PGCExtSettingForm_Ext_Button_Add;
extern std::string STR_PGCExtSettingForm_FileAttr_Label_AttrListHint;
extern std::string STR_PGCExtSettingForm_FileAttr_Label_SeleteAll;
extern std::string STR_PGCExtSettingForm_FileAttr_Label_SelectNone;
extern std::string STR_PGCExtSettingForm_FileAttr_FileAttrList_Column0;
extern std::string STR_PGCExtSettingForm_FileAttributeNormal;
extern std::string STR_PGCExtSettingForm_FileAttributeHidden;
extern std::string STR_PGCExtSettingForm_FileAttributeReadOnly;
extern std::string STR_PGCExtSettingForm_FileAttributeSystem;
extern std::string STR_PGCExtSettingForm_FileAttributeArchive;
extern std::string STR_PGCExtSettingForm_FileAttributeEncrypted;
extern std::string STR_PGCExtSettingForm_InvalidExtension;
extern std::string STR_PGCExtSettingForm_ExistExtension;
extern std::string STR_PGCExtSettingForm_InvalidPath;
extern std::string STR_PGCExtSettingForm_ExistPath;
extern std::string STR_PGCExtSettingForm_InvalidFile;
extern std::string STR_PGCExtSettingForm_ExistFile;
extern std::string STR_Retry;
extern std::string STR_Ignore;
extern std::string STR_PGCForm_6;
extern std::string STR_PGCForm_7;
extern std::string STR_PGCForm_List_Name;
extern std::string STR_PGCForm_List_Folder;
extern std::string STR_PGCForm_List_Size;
extern std::string STR_PGCProgressForm_4;
// The status line, once, when the settings folder cannot be made or written.
extern std::string STR_PGCForm_Label_SettingsUnwritable;
inline constexpr int kAppStringVariableCount = 147;

// What the Help menu says when it cannot open what was asked for (%s: the
// file or address).
extern std::string STR_Main_HelpMenu_OpenFailed;
extern std::string STR_Main_HelpMenu_HelpFileMissing;
// The file-type page's options columns; a page's address that opens with
// no program.
extern std::string STR_PGCForm_ExtTab_OptVT_Column0;
extern std::string STR_PGCForm_ExtTab_OptVT_Column1;
extern std::string STR_OpenAddressFailed;

// The text of a count: AOne when ACount is exactly one, AMany otherwise
// (English says "0 files", "1 file", "2 files"; a language without plural
// forms gives both the same text). A string loaded from a pack that has
// only AMany's key gets AMany's text for AOne too.
inline const std::string& CountText(std::int64_t ACount, const std::string& AMany, const std::string& AOne) {
  return ACount == 1 ? AOne : AMany;
}

// The catalogue of this program: loading a language fills the string
// variables, saving writes them, and every language change loads the
// language's font scheme, records the language in the configuration and
// refreshes the visible windows.
class TAppMultiLangs : public TQelMultiLanguages {
 public:
  TAppMultiLangs(const std::string& AIniFileName, const std::string& APath);

  // Addresses the Help menu and the about dialog open.
  const std::string& URLForum() const { return FURLForum; }
  void SetURLForum(std::string AValue) { FURLForum = std::move(AValue); }
  const std::string& URLHomePage() const { return FURLHomePage; }
  void SetURLHomePage(std::string AValue) { FURLHomePage = std::move(AValue); }
  const std::string& URLTechnicalSupportEmail() const { return FURLTechnicalSupportEmail; }
  void SetURLTechnicalSupportEmail(std::string AValue) { FURLTechnicalSupportEmail = std::move(AValue); }
  const std::string& URLResourceOnLine() const { return FURLResourceOnLine; }
  void SetURLResourceOnLine(std::string AValue) { FURLResourceOnLine = std::move(AValue); }
  const std::string& URLFocusOnProduct() const { return FURLFocusOnProduct; }
  void SetURLFocusOnProduct(std::string AValue) { FURLFocusOnProduct = std::move(AValue); }
  const std::string& URLOfficialWebsite() const { return FURLOfficialWebsite; }
  void SetURLOfficialWebsite(std::string AValue) { FURLOfficialWebsite = std::move(AValue); }
  const std::string& URLLiveUpdate() const { return FURLLiveUpdate; }
  void SetURLLiveUpdate(std::string AValue) { FURLLiveUpdate = std::move(AValue); }

  // The current language folder's "help.chm", whether it exists or not;
  // empty before the first language change.
  const std::string& HelpFile() const { return FHelpFile; }
  const std::string& HelpFileIntroduction() const { return FHelpFileIntroduction; }
  const std::string& HelpFileQuickStart() const { return FHelpFileQuickStart; }

  // The configuration that follows the language: a load sets its title
  // from STR_ApplicationTitle (its built-in title when that is empty), and
  // every language change writes the language's id to it at once. Not
  // owned; null until the start-up binds the process's configuration.
  TAppConfigs* Configs() const { return FConfigs; }
  void SetConfigs(TAppConfigs* AValue) { FConfigs = AValue; }

 protected:
  // Reads every registered variable from "StringRes" (its current text is
  // the default), decodes the escapes, and sets the configuration's title.
  bool DoLoadingStrings(platform::IniFile& AIniFile) override;
  // Sets every registered variable, escaped, into "StringRes".
  bool DoSavingStrings(platform::IniFile& AIniFile) override;
  void DoLanguageChanged() override;

 private:
  std::string FURLForum;
  std::string FURLHomePage;
  std::string FURLTechnicalSupportEmail;
  std::string FURLResourceOnLine;
  std::string FURLFocusOnProduct;
  std::string FURLOfficialWebsite;
  std::string FURLLiveUpdate;
  std::string FHelpFile;
  std::string FHelpFileIntroduction;
  std::string FHelpFileQuickStart;
  TAppConfigs* FConfigs = nullptr;
};

// The process-wide objects; null until CreateAppMultiLangs.
extern TAppMultiLangs* AppMultiLangs;          // on "PurgoStrs.ini" in "Langs/"
extern TQelMultiLanguageVars* AppMultiLangVars;  // every string variable

// Gives every string variable its built-in text and creates the catalogue
// and the registry (all variables registered), each only when it does not
// exist yet. No file is read.
void CreateAppMultiLangs();
// Frees the catalogue and the registry and empties the string variables.
void FreeAppMultiLangs();

// Selects the language a start begins in, on a parsed catalogue: the
// stored one (SetCurrentLanguageID) once the configuration holds one;
// before that, on a first start, the pack that fits the user's messages
// locale, or English when none does, as without a locale.
void SelectStartLanguage(TQelMultiLanguages& ALanguages, const TAppConfigs& AConfigs);

// The windows that follow a language change, refreshed in this order.
enum class TAppLanguageWindow { About, Main, Setting };

// A window registers when it is created and unregisters before it is
// destroyed. After every language change each registered window that
// reports itself visible gets its RefreshMultiLangs called; hidden ones
// refresh when they are next shown. Registering again replaces the hooks.
void RegisterLanguageWindow(TAppLanguageWindow AWindow, std::function<bool()> AIsVisible,
                            std::function<void()> ARefreshMultiLangs);
void UnregisterLanguageWindow(TAppLanguageWindow AWindow);

}  // namespace purgo
