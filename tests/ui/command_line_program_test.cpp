// SPDX-License-Identifier: GPL-3.0-or-later
// The command line, run as shipped, as purgo-cli and as purgo with
// options: the same results from both, no display at all, and nothing
// written beside the program or in the settings folders; and the window's
// start and end as far as they leave files behind.
#include <fcntl.h>
#include <signal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <algorithm>
#include <array>
#include <set>
#include <sstream>

#include "app/AppOptions.h"
#include "engine/PurgoCore.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

struct Ran {
  int code;
  std::string out, err;
};

// Standard output goes to `outPath` when given (a device, say).
Ran RunProgram(test::Sandbox& box, const std::vector<std::string>& args, const std::string& outPath = {},
               const std::string& name = "purgo") {
  const std::string exe = box.Path("program/" + name), err = box.Path("err");
  const std::string out = outPath.empty() ? box.Path("out") : outPath;
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) ::unsetenv(v);
    if (::chdir(box.Root().c_str()) != 0) ::_exit(127);
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128, outPath.empty() ? test::ReadBytes(out) : "",
          test::ReadBytes(err)};
}

// Each JSON line parsed back: event name, path as the exact bytes, reason.
using TEvents = std::multiset<std::array<std::string, 3>>;
TEvents Events(const std::string& out) {
  TEvents events;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    QJsonParseError error{};
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    const QByteArray path = o.contains(QStringLiteral("path_bytes"))
                                ? QByteArray::fromBase64(o[QStringLiteral("path_bytes")].toString().toLatin1())
                                : o[QStringLiteral("path")].toString().toUtf8();
    events.insert({o[QStringLiteral("event")].toString().toStdString(), path.toStdString(),
                   o[QStringLiteral("reason")].toString().toStdString()});
  }
  return events;
}

// Both programs that run the command line, each copied into the sandbox
// under its own name.
struct TCommandLineProgram {
  const char* name;
  const char* binary;
  bool window;  // without options it starts the window
};
void PrintTo(const TCommandLineProgram& p, std::ostream* os) { *os << p.name; }

class CommandLineProgram : public ::testing::TestWithParam<TCommandLineProgram> {
 protected:
  void SetUp() override { fs::copy_file(GetParam().binary, box.Path(std::string("program/") + GetParam().name)); }
  Ran Run(const std::vector<std::string>& args, const std::string& outPath = {}) {
    return RunProgram(box, args, outPath, GetParam().name);
  }
  // A usage error's last line points to this program's help.
  std::string TryHelp() const { return std::string("Try '") + GetParam().name + " --help'.\n"; }
  test::Sandbox box;
};

INSTANTIATE_TEST_SUITE_P(Programs, CommandLineProgram,
                         ::testing::Values(TCommandLineProgram{"purgo-cli", PURGO_CLI_BINARY, false},
                                           TCommandLineProgram{"purgo", PURGO_BINARY, true}),
                         [](const auto& p) { return std::string(p.param.window ? "Window" : "Cli"); });

