// SPDX-License-Identifier: GPL-3.0-or-later
// Font descriptions, the font store, the font variables and ApplyFont.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "i18n/AppMultiFonts.h"
#include "i18n/QSMultiFonts.h"
#include "platform/IniFile.h"
#include "tests/I18nTestSupport.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

using P = TQelFontProperty;

struct FontCase {
  const char* text;
  std::uint32_t flags;
  std::string name;
  std::int32_t size;
  TFontStyles style;
  TColor color;
  std::uint8_t charset;
  std::int32_t orientation;
  TFontPitch pitch;
  std::int32_t height;
};

TEST(TQelFontProperty, ParsesDescriptions) {
  const TFontStyles none{};
  const TFontStyles bold{true, false, false, false};
  const TFontStyles underline{false, false, true, false};
  const TFontStyles strikeItalic{false, true, false, true};
  const TFontStyles all{true, true, true, true};
  const TFontStyles italic{false, true, false, false};
  constexpr auto kDef = TFontPitch::fpDefault;
  const std::uint32_t six = P::kFlagName | P::kFlagSize | P::kFlagStyle | P::kFlagColor |
                            P::kFlagCharset | P::kFlagOrientation;
  const std::vector<FontCase> cases = {
      // An empty piece is dropped, so 12 is the size.
      {"Tahoma,,12", P::kFlagName | P::kFlagSize, "Tahoma", 12, none, 0, 0, 0, kDef, 0},
      // A blank piece counts: it is no size, and 12 becomes the style.
      {"Tahoma, ,12", P::kFlagName | P::kFlagStyle, "Tahoma", 0, strikeItalic, 0, 0, 0, kDef, 0},
      {"Arial|9|1", P::kFlagName | P::kFlagSize | P::kFlagStyle, "Arial", 9, bold, 0, 0, 0, kDef, 0},
      {" \tNoto Sans CJK SC\t , 9 ", P::kFlagName | P::kFlagSize, "Noto Sans CJK SC", 9, none, 0, 0, 0,
       kDef, 0},
      // Colours are written 0xRRGGBB and kept with red in the low byte.
      {"Tahoma,8,2,255,0,0", six, "Tahoma", 8, underline, 0xFF0000, 0, 0, kDef, 0},
      {"T,8,0,16711680,0,0", six, "T", 8, none, 0x0000FF, 0, 0, kDef, 0},
      {"T,8,0,16777215,0,0", six, "T", 8, none, 0xFFFFFF, 0, 0, kDef, 0},
      {"T,8,2,8421504", P::kFlagName | P::kFlagSize | P::kFlagStyle | P::kFlagColor, "T", 8,
       underline, 0x808080, 0, 0, kDef, 0},
      {"T,8,0,$123456", P::kFlagName | P::kFlagSize | P::kFlagStyle | P::kFlagColor, "T", 8, none,
       0x563412, 0, 0, kDef, 0},
      {"T,8,15", P::kFlagName | P::kFlagSize | P::kFlagStyle, "T", 8, all, 0, 0, 0, kDef, 0},
      {"T,8,8", P::kFlagName | P::kFlagSize | P::kFlagStyle, "T", 8, italic, 0, 0, 0, kDef, 0},
      // Character set keeps 8 bits; orientation takes a sign and hex.
      {"T,8,0,0,0x186,-900", six, "T", 8, none, 0, 0x86, -900, kDef, 0},
      {"T,8,0,0,0,0,1", six | P::kFlagPitch, "T", 8, none, 0, 0, 0, kDef, 0},
      {"T,8,0,0,0,0,2", six | P::kFlagPitch, "T", 8, none, 0, 0, 0, TFontPitch::fpFixed, 0},
      {"T,8,0,0,0,0,3", six | P::kFlagPitch, "T", 8, none, 0, 0, 0, TFontPitch::fpVariable, 0},
      // The height is read; a ninth piece is not.
      {"T,8,0,0,0,0,0,20,99", six | P::kFlagPitch | P::kFlagHeight, "T", 8, none, 0, 0, 0, kDef,
       20},
      // Pieces that are not integers leave their fields unset.
      {"T,big,bold,red", P::kFlagName, "T", 0, none, 0, 0, 0, kDef, 0},
      {"T,99999999999", P::kFlagName, "T", 0, none, 0, 0, 0, kDef, 0},
      {",,,", 0, "", 0, none, 0, 0, 0, kDef, 0},
      {"", 0, "", 0, none, 0, 0, 0, kDef, 0},
      // A leading blank piece is no face name, but holds position 0.
      {" ,12", P::kFlagSize, "", 12, none, 0, 0, 0, kDef, 0},
  };
  for (const FontCase& c : cases) {
    const TQelFontProperty p(c.text);
    EXPECT_EQ(p.FormatString(), c.text);
    EXPECT_EQ(p.Flags(), c.flags) << c.text;
    EXPECT_EQ(p.Name(), c.name) << c.text;
    EXPECT_EQ(p.Size(), c.size) << c.text;
    EXPECT_EQ(p.Style(), c.style) << c.text;
    EXPECT_EQ(p.Color(), c.color) << c.text;
    EXPECT_EQ(p.Charset(), c.charset) << c.text;
    EXPECT_EQ(p.Orientation(), c.orientation) << c.text;
    EXPECT_EQ(p.Pitch(), c.pitch) << c.text;
    EXPECT_EQ(p.Height(), c.height) << c.text;
  }
}

