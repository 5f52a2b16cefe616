// SPDX-License-Identifier: GPL-3.0-or-later
// The cleaning options: defaults, the reading rules of the options file,
// the save/load round trip, and saves that are cut short by a kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/AppConfigs.h"
#include "app/AppOptions.h"
#include "platform/FileIO.h"
#include "platform/Folders.h"
#include "platform/Mounts.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

using test::ReadBytes;
using test::Utf16Le;

using platform::VolumeData;

VolumeData Volume(const char* mountPoint, std::uint32_t type, bool infoValid = true) {
  VolumeData v;
  v.mountPoint = mountPoint;
  v.driveType = type;
  v.infoValid = infoValid;
  return v;
}

// A machine with one volume of every kind.
TQelVolumeInfos& Machine() {
  static TQelVolumeInfos volumes([] {
    return std::vector<VolumeData>{
        Volume("/", platform::DRIVE_FIXED),
        Volume("/boot/efi", platform::DRIVE_FIXED),
        Volume("/media/cdrom", platform::DRIVE_CDROM),
        Volume("/media/usb", platform::DRIVE_REMOVABLE),
        Volume("/mnt/share", platform::DRIVE_REMOTE),
        Volume("/dev/shm", platform::DRIVE_RAMDISK),
        Volume("/media/card", platform::DRIVE_REMOVABLE, /*infoValid=*/false),
    };
  });
  return volumes;
}

struct Entry {
  std::string text;
  bool a;  // dirs: IncludeSub; exts: Checked
  bool b;  // dirs: Checked; exts: Default
  friend bool operator==(const Entry&, const Entry&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << "{" << e.text << ", " << e.a << ", " << e.b << "}";
  }
};

// The home folder (the sandbox's) reads "~/".
std::vector<Entry> Dirs(const TPGCAppOptions& o) {
  std::vector<Entry> out;
  for (int i = 0; i < o.DirListCount(); ++i) {
    const std::string text = o.DirText(i) == platform::HomeDirectory() ? "~/" : o.DirText(i);
    out.push_back({text, o.DirIncludeSub(i), o.DirChecked(i)});
  }
  return out;
}

std::vector<Entry> Exts(const TPGCAppOptions& o) {
  std::vector<Entry> out;
  for (int i = 0; i < o.ExtListCount(); ++i) out.push_back({o.ExtText(i), o.ExtChecked(i), o.ExtDefault(i)});
  return out;
}

const std::vector<Entry> kDefaultDirs = {{"~/", true, true}};

std::vector<Entry> DefaultExts() {
  const char* ticked[] = {".@@@", ".---", ".$db", ".$$$", ".?$?", ".??$",
                          ".??~", ".?~?", ".^",   ".___", ".temp", ".tmp"};
  const char* offered[] = {"._dd", "._detmp", "._mp", ".~*",  ".aps",        ".bak",        ".chk",
                           ".db$", ".diz",    ".dmp", ".err", ".ftg",        ".fts",        ".fnd",
                           ".gid", ".ilk",    ".log", ".log?", ".ncb",       ".nch",        ".old",
                           ".pch", ".prv",    ".sik", ".syd", ".wbk",        "log.txt",     "imagedb.aid",
                           "mscreate.dir", "thumbs.db"};
  std::vector<Entry> out;
  for (const char* t : ticked) out.push_back({t, true, true});
  for (const char* t : offered) out.push_back({t, false, false});
  return out;
}

TEST(AppOptionsTest, AccessorsOutsideTheListsChangeNothing) {
  test::Sandbox box;
  TPGCAppOptions options(box.Path("data"), &Machine());
  options.ClearDirs();
  EXPECT_EQ(options.AddDir("/a", false, true), 0);
  EXPECT_EQ(options.AddDir("/a", true, false), 1);
  EXPECT_EQ(options.AddExt(" .X ", true, false), 42);
  for (int i : {-1, 2, 1000}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(options.DirText(i), "");
    EXPECT_FALSE(options.DirIncludeSub(i));
    EXPECT_FALSE(options.DirChecked(i));
    options.SetDirChecked(i, true);
    options.SetDirIncludeSub(i, true);
  }
  for (int i : {-1, 43, 1000}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(options.ExtText(i), "");
    EXPECT_FALSE(options.ExtChecked(i));
    EXPECT_FALSE(options.ExtDefault(i));
    options.SetExtChecked(i, true);
  }
  EXPECT_EQ(options.DirListCount(), 2);
  EXPECT_EQ(options.ExtListCount(), 43);
  EXPECT_EQ(Dirs(options), (std::vector<Entry>{{"/a", false, true}, {"/a", true, false}}));
  EXPECT_EQ(options.ExtText(42), " .X ");
  options.SetExtChecked(42, false);
  options.SetDirChecked(1, true);
  EXPECT_FALSE(options.ExtChecked(42));
  EXPECT_TRUE(options.DirChecked(1));
}

