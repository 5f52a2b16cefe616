// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration file: defaults, reading rules, writing back.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppConfigs.h"
#include "app/AppOptions.h"
#include "app/SettingsText.h"
#include "platform/FileIO.h"
#include "platform/Folders.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::Utf16Le;

// A literal with embedded NULs, whole.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

constexpr char kDefaultFile[] =
    "[General]\nVersion=" PURGO_VERSION "\nLanguageID=1033\n[Purgo]\nAutoUpdate=1\nLastRunTime=0\n";

TEST(AppConfigsTest, DefaultsSitBesideTheProgram) {
  test::Sandbox box;
  const TFileTime before = GetSystemTimeAsFileTime();
  const TAppConfigs configs;
  const TFileTime after = GetSystemTimeAsFileTime();
  const std::string base = box.Path("program/");
  EXPECT_EQ(configs.BasePath(), base);
  EXPECT_EQ(configs.DataPath(), base + "data/");
  EXPECT_EQ(configs.ConfigFile(), base + "Config/Config.ini");
  EXPECT_EQ(configs.ApplicationTitle(), "Purgo");
  EXPECT_EQ(configs.ApplicationTitleDup(), "Purgo");
  EXPECT_EQ(configs.VersionString(), PURGO_VERSION);
  EXPECT_EQ(configs.LanguageID(), 1033);
  EXPECT_TRUE(configs.AutoUpdate());
  EXPECT_TRUE(configs.LastRunTime().IsZero());
  EXPECT_GE(configs.CurrentRunTime().Value(), before.Value());
  EXPECT_LE(configs.CurrentRunTime().Value(), after.Value());

  const TAppConfigs moved(box.Path("installed"));
  EXPECT_EQ(moved.BasePath(), box.Path("installed/"));
  EXPECT_EQ(moved.ConfigFile(), box.Path("installed/Config/Config.ini"));
  // Nothing is read or written by construction.
  EXPECT_FALSE(platform::FileExists(configs.ConfigFile()));
}