TEST(TQelFontProperty, ChangesOnlyGivenFieldsAndTellsOnce) {
  TQelFont font;
  font.Name = "Sans";
  font.Size = 10;
  font.Height = 33;
  font.Color = 0x123456;
  int told = 0;
  font.OnChange = [&told] { ++told; };

  TQelFontProperty p("Serif, , , , , , ,77");
  p.ChangeFont(font);
  EXPECT_EQ(font.Name, "Serif");
  EXPECT_EQ(font.Size, 10);
  EXPECT_EQ(font.Color, 0x123456u);
  EXPECT_EQ(font.Height, 33);  // the height never applies
  EXPECT_EQ(told, 1);

  // A new description given to ChangeFont replaces the old one first.
  p.ChangeFont(font, "Mono,12,1");
  EXPECT_EQ(p.FormatString(), "Mono,12,1");
  EXPECT_EQ(font.Name, "Mono");
  EXPECT_EQ(font.Size, 12);
  EXPECT_TRUE(font.Style.Bold);
  EXPECT_EQ(told, 2);

  // Nothing given: nothing changed, nobody told.
  TQelFontProperty(" , , , , , , ,5").ChangeFont(font);
  EXPECT_EQ(told, 2);
}

TEST(TQelMultiFonts, StoreLookupsAndChangeFontOfID) {
  TQelMultiFonts store;
  store.SetFontOfID(4, "A,10");
  store.SetFontOfID(7, "B,11");
  store.SetFontOfID(4, "C,12");  // re-parsed in place
  ASSERT_EQ(store.Count(), 2);
  EXPECT_EQ(store.FindFontOfID(4)->Name(), "C");
  EXPECT_EQ(store.GetFont(1)->Name(), "B");
  EXPECT_EQ(store.GetFont(2), nullptr);
  EXPECT_EQ(store.GetFont(-1), nullptr);
  EXPECT_EQ(store.FindFontOfID(5), nullptr);

  const TQelFontProperty base("Base,8,2,255");
  TQelFont font;
  font.Name = "Designed";
  int told = 0;
  font.OnChange = [&told] { ++told; };

  // An id the store lacks leaves the font alone, base and all.
  store.ChangeFontOfID(font, 5, &base);
  EXPECT_EQ(font.Name, "Designed");
  EXPECT_EQ(told, 0);

  // Base first, the scheme over it, one notification, the hook restored.
  store.ChangeFontOfID(font, 7, &base);
  EXPECT_EQ(font.Name, "B");
  EXPECT_EQ(font.Size, 11);
  EXPECT_TRUE(font.Style.Underline);
  EXPECT_EQ(font.Color, 0xFF0000u);
  EXPECT_EQ(told, 1);
  ASSERT_TRUE(font.OnChange);
  font.Changed();
  EXPECT_EQ(told, 2);

  store.ChangeFontOfIndex(font, 0, nullptr);
  EXPECT_EQ(font.Name, "C");
  store.ChangeFontOfIndex(font, 9, &base);
  EXPECT_EQ(font.Name, "C");
}