TEST_P(CommandLineProgram, UsageVersionPreviewAndCleanWithoutADisplay) {
  const std::string d = box.Path("data");
  const std::string a = box.MakeFile("data/a.tmp"), odd = box.MakeFile("data/sub/c\xFF.tmp");
  const std::string ro = box.MakeFile("data/ro.tmp");
  box.MakeFile("data/keep.txt");
  ::chmod(ro.c_str(), 0444);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out, err;  // the start of each
    TEvents events;
  } cases[] = {
      {{"--bogus"}, 2, "", "purgo: unknown option '--bogus'\n" + TryHelp(), {}},
      {{"--clean", "-f", d, "-e", ".tmp"}, 2, "", "purgo: --clean deletes files: confirm it with --yes\n", {}},
      {{"--preview", "--list"}, 2, "", "purgo: --list, --preview and --clean do not go together\n", {}},
      {{"--version"}, 0, "purgo " PURGO_VERSION "\n", "", {}},
      {{"--preview", "--json", "-f", d, "--folder=" + d + "/nope", "-e.tmp"}, 1, "",
       "purgo: " + d + "/nope: no such folder, skipped\n",
       {{"file", a, ""}, {"file", odd, ""}, {"file", ro, ""}, {"error", d + "/nope", "not-found"},
        {"summary", "", ""}}},
      {{"--clean", "--yes", "--json", "-f", d, "-e", ".tmp"}, 1, "", "",
       {{"deleted", a, ""}, {"deleted", odd, ""}, {"refused", ro, "read-only"}, {"summary", "", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    const Ran r = Run(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    if (c.events.empty()) {
      EXPECT_EQ(r.out, c.out);
    } else {
      EXPECT_EQ(Events(r.out), c.events);
    }
  }
  EXPECT_FALSE(fs::exists(a));
  EXPECT_TRUE(fs::exists(ro));
  // No file written beside the program or in the home folder (where the
  // settings folders are).
  for (const auto& [dir, files] : {std::pair("program", 1), std::pair("home", 0)}) {
    EXPECT_EQ(std::count_if(fs::recursive_directory_iterator(box.Path(dir)), fs::recursive_directory_iterator(),
                            [](const fs::directory_entry& e) { return !e.is_directory(); }),
              files)
        << dir;
  }
}

// Long options by unique prefix, as GNU tools take them; values are never
// taken for options; -0 ends records with NUL and keeps the summary off
// the records.
TEST_P(CommandLineProgram, PrefixesAndNulRecords) {
  const std::string d = box.Path("data");
  const std::string a = box.MakeFile("data/a\nb.tmp", "123");
  box.MakeDir("--pre");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out, err;
  } cases[] = {
      {{"--prev", "--fol=" + d, "--end", ".tmp"}, 0, "3\t" + a + "\nsummary: 1 file, 3 bytes\n", ""},
      {{"--prev", "-0", "-f", d, "-e.tmp"}, 0, "3\t" + a + std::string(1, '\0'), "summary: 1 file, 3 bytes\n"},
      {{"--preview", "--null", "--no-s", "-f", "--pre", "-e", ".tmp"}, 0, "", "summary: 0 files, 0 bytes\n"},
      {{"--c", "--yes"}, 2, "", "purgo: option '--c' is ambiguous; possibilities: '--category' '--clean'\n"},
      {{"--preview", "--n", "-f", d}, 2, "", "purgo: option '--n' is ambiguous; possibilities: '--no-subfolders' '--null'\n"},
      {{"--preview", "-x"}, 2, "", "purgo: unknown option '-x'\n"},
      {{"--preview", "-0", "--json", "-f", d}, 2, "", "purgo: --null is for text output, not --json\n"},
      {{"--preview", "--from", "l"}, 2, "", "purgo: --from needs --clean\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    const Ran r = Run(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.code == 2 ? c.err + TryHelp() : c.err);
  }
}

// Output that cannot be written is an error. Without options, a window
// with no display is one line, not Qt's abort; purgo-cli has no window
// and asks for a mode.
TEST_P(CommandLineProgram, FullDeviceAndNoOptions) {
  box.MakeFile("data/a.tmp");
  const Ran full = Run({"--preview", "-f", box.Path("data"), "-e", ".tmp"}, "/dev/full");
  EXPECT_EQ(full.code, 1);
  EXPECT_EQ(full.err, "purgo: cannot write the output: No space left on device\n");
  const Ran fullClean = Run({"--clean", "--yes", "-f", box.Path("data"), "-e", ".tmp"}, "/dev/full");
  EXPECT_EQ(fullClean.code, 1);
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"-style", "fusion"}}) {
    const Ran bare = Run(args);
    EXPECT_EQ(bare.out, "");
    if (GetParam().window) {
      EXPECT_EQ(bare.code, 1);
      EXPECT_EQ(bare.err, "purgo: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                          "use 'purgo --help' for the command line\n");
    } else {
      EXPECT_EQ(bare.code, 2);
      EXPECT_EQ(bare.err, "purgo: choose one of --list, --preview or --clean\n" + TryHelp());
    }
  }
}

// The review round trip through the program: a preview written as JSON,
// filtered, and cleaned from standard input.
TEST_P(CommandLineProgram, CleanFromAFilteredPreview) {
  const std::string a = box.MakeFile("data/a.tmp"), b = box.MakeFile("data/b.tmp");
  const Ran preview = Run({"--preview", "--json", "-f", box.Path("data"), "-e", ".tmp"});
  ASSERT_EQ(preview.code, 0);
  std::string list;
  std::istringstream in(preview.out);
  for (std::string line; std::getline(in, line);) {
    if (line.find("b.tmp") == std::string::npos) list += line + "\n";
  }
  box.MakeFile("list.jsonl", list);
  const Ran clean = Run({"--clean", "--yes", "--json", "--from", box.Path("list.jsonl")});
  EXPECT_EQ(clean.code, 0) << clean.err;
  EXPECT_EQ(Events(clean.out), TEvents({{"deleted", a, ""}, {"summary", "", ""}}));
  EXPECT_FALSE(fs::exists(a));
  EXPECT_TRUE(fs::exists(b));
}

// Both read the settings the window writes (beside a portable program
// here) and leave them as they were: the ticked categories and
// endings are the defaults.
TEST_P(CommandLineProgram, ReadsTheWindowsSettings) {
  const std::string d = box.Path("data"), bak = box.MakeFile("data/a.bak", "12");
  box.MakeFile("data/b.tmp");
  TPGCAppOptions options(box.Path("program/data/"));
  options.ClearExts();
  options.AddExt(".tmp", false, true);
  options.AddExt(".bak", true, true);
  options.SetAppScanTypes(kScanTempFiles | kScanRecycleBin);
  ASSERT_TRUE(options.SaveToXML());
  const std::string saved = test::ReadBytes(options.OptionsFile());
  const Ran list = Run({"--list"});
  EXPECT_EQ(list.code, 0);
  for (const char* line : {"temp\tTemporary files\tticked\n", "trash\tTrash\tticked\n", "cache\tApplication caches\n"}) {
    EXPECT_NE(list.out.find(line), std::string::npos) << line;
  }
  const Ran preview = Run({"--preview", "-f", d});
  EXPECT_EQ(preview.code, 0) << preview.err;
  EXPECT_EQ(preview.out, "2\t" + bak + "\nsummary: 1 file, 2 bytes\n");
  EXPECT_EQ(test::ReadBytes(options.OptionsFile()), saved);
}

// The single-instance lock and socket live as long as the window: a
// window closed (here by SIGTERM, as at logout) leaves nothing behind.
TEST(ProgramWindow, LockAndSocketGoWhenTheWindowCloses) {
  test::Sandbox box;
  fs::copy_file(PURGO_BINARY, box.Path("program/purgo"));
  const std::string exe = box.Path("program/purgo"), lock = box.Path("run/{1047E291-FFFF-4ac2-870E-5CEA30153018}.lock");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 200 && !fs::exists(lock); ++i) ::usleep(50000);
  EXPECT_TRUE(fs::exists(lock));
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_empty(box.Path("run")));
}

}  // namespace
}  // namespace purgo