TEST(AppConfigsTest, LoadKeepsWhatItCannotRead) {
  struct Case {
    const char* name;
    std::string file;
    std::string version;
    std::uint16_t language;
    bool autoUpdate;
    std::uint64_t lastRun;
  } cases[] = {
      {"empty file", "", PURGO_VERSION, 1033, true, 0},
      {"all four", "[General]\nVersion=2.0 beta\nLanguageID=2052\n[Purgo]\nAutoUpdate=0\nLastRunTime=133000000000000000\n",
       "2.0 beta", 2052, false, 133000000000000000ull},
      {"identifier kept in 16 bits", "[General]\nLanguageID=65537\n", PURGO_VERSION, 1, true, 0},
      {"hexadecimal identifier", "[General]\nLanguageID=0x0804\n", PURGO_VERSION, 2052, true, 0},
      {"negative identifier wraps", "[General]\nLanguageID=-1\n", PURGO_VERSION, 65535, true, 0},
      {"identifier not a number", "[General]\nLanguageID=English\n", PURGO_VERSION, 1033, true, 0},
      {"identifier past 32 bits", "[General]\nLanguageID=4294968329\n", PURGO_VERSION, 1033, true, 0},
      {"any nonzero integer is true", "[Purgo]\nAutoUpdate=7\n", PURGO_VERSION, 1033, true, 0},
      {"auto-update not a number", "[Purgo]\nAutoUpdate=yes\n", PURGO_VERSION, 1033, true, 0},
      {"last run not a number", "[Purgo]\nLastRunTime=yesterday\n", PURGO_VERSION, 1033, true, 0},
      {"negative last run", "[Purgo]\nLastRunTime=-1\n", PURGO_VERSION, 1033, true, ~0ull},
      {"empty version is a value", "[General]\nVersion=\n", "", 1033, true, 0},
      {"keys in the wrong section", "[Purgo]\nVersion=9\n[General]\nAutoUpdate=0\n", PURGO_VERSION, 1033, true,
       0},
      {"Windows UTF-16 file", Utf16Le("[General]\r\nLanguageID=31\r\n"),
       PURGO_VERSION, 31, true, 0},
      {"binary garbage", Bytes("\x00\xFF[General\x00]\nLanguageID=\x01\x02"), PURGO_VERSION, 1033, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Sandbox box;
    TAppConfigs configs;
    box.MakeFile("program/Config/Config.ini", c.file);
    EXPECT_TRUE(configs.Load());
    EXPECT_EQ(configs.VersionString(), c.version);
    EXPECT_EQ(configs.LanguageID(), c.language);
    EXPECT_EQ(configs.AutoUpdate(), c.autoUpdate);
    EXPECT_EQ(configs.LastRunTime().Value(), c.lastRun);
  }
}

TEST(AppConfigsTest, MissingOrOversizedFileLeavesDefaults) {
  test::Sandbox box;
  TAppConfigs configs;
  EXPECT_FALSE(configs.Load());
  EXPECT_EQ(configs.VersionString(), PURGO_VERSION);
  const std::string file = box.MakeFile("program/Config/Config.ini", "[General]\nLanguageID=2052\n");
  ASSERT_EQ(::truncate(file.c_str(), 100 * 1024 * 1024), 0);
  configs.Load();
  EXPECT_EQ(configs.LanguageID(), 1033);
  // Nor is such a file replaced by a save: its content was never seen.
  EXPECT_FALSE(configs.Save());
}

TEST(AppConfigsTest, SaveWritesAllFourKeysAndNormalisesWhatItRead) {
  test::Sandbox box;
  TAppConfigs fresh;
  box.MakeDir("program/Config");
  ASSERT_TRUE(fresh.Save());
  EXPECT_EQ(ReadBytes(fresh.ConfigFile()), kDefaultFile);

  const std::string file = box.MakeFile("program/Config/Config.ini",
                                        "; kept\n[General]\nVersion=0.9 (custom)\nLanguageID=65537\n"
                                        "[Purgo]\nAutoUpdate=7\nLastRunTime=not a time\nExtra=kept\n");
  TAppConfigs configs;
  configs.Load();
  ASSERT_TRUE(configs.Save());
  // The version read stays readable, but the file now names its writer.
  EXPECT_EQ(configs.VersionString(), "0.9 (custom)");
  EXPECT_EQ(ReadBytes(file),
            "; kept\n[General]\nVersion=" PURGO_VERSION "\nLanguageID=1\n"
            "[Purgo]\nAutoUpdate=1\nLastRunTime=0\nExtra=kept\n");
}

// The main window's size: read only when both sides are sizes a screen
// can hold, written back only once the window stored one.
TEST(AppConfigsTest, WindowSizeReadWhenSaneWrittenWhenStored) {
  struct Case {
    const char* file;
    int width, height;
  };
  for (const Case& c : {Case{"[Purgo]\nWindowWidth=900\nWindowHeight=700\n", 900, 700},
                        Case{"[Purgo]\nWindowWidth=900\n", 0, 0}, Case{"[Purgo]\nWindowWidth=0\nWindowHeight=700\n", 0, 0},
                        Case{"[Purgo]\nWindowWidth=-5\nWindowHeight=700\n", 0, 0},
                        Case{"[Purgo]\nWindowWidth=99999999\nWindowHeight=700\n", 0, 0},
                        Case{"[Purgo]\nWindowWidth=wide\nWindowHeight=700\n", 0, 0}}) {
    SCOPED_TRACE(c.file);
    test::Sandbox box;
    box.MakeFile("program/Config/Config.ini", c.file);
    TAppConfigs configs;
    configs.Load();
    EXPECT_EQ(configs.WindowWidth(), c.width);
    EXPECT_EQ(configs.WindowHeight(), c.height);
  }
  test::Sandbox box;
  box.MakeDir("program/Config");
  TAppConfigs configs;
  configs.SetWindowSize(1024, 640);
  ASSERT_TRUE(configs.Save());
  EXPECT_EQ(ReadBytes(configs.ConfigFile()), std::string(kDefaultFile) + "WindowWidth=1024\nWindowHeight=640\n");
}

TEST(AppConfigsTest, RefusedSavesLeaveTheOldFileAndSayWhy) {
  test::Sandbox box;
  TAppConfigs configs;
  std::string error;
  // The folder is made by the language step, never by Save.
  EXPECT_FALSE(configs.Save(&error));
  EXPECT_EQ(error, "Unable to write to " + configs.ConfigFile());
  EXPECT_FALSE(platform::FileExists(configs.ConfigFile()));

  const std::string file = box.MakeFile("program/Config/Config.ini", "[General]\nVersion=old\n");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  error.clear();
  EXPECT_FALSE(configs.Save(&error));
  EXPECT_EQ(error, "Unable to write to " + file);
  EXPECT_EQ(ReadBytes(file), "[General]\nVersion=old\n");
}

TEST(AppConfigsTest, SettersWriteThroughAtOnce) {
  test::Sandbox box;
  TAppConfigs configs;
  ASSERT_TRUE(configs.SetLanguageID(2052));
  EXPECT_EQ(ReadBytes(configs.ConfigFile()), "[General]\nLanguageID=2052\n");
  ASSERT_TRUE(configs.SetLanguageID(1031));
  ASSERT_TRUE(configs.SetVersionString("1.6"));
  EXPECT_EQ(ReadBytes(configs.ConfigFile()), "[General]\nLanguageID=1031\nVersion=1.6\n");
  EXPECT_EQ(configs.LanguageID(), 1031);

  // When the folder cannot be made the value is still taken in memory.
  test::Sandbox blocked;
  blocked.MakeFile("program/Config", "a file where the folder belongs");
  TAppConfigs other;
  std::string error;
  EXPECT_FALSE(other.SetLanguageID(2052, &error));
  EXPECT_EQ(error, "Unable to write to " + other.ConfigFile());
  EXPECT_EQ(other.LanguageID(), 2052);
  // A version that would break the file's lines is refused, not written.
  EXPECT_FALSE(configs.SetVersionString("1.7\n[Purgo]\nAutoUpdate=0"));
  EXPECT_EQ(ReadBytes(configs.ConfigFile()), "[General]\nLanguageID=1031\nVersion=1.6\n");
}

TEST(ProgramLayoutTest, PortableOnlyWithLangsInAWritableFolder) {
  test::Sandbox box;
  box.MakeDir("usr/bin");
  box.MakeFile("opt/bin/Langs", "a file, not the folder");
  box.MakeDir("ro/bin/Langs");
  const bool readOnly = box.MakeReadOnly("ro/bin");
  if (!readOnly) std::printf("ro/bin skipped: no read-only folder here (as root: a read-only bind mount)\n");
  const std::string config = "home/.config/purgo/Config.ini", data = "home/.local/share/purgo/";
  // Configuration, data folder, shipped packs, user's packs, manual; the
  // user's packs are empty exactly when portable.
  const struct Case {
    const char* folder;
    std::string files[5];
  } cases[] = {
      {"program", {"program/Config/Config.ini", "program/data/", "program/Langs/", "", "program/manual.html"}},
      {"usr/bin", {config, data, "usr/share/purgo/Langs/", data + "Langs/", "usr/share/doc/purgo/manual.html"}},
      {"opt/bin", {config, data, "opt/share/purgo/Langs/", data + "Langs/", "opt/share/doc/purgo/manual.html"}},
      {"ro/bin", {config, data, "ro/bin/Langs/", data + "Langs/", "ro/bin/manual.html"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    if (std::string(c.folder) == "ro/bin" && !readOnly) continue;
    const platform::ProgramLayout l = platform::ProgramLayoutOf(box.Path(c.folder));
    EXPECT_EQ(l.portable, c.files[3].empty());
    const std::string got[5] = {l.configFile, l.dataFolder, l.languageFolder, l.userLanguageFolder, l.manualFile};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(got[i], c.files[i].empty() ? "" : box.Path(c.files[i])) << i;
  }
}

// Settings folders an installed program cannot make leave it with its
// defaults: every write says so, nothing lands beside the program.
TEST(ProgramLayoutTest, UnwritableXdgFoldersLeaveTheDefaults) {
  test::Sandbox box;
  platform::SetProgramDirectoryOverride(box.MakeDir("usr/bin"));
  ::setenv("XDG_CONFIG_HOME", box.MakeFile("not-a-folder").c_str(), 1);
  ::setenv("XDG_DATA_HOME", box.Path("not-a-folder").c_str(), 1);
  TAppConfigs blocked;
  ASSERT_FALSE(blocked.Portable());
  EXPECT_FALSE(blocked.SetLanguageID(2052) || blocked.Save());
  EXPECT_EQ(blocked.LanguageID(), 2052);
  EXPECT_FALSE(TPGCAppOptions(blocked.DataPath(), nullptr, blocked.FolderMode()).SaveToXML());
  EXPECT_TRUE(fs::is_empty(box.Path("usr/bin")));
}

// Another user's links in the settings folders, as root meets them when
// started with that user's HOME: nothing is written through them, and a
// link the program would create a file through stays dangling.
TEST(ProgramLayoutTest, PlantedLinksLeadNowhere) {
  struct Case {
    const char* name;
    bool targetsExist;
  } cases[] = {{"links to root's files", true}, {"dangling links", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Sandbox box;
    platform::SetProgramDirectoryOverride(box.MakeDir("usr/bin"));
    const std::string targets[2] = {box.Path("etc/first"), box.Path("etc/shadow")};
    const unsigned modes[2] = {0600, 0640};
    box.MakeDir("etc");
    for (int i = 0; i < 2 && c.targetsExist; ++i) {
      box.MakeFile(targets[i].substr(box.Root().size() + 1), "root:$6$hash:19000::::::\n");
      ASSERT_EQ(::chmod(targets[i].c_str(), modes[i]), 0);
    }
    box.MakeSymlink("home/.config/purgo/Config.ini", targets[0]);
    box.MakeSymlink("home/.local/share/purgo/PGOOptions.xml", targets[1]);

    TAppConfigs configs;
    TPGCAppOptions options(configs.DataPath(), nullptr, configs.FolderMode());
    configs.Load();
    EXPECT_FALSE(options.LoadFromXML());
    EXPECT_FALSE(configs.SetLanguageID(2052));
    EXPECT_FALSE(configs.Save());
    EXPECT_FALSE(options.SaveToXML());

    for (int i = 0; i < 2; ++i) {
      struct stat st {};
      EXPECT_EQ(ReadBytes(targets[i]), c.targetsExist ? "root:$6$hash:19000::::::\n" : "");
      const unsigned mode = ::stat(targets[i].c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
      EXPECT_EQ(mode, c.targetsExist ? modes[i] : 0u);
    }
    EXPECT_TRUE(fs::is_symlink(configs.ConfigFile()) && fs::is_symlink(options.OptionsFile()));
  }
}

// Settings of another user (uid 65534 here) in HOME: root reads none of
// them, writes nothing there, takes none of the user's language packs,
// and says so in one line however often it tries.
TEST(ProgramLayoutTest, AnotherUsersSettingsAreNeitherReadNorWritten) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  struct Case {
    const char* name;
    std::vector<std::string> foreign;  // chowned to 65534, below home/
    bool packsTaken;
  } cases[] = {
      {"folders and files",
       {".config/purgo", ".config/purgo/Config.ini", ".local/share/purgo", ".local/share/purgo/PGOOptions.xml",
        ".local/share/purgo/Langs"},
       false},
      {"files only", {".config/purgo/Config.ini", ".local/share/purgo/PGOOptions.xml"}, true},
      {"the XDG folders", {".config", ".local/share"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Sandbox box;
    platform::SetProgramDirectoryOverride(box.MakeDir("usr/bin"));
    const std::string config = box.MakeFile("home/.config/purgo/Config.ini", "[General]\nLanguageID=2052\n");
    box.MakeFile("home/.local/share/purgo/Langs/de/PurgoStrs.ini", "[StringRes]\n");
    {
      TPGCAppOptions planted(box.Path("home/.local/share/purgo"));
      planted.ClearDirs();
      planted.AddDir("/etc/", true, true);
      ASSERT_TRUE(planted.SaveToXML());
    }
    const std::string options = ReadBytes(box.Path("home/.local/share/purgo/PGOOptions.xml"));
    for (const std::string& f : c.foreign) ASSERT_EQ(::lchown(box.Path("home/" + f).c_str(), 65534, 65534), 0);

    const std::string err = box.Path("stderr");
    const pid_t child = ::fork();
    if (child == 0) {
      const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      platform::ForgetSettingsRefusalSaid();
      TAppConfigs configs;
      TPGCAppOptions opts(configs.DataPath(), nullptr, configs.FolderMode());
      configs.Load();
      EXPECT_EQ(configs.LanguageID(), 1033);
      EXPECT_FALSE(opts.LoadFromXML());
      EXPECT_NE(opts.DirText(0), "/etc/");
      EXPECT_EQ(configs.UserLanguagePath().empty(), !c.packsTaken);
      EXPECT_FALSE(configs.SetLanguageID(1031));
      EXPECT_FALSE(configs.Save());
      EXPECT_FALSE(opts.SaveToXML());
      std::fflush(stdout);
      ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string said = ReadBytes(err);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("another user"), std::string::npos) << said;
    EXPECT_EQ(ReadBytes(config), "[General]\nLanguageID=2052\n");
    EXPECT_EQ(ReadBytes(box.Path("home/.local/share/purgo/PGOOptions.xml")), options);
    const fs::directory_iterator configFolder(box.Path("home/.config/purgo"));
    EXPECT_EQ(std::distance(configFolder, fs::directory_iterator()), 1);
  }
  // The same folders of this user's own are read and their packs taken.
  test::Sandbox own;
  platform::SetProgramDirectoryOverride(own.MakeDir("usr/bin"));
  own.MakeFile("home/.config/purgo/Config.ini", "[General]\nLanguageID=2052\n");
  own.MakeDir("home/.local/share/purgo/Langs");
  TAppConfigs configs;
  EXPECT_TRUE(configs.Load());
  EXPECT_EQ(configs.LanguageID(), 2052);
  EXPECT_EQ(configs.UserLanguagePath(), own.Path("home/.local/share/purgo/Langs/"));
}

TEST(SettingsTextTest, NumbersAndFlags) {
  struct IntCase {
    const char* text;
    bool ok32;
    std::int32_t v32;
    bool ok64;
    std::int64_t v64;
  } ints[] = {
      {"0", true, 0, true, 0},
      {"-2147483648", true, INT32_MIN, true, INT32_MIN},
      {"2147483647", true, INT32_MAX, true, INT32_MAX},
      {"2147483648", false, 0, true, 2147483648LL},
      {" 42\t", true, 42, true, 42},
      {"+7", true, 7, true, 7},
      {"$FFFFFFFF", true, -1, true, 0xFFFFFFFFLL},
      {"0x1F", true, 31, true, 31},
      {"0X100000000", false, 0, true, 0x100000000LL},
      {"-9223372036854775808", false, 0, true, INT64_MIN},
      {"9223372036854775808", false, 0, false, 0},
      {"", false, 0, false, 0},
      {"-", false, 0, false, 0},
      {"0x", false, 0, false, 0},
      {"12a", false, 0, false, 0},
      {"1 2", false, 0, false, 0},
      {"1.0", false, 0, false, 0},
  };
  for (const IntCase& c : ints) {
    SCOPED_TRACE(c.text);
    std::int32_t v32 = 99;
    std::int64_t v64 = 99;
    EXPECT_EQ(TryParseInt32(c.text, v32), c.ok32);
    EXPECT_EQ(v32, c.ok32 ? c.v32 : 99);
    EXPECT_EQ(TryParseInt64(c.text, v64), c.ok64);
    EXPECT_EQ(v64, c.ok64 ? c.v64 : 99);
  }
  struct BoolCase {
    const char* text;
    bool ok;
    bool value;
  } flags[] = {
      {"True", true, true},   {"true", true, true},   {"TRUE", true, true},  {"1", true, true},
      {"-1", true, true},     {"0", true, false},     {"False", true, false}, {"fAlSe", true, false},
      {"0.0", true, false},   {"2.5", true, true},    {"1e3", true, true},   {"-0", true, false},
      {"yes", false, false},  {"", false, false},     {"1x", false, false},  {".", false, false},
      {"1e", false, false},
  };
  for (const BoolCase& c : flags) {
    SCOPED_TRACE(c.text);
    bool v = false;
    EXPECT_EQ(TryParseBool(c.text, v), c.ok);
    if (c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
}

}  // namespace
}  // namespace purgo