int gLoadingCalls = 0;
bool CountLoading(platform::IniFile&) {
  ++gLoadingCalls;
  return false;
}

TEST(TQelMultiFonts, LoadsAndSavesSchemeFiles) {
  test::Sandbox box;
  const std::string file = box.MakeFile("scheme/PurgoFonts.ini",
                                        "[_Fonts_]\n"
                                        "3=Three,9\n"
                                        "x=Skipped\n"
                                        "-1=Negative\n"
                                        "1=One,8\n"
                                        "03=Duplicate,10\n"
                                        "$10=Hex,16\n");
  TQelMultiFonts store;
  store.SetFontOfID(99, "Previous");

  EXPECT_FALSE(store.LoadFromIni(box.Path("scheme/missing.ini")));
  EXPECT_EQ(store.Count(), 1);

  EXPECT_TRUE(store.LoadFromIni(file));
  // Keys that are not ids of 0 or more are skipped; the rest in file
  // order. Two keys of one id are both kept, and the first is found.
  ASSERT_EQ(store.Count(), 4);
  EXPECT_EQ(store.FindFontOfID(3)->Name(), "Three");
  EXPECT_EQ(store.GetFont(2)->Name(), "Duplicate");
  EXPECT_EQ(store.FindFontOfID(1)->Name(), "One");
  EXPECT_EQ(store.FindFontOfID(16)->Name(), "Hex");
  EXPECT_EQ(store.FindFontOfID(99), nullptr);

  // A given callback decides the result and stays for later loads.
  gLoadingCalls = 0;
  EXPECT_FALSE(store.LoadFromIni(file, &CountLoading));
  EXPECT_FALSE(store.LoadFromIni(file));
  EXPECT_EQ(gLoadingCalls, 2);
  EXPECT_EQ(store.OnLoadingFonts(), &CountLoading);

  // What is saved loads back with the same lookups: of two equal ids the
  // one that lookups find is written.
  const std::string copy = box.Path("scheme/Copy.ini");
  ASSERT_TRUE(store.SaveToIni(copy));
  store.SetOnLoadingFonts(nullptr);
  TQelMultiFonts again;
  ASSERT_TRUE(again.LoadFromIni(copy));
  ASSERT_EQ(again.Count(), 3);
  for (const std::int32_t id : {1, 3, 16}) {
    EXPECT_EQ(again.FindFontOfID(id)->FormatString(), store.FindFontOfID(id)->FormatString());
  }

  // A folder that does not exist cannot take the file.
  EXPECT_FALSE(store.SaveToIni(box.Path("nowhere/PurgoFonts.ini")));
}

