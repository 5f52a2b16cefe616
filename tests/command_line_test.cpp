#include "app/CommandLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "app/AppOptions.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code;
  std::vector<std::string> lines;  // the output, sorted: walks list in no fixed order
  std::string err;
};

// Runs the front end; with `between`, scans, calls it, then cleans.
Outcome RunFrontEnd(TCommandLineRequest r, const TPGCAppOptions* options = nullptr,
            const std::function<void()>& between = {}) {
  std::ostringstream out, err;
  TCommandLine command(std::move(r), options, out, err);
  int code = 0;
  if (between) {
    code = command.Scan();
    between();
    code = std::max(code, command.Clean());
  } else {
    code = command.Run();
  }
  Outcome o{code, {}, err.str()};
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) o.lines.push_back(line);
  std::sort(o.lines.begin(), o.lines.end());
  return o;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(CommandLineTest, JsonStringsAndBase64) {
  const struct {
    std::string in, json;
    bool exact;
  } cases[] = {
      {"a\"b\\c\n\t\x01", "a\\\"b\\\\c\\n\\t\\u0001", true},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", true},
      {"c\xFF.tmp", "c\xEF\xBF\xBD.tmp", false},
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD", false},  // a truncated sequence
  };
  for (const auto& c : cases) {
    bool exact = !c.exact;
    EXPECT_EQ(JsonEscape(c.in, &exact), c.json);
    EXPECT_EQ(exact, c.exact);
  }
  const std::pair<std::string, std::string> b64[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
                                                     {"c\xFF\xFE", "Y//+"}};
  for (const auto& [in, out] : b64) EXPECT_EQ(Base64(in), out);
}

// Folders: text and JSON, with and without sub-folders, a name that is not
// UTF-8, and a missing folder reported and skipped.
TEST(CommandLineTest, PreviewOfFolders) {
  test::Sandbox box;
  const std::string d = box.Path("data");
  box.MakeFile("data/a.tmp", "abc");
  box.MakeFile("data/sub/b.TMP", "12345");
  box.MakeFile("data/keep.txt");
  box.MakeFile("data/c\xFF.tmp");
  const std::string odd = d + "/c\xFF.tmp", oddJson = d + "/c\xEF\xBF\xBD.tmp";
  const struct {
    bool subfolders, json, missing;
    int code;
    std::vector<std::string> lines;
  } cases[] = {
      {true, false, false, 0,
       {"3\t" + d + "/a.tmp", "5\t" + d + "/sub/b.TMP", "1\t" + odd, "summary: 3 files, 9 bytes"}},
      {false, false, true, 1, {"3\t" + d + "/a.tmp", "1\t" + odd, "summary: 2 files, 4 bytes, 1 error"}},
      {true, true, true, 1,
       {"{\"event\":\"file\",\"path\":\"" + d + "/a.tmp\",\"size\":3,\"ending\":\".tmp\"}",
        "{\"event\":\"file\",\"path\":\"" + d + "/sub/b.TMP\",\"size\":5,\"ending\":\".tmp\"}",
        "{\"event\":\"file\",\"path\":\"" + oddJson + "\",\"path_bytes\":\"" + Base64(odd) +
            "\",\"size\":1,\"ending\":\".tmp\"}",
        "{\"event\":\"error\",\"path\":\"" + d +
            "/nope\",\"reason\":\"not-found\",\"message\":\"no such folder, skipped\"}",
        "{\"event\":\"summary\",\"mode\":\"preview\",\"files\":3,\"bytes\":9,\"errors\":1}"}},
  };
  for (const auto& c : cases) {
    TCommandLineRequest r;
    r.folders = {d};
    if (c.missing) r.folders.push_back(d + "/nope");
    r.endings = {".tmp"};
    r.subfolders = c.subfolders;
    r.json = c.json;
    const Outcome o = RunFrontEnd(r);
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(o.lines, Sorted(c.lines));
    EXPECT_EQ(o.err, c.missing ? "purgo: " + d + "/nope: no such folder, skipped\n" : "");
  }
  EXPECT_TRUE(fs::exists(d + "/a.tmp"));
}