// Builds an options file around the inside of "FilesCleaner".
std::string OptionsXml(const std::string& cleanerAttributes, const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?><Options><FilesCleaner" +
         cleanerAttributes + ">" + inside + "</FilesCleaner></Options>";
}

std::string Ext(const std::string& name, const std::string& text, const std::string& check,
                const std::string& def) {
  std::string s = "<" + name + ">";
  if (!text.empty()) s += "<FileTypesExt_Text>" + text + "</FileTypesExt_Text>";
  if (!check.empty()) s += "<FileTypesExt_Check>" + check + "</FileTypesExt_Check>";
  if (!def.empty()) s += "<FileTypesExt_Default>" + def + "</FileTypesExt_Default>";
  return s + "</" + name + ">";
}

std::string Dir(const std::string& text, const std::string& check, const std::string& sub) {
  std::string s = "<DirItem>";
  if (!text.empty()) s += "<FileTypesDir_Text>" + text + "</FileTypesDir_Text>";
  if (!check.empty()) s += "<FileTypesDir_Check>" + check + "</FileTypesDir_Check>";
  if (!sub.empty()) s += "<FileTypesDir_IncludeSub>" + sub + "</FileTypesDir_IncludeSub>";
  return s + "</DirItem>";
}

constexpr char kAttrs[] = " ScanTypes=\"5\" IgnoreInDays=\"7\" IgnoreOutDays=\"9\" FileAttribute=\"35\"";

