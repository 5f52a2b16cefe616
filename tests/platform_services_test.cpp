// SPDX-License-Identifier: GPL-3.0-or-later
// Well-known folders, the clock, the locale and the UI hooks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "engine/AppUtils.h"
#include "engine/QSClasses.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Hooks.h"
#include "platform/SystemLocale.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

// Sets or clears environment variables for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

TEST(Folders, FollowTheEnvironment) {
  test::Sandbox box;
  EXPECT_EQ(GetTempDir(), box.Path("tmp/"));
  EXPECT_EQ(platform::HomeDirectory(), box.Path("home/"));
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_INTERNET_CACHE, false), box.Path("home/.cache/"));
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_APPDATA, false), box.Path("home/.config/"));
  EXPECT_EQ(GetExeDir(), box.Path("program/"));
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_WINDOWS, true), "");
  EXPECT_EQ(GetSpecialFolderPath(12345, true), "");

  // Missing folders are empty unless asked to be created.
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_RECENT, false), "");
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_RECENT, true), box.Path("home/.local/share/RecentDocuments/"));
  EXPECT_EQ(GetSpecialFolderPath(CSIDL_RECENT, false), box.Path("home/.local/share/RecentDocuments/"));
  EXPECT_EQ(platform::FlashCookiesFolder(), box.Path("home/.macromedia/Flash_Player/"));

  // A relative XDG value is ignored, as the base directory rules say.
  {
    ScopedEnv rel("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(platform::CacheHome(), box.Path("home/.cache/"));
  }
  // TMPDIR that is not a directory falls back to /tmp/.
  {
    ScopedEnv missing("TMPDIR", box.Path("nowhere").c_str());
    EXPECT_EQ(GetTempDir(), "/tmp/");
  }
  {
    ScopedEnv unset("TMPDIR", nullptr);
    EXPECT_EQ(GetTempDir(), "/tmp/");
  }
}

TEST(Folders, CurrentAndProgramDirectories) {
  test::Sandbox box;
  const std::string before = GetCurrentDir();
  ASSERT_EQ(::chdir(box.Root().c_str()), 0);
  EXPECT_EQ(GetCurrentDir(), box.Root() + "/");
  ASSERT_EQ(::chdir(before.c_str()), 0);

  platform::SetProgramDirectoryOverride("");
  const std::string real = GetExeDir();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real.back(), '/');
  EXPECT_TRUE(platform::DirectoryExists(real));
}

TEST(Clock, CalendarConversions) {
  platform::CalendarTime c;
  // 2024-02-29 23:59:59.999 UTC, a Thursday.
  const auto t = platform::FileTimeFromUnix(1709251199, 999'000'000);
  ASSERT_TRUE(platform::FileTimeToCalendar(t, c));
  EXPECT_EQ(c.year, 2024);
  EXPECT_EQ(c.month, 2);
  EXPECT_EQ(c.day, 29);
  EXPECT_EQ(c.dayOfWeek, 4);
  EXPECT_EQ(c.hour, 23);
  EXPECT_EQ(c.minute, 59);
  EXPECT_EQ(c.second, 59);
  EXPECT_EQ(c.milliseconds, 999);

  ASSERT_TRUE(platform::FileTimeToCalendar(platform::FileTime{}, c));
  EXPECT_EQ(c.year, 1601);
  EXPECT_EQ(c.month, 1);
  EXPECT_EQ(c.day, 1);
  EXPECT_EQ(c.dayOfWeek, 1);  // a Monday
  EXPECT_FALSE(platform::FileTimeToCalendar(platform::FileTime{0, 0x80000000u}, c));

  // Before 1601 there is no FILETIME.
  EXPECT_TRUE(platform::FileTimeFromUnix(-11644473601, 0).IsZero());

  const std::time_t before = std::time(nullptr);
  ASSERT_TRUE(platform::FileTimeToCalendar(platform::SystemTimeAsFileTime(), c));
  std::tm utc{};
  gmtime_r(&before, &utc);
  EXPECT_EQ(c.year, utc.tm_year + 1900);
}

TEST(SystemLocale, LanguageIdentifiers) {
  struct Case {
    const char* locale;
    std::uint16_t id;
  };
  const Case cases[] = {
      {"en_US.UTF-8", 1033}, {"zh_CN.UTF-8", 2052}, {"zh_TW.Big5", 1028}, {"de_DE@euro", 1031},
      {"de_AT.UTF-8", 3079}, {"de_BE.UTF-8", 1031},  // unknown country: the language's default
      {"zh", 2052},          {"C", 1033},            {"POSIX", 1033},     {"C.UTF-8", 1033},
      {"", 1033},            {"xx_YY", 1033},        {"pt_BR", 1046},     {"pt-PT", 2070},
      {"JA_jp.eucJP", 1041},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::LanguageIdFromLocaleName(c.locale), c.id) << c.locale;

  // LC_ALL wins over LC_MESSAGES, which wins over LANG; empty ones are skipped.
  ScopedEnv all("LC_ALL", "");
  ScopedEnv messages("LC_MESSAGES", "zh_CN.UTF-8");
  ScopedEnv lang("LANG", "de_DE.UTF-8");
  EXPECT_EQ(platform::SystemLanguageId(), 2052);
  {
    ScopedEnv all2("LC_ALL", "fr_FR.UTF-8");
    EXPECT_EQ(platform::SystemLanguageId(), 1036);
  }
  ScopedEnv noMessages("LC_MESSAGES", nullptr);
  EXPECT_EQ(platform::SystemLanguageId(), 1031);
}

TEST(SystemLocale, DecimalSeparator) {
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv numeric("LC_NUMERIC", nullptr);
  const struct {
    const char* lang;
    char sep;
  } cases[] = {{"de_DE.UTF-8", ','}, {"en_US.UTF-8", '.'}, {"de_CH.UTF-8", '.'},
               {"fr_FR", ','},       {"zh_CN.UTF-8", '.'}, {"C", '.'}};
  for (const auto& c : cases) {
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(platform::DecimalSeparator(), c.sep) << c.lang;
  }
}

TEST(Hooks, DefaultsAndInstalledHooks) {
  EXPECT_FALSE(ShellOpen("https://example.invalid/", "", 1));
  ProcessMessages();  // no hook: nothing happens

  int drained = 0;
  platform::SetProcessMessagesHook([&] { ++drained; });
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(drained, 2);
  // A hook that replaces itself from inside the drain must not pull the
  // running function out from under itself.
  platform::SetProcessMessagesHook([&] {
    ++drained;
    platform::SetProcessMessagesHook({});
  });
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(drained, 3);

  std::string opened;
  platform::SetShellOpenHook([&](const std::string& f, const std::string& p, int show) {
    opened = f + "|" + p + "|" + std::to_string(show);
    return true;
  });
  EXPECT_TRUE(ShellOpen("/x/help.chm", "", 1));
  EXPECT_EQ(opened, "/x/help.chm||1");
  platform::SetShellOpenHook({});
  EXPECT_FALSE(ShellOpen("/x/help.chm", "", 1));
}

}  // namespace
}  // namespace purgo