// Between the scan and the cleaning pass files are swapped, held open or
// made read-only: each stays and is reported with its reason.
TEST(CommandLineTest, CleanRefusesWhatTheWindowWouldRefuse) {
  test::Sandbox box;
  const std::string d = box.Path("data");
  for (const char* f : {"gone.tmp", "ro.tmp", "sub/moved.tmp", "swapped.tmp", "xauth.tmp", "held.tmp"}) {
    box.MakeFile(std::string("data/") + f);
  }
  ::setenv("XAUTHORITY", (d + "/xauth.tmp").c_str(), 1);
  pid_t holder = -1;
  TCommandLineRequest r;
  r.mode = TCommandLineMode::Clean;
  r.folders = {d};
  r.endings = {".tmp"};
  const Outcome o = RunFrontEnd(r, nullptr, [&] {
    ::chmod((d + "/ro.tmp").c_str(), 0444);
    fs::rename(d + "/sub", d + "/elsewhere");
    fs::create_directory_symlink(d + "/elsewhere", d + "/sub");
    fs::remove(d + "/swapped.tmp");
    box.MakeFile("data/swapped.tmp");
    holder = ::fork();
    if (holder == 0) {
      ::open((d + "/held.tmp").c_str(), O_RDONLY);
      ::pause();
      ::_exit(0);
    }
    ::usleep(200000);
  });
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::unsetenv("XAUTHORITY");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.lines, Sorted({"deleted\t1\t" + d + "/gone.tmp", "refused\tread-only\t1\t" + d + "/ro.tmp",
                             "refused\tpath-changed\t1\t" + d + "/sub/moved.tmp",
                             "refused\tpath-changed\t1\t" + d + "/swapped.tmp",
                             "refused\tprotected\t1\t" + d + "/xauth.tmp", "refused\tin-use\t1\t" + d + "/held.tmp",
                             "summary: 1 deleted (1 bytes), 5 refused (5 bytes)"}));
  EXPECT_FALSE(fs::exists(d + "/gone.tmp"));
  for (const char* f : {"ro.tmp", "elsewhere/moved.tmp", "swapped.tmp", "xauth.tmp", "held.tmp"}) {
    EXPECT_TRUE(fs::exists(d + "/" + f)) << f;
  }
}

// Trace categories: the settings' ticked ones by default, the keep list
// honoured, the Trash listed where its items lie and emptied; usage errors.
TEST(CommandLineTest, TraceCategories) {
  test::Sandbox box;
  const std::string t = box.MakeFile("tmp/old.log", "1234");
  box.MakeFile("tmp/systemd-private-x/f");
  const std::string trash = box.MakeFile("home/.local/share/Trash/files/doc.txt", "12");
  TPGCAppOptions options(box.Path("program/data/"));
  options.SetAppScanTypes(kScanTempFiles | kScanOfficeSetup);
  const struct {
    TCommandLineMode mode;
    std::vector<std::string> categories;
    const TPGCAppOptions* options;
    int code;
    std::vector<std::string> lines;
  } cases[] = {
      {TCommandLineMode::Preview, {}, &options, 0, {"4\t" + t, "summary: 1 file, 4 bytes"}},
      {TCommandLineMode::Preview, {"trash", "temp"}, nullptr, 0,
       {"4\t" + t, "2\t" + trash, "summary: 2 files, 6 bytes"}},
      {TCommandLineMode::Preview, {"temp", "bogus"}, &options, 2, {}},
      {TCommandLineMode::Preview, {}, nullptr, 2, {}},
      {TCommandLineMode::List, {}, &options, 0, {"temp\tTemporary Files\tticked", "trash\tRecycled Files"}},
      {TCommandLineMode::Clean, {"temp", "trash"}, nullptr, 0,
       {"deleted\t4\t" + t, "deleted\t2\t" + trash, "summary: 2 deleted (6 bytes), 0 refused (0 bytes)"}},
  };
  for (const auto& c : cases) {
    TCommandLineRequest r;
    r.mode = c.mode;
    r.categories = c.categories;
    const Outcome o = RunFrontEnd(r, c.options);
    EXPECT_EQ(o.code, c.code);
    if (c.mode == TCommandLineMode::List) {
      EXPECT_EQ(o.lines.size(), 8u);
      for (const std::string& l : c.lines) EXPECT_NE(std::find(o.lines.begin(), o.lines.end(), l), o.lines.end());
    } else {
      EXPECT_EQ(o.lines, Sorted(c.lines));
    }
    EXPECT_EQ(o.err.empty(), c.code == 0) << o.err;
  }
  EXPECT_FALSE(fs::exists(t));
  EXPECT_TRUE(fs::exists(box.Path("tmp/systemd-private-x/f")));
  EXPECT_FALSE(fs::exists(trash));
}

}  // namespace
}  // namespace purgo