TEST(AppOptionsTest, LoadFollowsTheReadingRules) {
  struct Case {
    const char* name;
    std::string file;  // written as UTF-16
    bool result;
    std::uint32_t scanTypes;
    std::int32_t inDays;
    std::uint32_t attributes;
    std::uint64_t lastClean;
    std::optional<std::vector<Entry>> exts;  // none: the list as before the load
    std::optional<std::vector<Entry>> dirs;
  } cases[] = {
      {"no root children", "<Options/>", false, 3, 1, 31, 77, std::nullopt, std::nullopt},
      {"root without FilesCleaner", "<Options><Other a=\"1\"/></Options>", true, 3, 1, 31, 77, std::nullopt,
       std::nullopt},
      {"attributes without children are not read", OptionsXml(kAttrs, ""), true, 3, 1, 31, 77, std::nullopt,
       std::nullopt},
      {"attributes and a time", OptionsXml(kAttrs, "<LastCleanTime>12345</LastCleanTime>"), true, 5, 7, 35,
       12345, DefaultExts(), kDefaultDirs},
      {"attributes that are not integers", OptionsXml(" ScanTypes=\"all\" IgnoreInDays=\"\" FileAttribute=\"0x20\"",
                                                      "<LastCleanTime>-1</LastCleanTime>"),
       true, 3, 1, 0x20, ~0ull, DefaultExts(), kDefaultDirs},
      {"a time that is no number", OptionsXml(kAttrs, "<LastCleanTime>soon</LastCleanTime>"), true, 5, 7, 35, 0,
       DefaultExts(), kDefaultDirs},
      {"a time holding an element", OptionsXml(kAttrs, "<LastCleanTime><x/></LastCleanTime>"), true, 5, 7, 35, 0,
       DefaultExts(), kDefaultDirs},
      {"bool forms",
       OptionsXml("", "<FileTypesExt>" + Ext("ExtItem", ".a", "True", "true") + Ext("ExtItem", ".b", "1", "-1") +
                          Ext("ExtItem", ".c", "0", "False") + Ext("ExtItem", ".d", "yes", "") +
                          Ext("ExtItem", ".e", "", "TRUE") + "</FileTypesExt>"),
       true, 3, 1, 31, 0,
       std::vector<Entry>{{".a", true, true}, {".b", true, true}, {".c", false, false}, {".d", false, false}, {".e", false, true}},
       kDefaultDirs},
      {"item names in any case, empty texts dropped, strangers skipped",
       OptionsXml("", "<FileTypesExt>" + Ext("extitem", ".a", "-1", "") + Ext("EXTITEM", "", "-1", "-1") +
                          Ext("ExtItem", ".b", "", "") + Ext("Other", ".x", "-1", "-1") + "stray text" +
                          "</FileTypesExt>"),
       true, 3, 1, 31, 0, std::vector<Entry>{{".a", true, false}, {".b", false, false}}, kDefaultDirs},
      {"dir flags default to subfolders, unticked",
       OptionsXml("", "<FileTypesDir>" + Dir("/home/u/tmp/", "", "") + Dir("/x", "-1", "0") + Dir("", "-1", "-1") +
                          "<dirITEM><FileTypesDir_Text>/y</FileTypesDir_Text></dirITEM></FileTypesDir>"),
       true, 3, 1, 31, 0, DefaultExts(),
       std::vector<Entry>{{"/home/u/tmp/", true, false}, {"/x", false, true}, {"/y", true, false}}},
      {"empty lists restore the defaults", OptionsXml("", "<FileTypesExt/><FileTypesDir>  </FileTypesDir>"), true, 3,
       1, 31, 0, DefaultExts(), kDefaultDirs},
      {"first text child counts, extras ignored",
       OptionsXml("", "<FileTypesExt><ExtItem><FileTypesExt_Text>.1</FileTypesExt_Text><FileTypesExt_Text>.2"
                      "</FileTypesExt_Text><Extra><Deep/></Extra></ExtItem></FileTypesExt>"),
       true, 3, 1, 31, 0, std::vector<Entry>{{".1", false, false}}, kDefaultDirs},
      {"stops at an element where a text belongs, keeping what was read",
       OptionsXml(kAttrs, "<LastCleanTime>9</LastCleanTime><FileTypesExt>" + Ext("ExtItem", ".a", "-1", "-1") +
                              "<ExtItem><FileTypesExt_Text><b/></FileTypesExt_Text></ExtItem>" +
                              Ext("ExtItem", ".c", "-1", "-1") + "</FileTypesExt><FileTypesDir>" + Dir("/d", "-1", "-1") +
                              "</FileTypesDir>"),
       false, 5, 7, 35, 9, std::vector<Entry>{{".a", true, true}}, std::nullopt},
      {"a list the load leaves empty gets its defaults",
       OptionsXml("", "<FileTypesDir>" + Dir("/d", "<x/>", "") + "</FileTypesDir>"), false, 3, 1, 31, 0,
       DefaultExts(), kDefaultDirs},
      // "&#xFFFD;" is what a writer leaves where a name held bytes that are
      // not UTF-8; the exact bytes ride along only for such names.
      {"exact bytes replace the text they stand for, and nothing else",
       OptionsXml("", "<FileTypesDir><DirItem><FileTypesDir_Text Bytes=\"2F61ff\">/a&#xFFFD;</FileTypesDir_Text>"
                      "</DirItem><DirItem><FileTypesDir_Text Bytes=\"2F62FF\">/c&#xFFFD;</FileTypesDir_Text>"
                      "</DirItem><DirItem><FileTypesDir_Text Bytes=\"2F6\">/d&#xFFFD;</FileTypesDir_Text>"
                      "</DirItem><DirItem><FileTypesDir_Text Bytes=\"2F78\">/e</FileTypesDir_Text></DirItem>"
                      "</FileTypesDir>"),
       true, 3, 1, 31, 0, DefaultExts(),
       std::vector<Entry>{{"/a\xFF", true, false},
                          {"/c\xEF\xBF\xBD", true, false},
                          {"/d\xEF\xBF\xBD", true, false},
                          {"/e", true, false}}},
      {"lists without one readable item get their defaults",
       OptionsXml("", "<FileTypesExt>\n >\n</FileTypesExt><FileTypesDir>" + Dir("", "-1", "-1") +
                          "<Other/></FileTypesDir>"),
       true, 3, 1, 31, 0, DefaultExts(), kDefaultDirs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Sandbox box;
    TPGCAppOptions options(box.Path("program/data"), &Machine());
    // Values that differ from every default, to see what a load changes.
    options.SetAppScanTypes(3);
    options.SetIgnoreInDays(1);
    options.SetLastCleanTime(TFileTime::FromValue(77));
    options.ClearExts();
    options.AddExt(".before", true, false);
    options.ClearDirs();
    options.AddDir("/before", false, true);
    const std::vector<Entry> extsBefore = Exts(options), dirsBefore = Dirs(options);

    box.MakeFile("program/data/PGOOptions.xml", Utf16Le(c.file));
    EXPECT_EQ(options.LoadFromXML(), c.result);
    EXPECT_EQ(options.AppScanTypes(), c.scanTypes);
    EXPECT_EQ(options.IgnoreInDays(), c.inDays);
    EXPECT_EQ(options.FileAttribute(), c.attributes);
    EXPECT_EQ(options.LastCleanTime().Value(), c.lastClean);
    EXPECT_EQ(Exts(options), c.exts.value_or(extsBefore));
    EXPECT_EQ(Dirs(options), c.dirs.value_or(dirsBefore));
  }
}

TEST(AppOptionsTest, DefaultsAreTheHomeFolderNotTheVolumes) {
  test::Sandbox box;
  const TAppConfigs configs;
  const TPGCAppOptions options(configs.DataPath(), &Machine());
  EXPECT_EQ(options.OptionsFile(), box.Path("program/data/PGOOptions.xml"));
  EXPECT_TRUE(options.LastCleanTime().IsZero());
  EXPECT_EQ(options.AppScanTypes(), 0u);
  EXPECT_EQ(options.IgnoreInDays(), 0);
  EXPECT_EQ(options.IgnoreOutDays(), 0);
  EXPECT_EQ(options.FileAttribute(), 31u);
  EXPECT_EQ(Exts(options), DefaultExts());
  EXPECT_EQ(options.ExtListCount(), 42);
  ASSERT_EQ(options.DirListCount(), 1);
  EXPECT_EQ(options.DirText(0), box.Path("home/"));
  EXPECT_TRUE(options.DirIncludeSub(0) && options.DirChecked(0));
  EXPECT_FALSE(platform::FileExists(options.OptionsFile()));

  // Folders a file already holds stay, "/" and the volumes included.
  box.MakeFile("program/data/PGOOptions.xml",
               Utf16Le(OptionsXml("", "<FileTypesDir>" + Dir("/", "-1", "-1") + Dir("/media/usb/", "0", "-1") +
                                          "</FileTypesDir>")));
  TPGCAppOptions stored(configs.DataPath(), &Machine());
  ASSERT_TRUE(stored.LoadFromXML());
  EXPECT_EQ(Dirs(stored), (std::vector<Entry>{{"/", true, true}, {"/media/usb/", true, false}}));
}

TEST(AppOptionsTest, BadFilesLeaveTheDefaults) {
  const std::string valid = Utf16Le(OptionsXml(kAttrs, "<LastCleanTime>1</LastCleanTime>"));
  struct Case {
    const char* name;
    std::string bytes;
    bool sparse100MB;
  } cases[] = {
      {"missing", "", false},
      {"empty", "", false},
      {"truncated", valid.substr(0, valid.size() / 2), false},
      {"binary", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), false},
      {"wrongly encoded", std::string("\xFE\xFF") + valid.substr(2), false},
      {"100 MB", valid, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Sandbox box;
    TPGCAppOptions options(box.Path("data"), &Machine());
    if (std::string(c.name) != "missing") {
      const std::string file = box.MakeFile("data/PGOOptions.xml", c.bytes);
      if (c.sparse100MB) {
        ASSERT_EQ(::truncate(file.c_str(), 100 * 1024 * 1024), 0);
      }
    }
    EXPECT_FALSE(options.LoadFromXML());
    EXPECT_EQ(options.AppScanTypes(), 0u);
    EXPECT_EQ(options.FileAttribute(), 31u);
    EXPECT_TRUE(options.LastCleanTime().IsZero());
    EXPECT_EQ(Exts(options), DefaultExts());
    EXPECT_EQ(Dirs(options), kDefaultDirs);
  }
}

// What a save writes: UTF-16 with a byte-order mark, the declaration, and
// no indentation or line breaks between elements.
TEST(AppOptionsTest, SavesTheDocumentedLayout) {
  test::Sandbox box;
  TPGCAppOptions options(box.Path("program/data"), &Machine());
  options.ClearExts();
  options.AddExt(".tmp", true, true);
  options.ClearDirs();
  options.AddDir("/", true, true);
  options.SetAppScanTypes(15);
  ASSERT_TRUE(options.SaveToXML());
  EXPECT_EQ(ReadBytes(box.Path("program/data/PGOOptions.xml")),
            Utf16Le(OptionsXml(" ScanTypes=\"15\" IgnoreInDays=\"0\" IgnoreOutDays=\"0\" FileAttribute=\"31\"",
                               "<LastCleanTime>0</LastCleanTime><FileTypesExt><ExtItem><FileTypesExt_Text>.tmp"
                               "</FileTypesExt_Text><FileTypesExt_Check>-1</FileTypesExt_Check>"
                               "<FileTypesExt_Default>-1</FileTypesExt_Default></ExtItem></FileTypesExt>"
                               "<FileTypesDir><DirItem><FileTypesDir_Text>/</FileTypesDir_Text>"
                               "<FileTypesDir_Check>-1</FileTypesDir_Check><FileTypesDir_IncludeSub>-1"
                               "</FileTypesDir_IncludeSub></DirItem></FileTypesDir>")));
}

TEST(AppOptionsTest, SaveAndLoadRoundTripEveryFieldAndList) {
  test::Sandbox box;
  TPGCAppOptions saved(box.Path("program/data"), &Machine());
  saved.SetAppScanTypes(0x80000401u);
  saved.SetIgnoreInDays(-5);
  saved.SetIgnoreOutDays(INT32_MAX);
  saved.SetFileAttribute(0x4000 | 0x20 | 0x1);
  saved.SetLastCleanTime(TFileTime{0x89ABCDEFu, 0xF1234567u});
  saved.ClearExts();
  const std::vector<Entry> exts = {{".tmp", true, true},   {".tmp", false, true}, {" spaced ", true, false},
                                   {"<&\"'>", false, false}, {"日本.bak", true, true}, {"~$*", false, false},
                                   {"  ", true, true}};
  for (const Entry& e : exts) saved.AddExt(e.text, e.a, e.b);
  saved.ClearDirs();
  const std::vector<Entry> dirs = {{"/", true, true}, {"/home/user/My Files/", false, true},
                                   {"/media/usb/", true, false}, {"/home/user/My Files/", false, false}};
  for (const Entry& d : dirs) saved.AddDir(d.text, d.a, d.b);
  ASSERT_TRUE(saved.SaveToXML());

  TPGCAppOptions loaded(box.Path("program/data"), &Machine());
  ASSERT_TRUE(loaded.LoadFromXML());
  EXPECT_EQ(loaded.AppScanTypes(), 0x80000401u);
  EXPECT_EQ(loaded.IgnoreInDays(), -5);
  EXPECT_EQ(loaded.IgnoreOutDays(), INT32_MAX);
  EXPECT_EQ(loaded.FileAttribute(), 0x4021u);
  EXPECT_EQ(loaded.LastCleanTime(), (TFileTime{0x89ABCDEFu, 0xF1234567u}));
  EXPECT_EQ(Exts(loaded), exts);
  EXPECT_EQ(Dirs(loaded), dirs);

  // Empty lists cannot be stored: they come back as the defaults.
  saved.ClearExts();
  saved.ClearDirs();
  ASSERT_TRUE(saved.SaveToXML());
  ASSERT_TRUE(loaded.LoadFromXML());
  EXPECT_EQ(Exts(loaded), DefaultExts());
  EXPECT_EQ(Dirs(loaded), kDefaultDirs);
}

// Folder names are bytes. One that is not UTF-8 must come back exactly,
// or the folder silently drops out of the scan; a valid one, whatever it
// looks like, is written as plain text, as before.
TEST(AppOptionsTest, TextsThatAreNotUtf8ComeBackByteForByte) {
  struct Case {
    std::string name;
    bool valid;
  } cases[] = {
      {"/home/u/caf\xE9/", false},         // Latin-1
      {"/data/\xFF\xFE/", false},          // no UTF-8 lead byte
      {"/x/\xC3", false},                  // cut short
      {"/x/\xED\xA0\x80/", false},         // a surrogate
      {"/x/\xC0\xAF/", false},             // overlong
      {"/x/\xEF\xBF\xBD\xFF/", false},     // a real U+FFFD next to a bad byte
      {"/x/%FF/", true},                   // escapes of other kinds
      {"/x/\\xFF/", true},
      {"/x/2F78/", true},
      {"/x/\xEF\xBF\xBD/", true},          // a real U+FFFD
      {"/x/日本/", true},
  };
  test::Sandbox box;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPGCAppOptions saved(box.Path("data"), &Machine());
    saved.ClearDirs();
    saved.AddDir(c.name, true, true);
    saved.ClearExts();
    saved.AddExt(c.name.substr(3), true, false);
    ASSERT_TRUE(saved.SaveToXML());
    TPGCAppOptions loaded(box.Path("data"), &Machine());
    ASSERT_TRUE(loaded.LoadFromXML());
    EXPECT_EQ(Dirs(loaded), Dirs(saved));
    EXPECT_EQ(Exts(loaded), Exts(saved));

    const std::string file = ReadBytes(saved.OptionsFile());
    const bool bare = file.find(Utf16Le("<FileTypesDir_Text>").substr(2)) != std::string::npos;
    EXPECT_EQ(bare, c.valid) << "valid names are written without the bytes, and only they";
    const bool ascii = std::all_of(c.name.begin(), c.name.end(), [](char ch) { return ch > 0; });
    if (ascii) {
      EXPECT_NE(file.find(Utf16Le(">" + c.name + "<").substr(2)), std::string::npos);
    }
  }
}