TEST(AppMultiFonts, RegistrationAndBuiltInTable) {
  test::AppLanguageObjects objects;
  ASSERT_EQ(AppMultiFontVars->Count(), kAppFontVariableCount);
  const std::vector<std::pair<int, std::string>> named = {
      {2, "FONT_About_TitleBar"},
      {12, "FONT_DefragForm"},
      {35, "FONT_PGOProgressForm_Button_Cancel"},
      {37, "FONT_FCReportForm"},
      {53, "FONT_FCSettingForm"},
      {97, "FONT_PGOOpenPageForm_List_VolumeInfos"},
  };
  for (const auto& [index, name] : named) EXPECT_EQ(AppMultiFontVars->GetName(index), name);
  EXPECT_EQ(AppMultiFontVars->GetDefaultValue(&FONT_About_Label_OfficialWebsite), 11);
  EXPECT_EQ(FONT_PGOOpenPageForm_Button_BuyDiskTitle, 5);
  std::int32_t unregistered = 4;
  EXPECT_EQ(AppMultiFontVars->GetDefaultValue(&unregistered), 0);

  ASSERT_EQ(AppBuiltInFonts->Count(), 15);
  EXPECT_EQ(AppBuiltInFonts->FindFontOfID(6)->FormatString(), "Tahoma,12,1,16777215,0,0");
  EXPECT_EQ(AppBuiltInFonts->FindFontOfID(15)->FormatString(), "Tahoma,8,2,8421504");
  EXPECT_EQ(AppMultiFonts->Count(), 0);
}

TEST(AppMultiFonts, ApplyFontLaysTheSchemeOverTheBuiltInBase) {
  test::Sandbox box;
  test::AppLanguageObjects objects;
  box.MakeFile("lang/PurgoFonts.ini",
               "[_Fonts_]\n"
               "1=Noto Sans CJK SC,9\n"
               "4=Big,20,0,0\n"
               "[FontPropertyIDs]\n"
               "FONT_About_TitleBar=4\n"
               "FONT_About_Label_OfficialWebsite=1\n"
               "FONT_About_Button_Close=12\n"
               "FONT_About=0\n");
  TQelFont untouched;
  untouched.Name = "Designed";
  untouched.Size = 7;

  // Before any scheme: controls keep the fonts they were designed with.
  TQelFont font = untouched;
  ApplyFont(font, FONT_About_TitleBar);
  EXPECT_EQ(font.Name, "Designed");

  ASSERT_TRUE(LoadAppFonts(box.Path("lang/")));
  EXPECT_EQ(FONT_About_TitleBar, 4);
  EXPECT_EQ(FONT_About_Button_DeveloperTeam, 0);  // not in the file

  // Only face and size from the scheme; underline and blue from the
  // built-in id 11 the variable was designed with.
  font = untouched;
  ApplyFont(font, FONT_About_Label_OfficialWebsite);
  EXPECT_EQ(font.Name, "Noto Sans CJK SC");
  EXPECT_EQ(font.Size, 9);
  EXPECT_TRUE(font.Style.Underline);
  EXPECT_EQ(font.Color, 0xFF0000u);

  // The scheme's full description replaces the base's fields.
  font = untouched;
  ApplyFont(font, FONT_About_TitleBar);
  EXPECT_EQ(font.Name, "Big");
  EXPECT_EQ(font.Size, 20);
  EXPECT_FALSE(font.Style.Bold);
  EXPECT_EQ(font.Color, 0u);

  // Id 0, a missing key and an id the scheme lacks all leave the font.
  for (const std::int32_t* variable :
       {&FONT_About, &FONT_About_Button_DeveloperTeam, &FONT_About_Button_Close}) {
    font = untouched;
    ApplyFont(font, *variable);
    EXPECT_EQ(font.Name, "Designed");
    EXPECT_EQ(font.Size, 7);
  }

  // A language without a scheme keeps the previous one in force.
  EXPECT_FALSE(LoadAppFonts(box.Path("other/")));
  EXPECT_EQ(FONT_About_TitleBar, 4);
  EXPECT_EQ(AppMultiFonts->Count(), 2);

  // Saving writes the ids too; loading that file restores them.
  const std::string saved = box.Path("lang/Saved.ini");
  ASSERT_TRUE(AppMultiFonts->SaveToIni(saved));
  FONT_About_TitleBar = 1;
  ASSERT_TRUE(AppMultiFonts->LoadFromIni(saved));
  EXPECT_EQ(FONT_About_TitleBar, 4);
}

}  // namespace
}  // namespace purgo