TEST(AppOptionsTest, RefusedSavesLeaveTheOldFile) {
  test::Sandbox box;
  // The data folder cannot be made where a file stands.
  box.MakeFile("blocked", "x");
  TPGCAppOptions blocked(box.Path("blocked/data"), &Machine());
  std::string error;
  EXPECT_FALSE(blocked.SaveToXML(&error));
  EXPECT_EQ(error, "Unable to write to " + blocked.OptionsFile());

  TPGCAppOptions options(box.Path("data"), &Machine());
  const std::string file = box.MakeFile("data/PGOOptions.xml", "old");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_FALSE(options.SaveToXML(&error));
  EXPECT_EQ(ReadBytes(file), "old");
  // A missing data folder is made.
  TPGCAppOptions fresh(box.Path("new/deeper/data"), &Machine());
  EXPECT_TRUE(fresh.SaveToXML());
  EXPECT_TRUE(platform::FileExists(fresh.OptionsFile()));
}

// Kills a child process that saves without pause, at moments spread over
// its saves, and checks that each file is whole: either version, nothing
// in between.
TEST(AppOptionsTest, AKillDuringSavingLeavesTheOldOrTheNewFile) {
  test::Sandbox box;
  TAppConfigs configs;
  box.MakeDir("program/Config");
  TPGCAppOptions options(configs.DataPath(), &Machine());
  // Two versions, each large enough that a write takes a while.
  auto variant = [&](int v) {
    options.ClearExts();
    for (int i = 0; i < 2000; ++i) options.AddExt(".v" + std::to_string(v) + "-" + std::to_string(i), true, v == 1);
    options.SetIgnoreInDays(v);
  };
  std::string versions[2], iniVersions[2];
  for (int v = 0; v < 2; ++v) {
    variant(v);
    ASSERT_TRUE(options.SaveToXML());
    versions[v] = ReadBytes(options.OptionsFile());
    ASSERT_TRUE(configs.SetVersionString("v" + std::to_string(v) + std::string(20000, 'x')));
    iniVersions[v] = ReadBytes(configs.ConfigFile());
  }
  ASSERT_NE(versions[0], versions[1]);

  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(1);
      for (int v = 0;; v ^= 1) {
        variant(v);
        options.SaveToXML();
        configs.SetVersionString("v" + std::to_string(v) + std::string(20000, 'x'));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string now = ReadBytes(options.OptionsFile());
    EXPECT_TRUE(now == versions[0] || now == versions[1]) << "options file of " << now.size() << " bytes";
    const std::string ini = ReadBytes(configs.ConfigFile());
    EXPECT_TRUE(ini == iniVersions[0] || ini == iniVersions[1]) << "config file of " << ini.size() << " bytes";
    TPGCAppOptions reread(configs.DataPath(), &Machine());
    EXPECT_TRUE(reread.LoadFromXML());
    EXPECT_EQ(reread.ExtListCount(), 2000);
  }
}

}  // namespace
}  // namespace purgo
