// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <malloc.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/WindowOptions.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;

// The exit status, the output's lines sorted (walks list in no fixed
// order) and the error stream. With `between`: scan, call it, clean.
struct Outcome {
  int code;
  std::multiset<std::string> lines;
  std::string err;
};
Outcome RunFrontEnd(TCommandLineRequest r, const TPGCAppOptions* options = nullptr,
                    const std::function<void()>& between = {}) {
  std::ostringstream out, err;
  TCommandLine command(std::move(r), options, out, err);
  int code = between ? command.Scan() : command.Run();
  if (between) {
    between();
    code = std::max(code, command.Clean());
  }
  Outcome o{code, {}, err.str()};
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) o.lines.insert(line);
  return o;
}

// What a preview line carries for the deletion: the root's length and
// identities differ from one run to the next.
const std::regex kIdentities(",\"root_length\":[0-9]+,\"root_id\":\"[0-9:]+\",\"id\":\"[0-9:]+\",\"stamp\":\"[0-9:]+\"");
std::multiset<std::string> WithoutIdentities(const std::multiset<std::string>& ALines) {
  std::multiset<std::string> out;
  for (const std::string& l : ALines) out.insert(std::regex_replace(l, kIdentities, ""));
  return out;
}

// Folders: text and JSON, with and without sub-folders, names that need
// escaping or are not UTF-8, and a missing folder reported and skipped.
TEST(CommandLineTest, PreviewOfFolders) {
  test::Sandbox box;
  const std::string d = box.Path("data");
  box.MakeFile("data/a\"\t.tmp", "abc");
  box.MakeFile("data/sub/b.TMP", "12345");
  box.MakeFile("data/keep.txt");
  box.MakeFile("data/c\xFF.tmp");
  const std::string odd = d + "/c\xFF.tmp", oddJson = d + "/c\xEF\xBF\xBD.tmp";
  // A missing folder whose name would clear the screen: its bytes in
  // JSON, escaped wherever a person reads them.
  const std::string nope = d + "/no\x1b[2Jpe";
  const struct {
    bool subfolders, json, missing, terminal;
    int code;
    std::multiset<std::string> lines;
  } cases[] = {
      {true, false, false, false, 0,
       {"3\t" + d + "/a\"\t.tmp", "5\t" + d + "/sub/b.TMP", "1\t" + odd, "summary: 3 files, 9 bytes"}},
      {false, false, true, false, 1, {"3\t" + d + "/a\"\t.tmp", "1\t" + odd, "summary: 2 files, 4 bytes, 1 error"}},
      {false, false, false, true, 0,
       {"3\t" + d + "/a\"\\t.tmp", "1\t" + d + "/c\\377.tmp", "summary: 2 files, 4 bytes"}},
      {true, true, true, true, 1,
       {"{\"event\":\"file\",\"path\":\"" + d + "/a\\\"\\t.tmp\",\"size\":3,\"ending\":\".tmp\",\"format\":1}",
        "{\"event\":\"file\",\"path\":\"" + d + "/sub/b.TMP\",\"size\":5,\"ending\":\".tmp\",\"format\":1}",
        "{\"event\":\"file\",\"path\":\"" + oddJson + "\",\"path_bytes\":\"" + Base64(odd) +
            "\",\"size\":1,\"ending\":\".tmp\",\"format\":1}",
        "{\"event\":\"error\",\"path\":\"" + d +
            "/no\\u001b[2Jpe\",\"reason\":\"not-found\",\"message\":\"no such folder, skipped\"}",
        "{\"event\":\"summary\",\"mode\":\"preview\",\"files\":3,\"bytes\":9,\"errors\":1}"}},
  };
  for (const auto& c : cases) {
    TCommandLineRequest r;
    r.folders = {d};
    if (c.missing) r.folders.push_back(nope);
    r.endings = {".tmp"};
    r.subfolders = c.subfolders;
    r.json = c.json;
    r.terminal = c.terminal;
    const Outcome o = RunFrontEnd(r);
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(WithoutIdentities(o.lines), c.lines);
    EXPECT_EQ(o.err, c.missing ? "purgo: " + d + "/no\\033[2Jpe: no such folder, skipped\n" : "");
  }
  EXPECT_TRUE(fs::exists(d + "/a\"\t.tmp"));
}

// Found files are held as a folder and a name: a chain of long folder
// names, whose files' full paths add up to the square of its depth, costs
// what its folders do, through the scan and the clean.
TEST(CommandLineTest, DeepChainsCostWhatTheirFoldersCost) {
  test::Sandbox box;
  const std::string base = box.MakeDir("deep");
  constexpr int kLevels = 400;
  const std::string name(250, 'n');  // the files' paths: 20 MB in all
  std::vector<int> fds{::open(base.c_str(), O_RDONLY | O_DIRECTORY)};
  for (int i = 0; i < kLevels; ++i) {
    ASSERT_EQ(::mkdirat(fds.back(), name.c_str(), 0755), 0);
    fds.push_back(::openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_GE(fds.back(), 0);
    ::close(::openat(fds.back(), "f.tmp", O_CREAT | O_WRONLY, 0644));
  }
  // Output goes nowhere: only what the command holds is measured.
  struct Discard : std::streambuf {
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  } discard;
  std::ostream out(&discard), err(&discard);
  TCommandLineRequest r;
  r.mode = TCommandLineMode::Clean;
  r.folders = {base};
  r.endings = {".tmp"};
  const auto held = [] { return static_cast<long long>(::mallinfo2().uordblks); };
  const long long before = held();
  TCommandLine command(std::move(r), nullptr, out, err);
  EXPECT_EQ(command.Scan(), 0);
  EXPECT_LT(held() - before, 4LL << 20);
  EXPECT_EQ(command.Clean(), 0);
  for (int i = kLevels; i > 0; --i) {
    EXPECT_NE(::unlinkat(fds[static_cast<std::size_t>(i)], "f.tmp", 0), 0) << "level " << i;
    ::close(fds[static_cast<std::size_t>(i)]);
    ::unlinkat(fds[static_cast<std::size_t>(i - 1)], name.c_str(), AT_REMOVEDIR);
  }
  ::close(fds[0]);
}

// What reaches a terminal can print but never act: controls of both sets
// (C1 as UTF-8 too), DEL and stray bytes as escapes, other text as it is.
TEST(CommandLineTest, TerminalEscape) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain/\xE5\x9E\x83\xE5\x9C\xBE.tmp", "plain/\xE5\x9E\x83\xE5\x9C\xBE.tmp"},
      {"a\\b\tc\nd\re", "a\\\\b\\tc\\nd\\re"},
      {"\x1b]0;x\x07\x7f", "\\033]0;x\\a\\177"},
      {"\xC2\x9B" "2J \xC2\xA0", "\\302\\233" "2J \xC2\xA0"},
      {"\xFF\xE5\x9E", "\\377\\345\\236"},
  };
  for (const auto& [in, shown] : cases) EXPECT_EQ(TerminalEscape(in), shown) << in;
}

// Between the scan and the cleaning pass files are swapped, held open or
// made read-only: each stays and is reported with its reason.
TEST(CommandLineTest, CleanRefusesWhatTheWindowWouldRefuse) {
  test::Sandbox box;
  const std::string d = box.Path("data");
  for (const char* f : {"gone.tmp", "ro.tmp", "sub/moved.tmp", "swapped.tmp", "xauth.tmp", "held.tmp"}) {
    box.MakeFile(std::string("data/") + f);
  }
  const char* xauth = std::getenv("XAUTHORITY");
  const std::optional<std::string> savedXauth = xauth ? std::optional<std::string>(xauth) : std::nullopt;
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
    // The child holds the descriptor it inherits.
    const int fd = ::open((d + "/held.tmp").c_str(), O_RDONLY);
    holder = ::fork();
    if (holder == 0) {
      ::pause();
      ::_exit(0);
    }
    ::close(fd);
  });
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  savedXauth ? ::setenv("XAUTHORITY", savedXauth->c_str(), 1) : ::unsetenv("XAUTHORITY");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.lines, std::multiset<std::string>({"deleted\t1\t" + d + "/gone.tmp",
                                                 "refused\tread-only\t1\t" + d + "/ro.tmp",
                                                 "refused\tpath-changed\t1\t" + d + "/sub/moved.tmp",
                                                 "refused\tpath-changed\t1\t" + d + "/swapped.tmp",
                                                 "refused\tprotected\t1\t" + d + "/xauth.tmp",
                                                 "refused\tin-use\t1\t" + d + "/held.tmp",
                                                 "summary: 1 deleted (1 byte), 5 refused (5 bytes)"}));
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
    std::multiset<std::string> lines;
  } cases[] = {
      {TCommandLineMode::Preview, {}, &options, 0, {"4\t" + t, "summary: 1 file, 4 bytes"}},
      {TCommandLineMode::Preview, {"trash", "temp"}, nullptr, 0,
       {"4\t" + t, "2\t" + trash, "summary: 2 files, 6 bytes"}},
      {TCommandLineMode::Preview, {"temp", "bogus"}, &options, 2, {}},
      {TCommandLineMode::Preview, {"prefetch"}, &options, 2, {}},
      {TCommandLineMode::Preview, {"downloaded-programs"}, &options, 2, {}},
      {TCommandLineMode::Preview, {}, nullptr, 2, {}},
      {TCommandLineMode::List, {}, &options, 0, {"temp\tTemporary files\tticked", "trash\tTrash"}},
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
      EXPECT_EQ(o.lines.size(), 6u);
      for (const std::string& l : c.lines) EXPECT_EQ(o.lines.count(l), 1u) << l;
    } else {
      EXPECT_EQ(o.lines, c.lines);
    }
    EXPECT_EQ(o.err.empty(), c.code == 0) << o.err;
  }
  EXPECT_FALSE(fs::exists(t));
  EXPECT_TRUE(fs::exists(box.Path("tmp/systemd-private-x/f")));
  EXPECT_FALSE(fs::exists(trash));
}

// Run from inside the temporary folder, the category is skipped (its
// files would include the run's own) and says so, in text and JSON, with
// status 1; nothing of it is deleted, and the other categories still run.
TEST(CommandLineTest, TempFilesSkippedFromInsideTheTemporaryFolder) {
  test::Sandbox box;
  const std::string t = box.MakeFile("tmp/old.log", "1234");
  const std::string trash = box.MakeFile("home/.local/share/Trash/files/doc.txt", "12");
  const std::string tmp = box.Path("tmp");
  const std::string said = "the temporary folder is the current folder, so temporary files were skipped "
                           "(this run's own files are there); run from another folder";
  const fs::path before = fs::current_path();
  fs::current_path(tmp);
  const struct {
    TCommandLineMode mode;
    std::vector<std::string> categories;
    bool json;
    std::multiset<std::string> lines;
  } cases[] = {
      {TCommandLineMode::Preview, {"temp", "trash"}, false, {"2\t" + trash, "summary: 1 file, 2 bytes, 1 error"}},
      {TCommandLineMode::Preview, {"temp"}, true,
       {"{\"event\":\"error\",\"path\":\"" + tmp + "\",\"reason\":\"working-folder\",\"message\":\"" + said + "\"}",
        "{\"event\":\"summary\",\"mode\":\"preview\",\"files\":0,\"bytes\":0,\"errors\":1}"}},
      {TCommandLineMode::Clean, {"temp", "trash"}, false,
       {"deleted\t2\t" + trash, "summary: 1 deleted (2 bytes), 0 refused (0 bytes), 1 error"}},
  };
  for (const auto& c : cases) {
    TCommandLineRequest r;
    r.mode = c.mode;
    r.categories = c.categories;
    r.json = c.json;
    const Outcome o = RunFrontEnd(r);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.lines, c.lines);
    EXPECT_EQ(o.err, "purgo: " + tmp + ": " + said + "\n");
  }
  fs::current_path(before);
  EXPECT_TRUE(fs::exists(t));
}

// Only leading window-system options are the window's; once purgo's own
// options begin, every argument is purgo's, values included.
TEST(CommandLineTest, WindowOptionsOnlyLead) {
  using Args = std::vector<std::string>;
  const struct {
    Args argv;  // after "purgo"
    Args own;   // empty: the window starts
  } cases[] = {
      {{}, {}},
      {{"-platform", "offscreen", "-style=fusion", "--reverse"}, {}},
      {{"-platform"}, {}},
      {{"-platform", "offscreen", "--list"}, {"--list"}},
      {{"--clean", "--yes", "-f", "-platform", "-e", ".tmp"},
       {"--clean", "--yes", "-f", "-platform", "-e", ".tmp"}},
      {{"--preview", "-f", "d", "-style", "x"}, {"--preview", "-f", "d", "-style", "x"}},
      {{"-reverse", "-f", "-geometry"}, {"-f", "-geometry"}},
      {{"--", "-platform", "x"}, {"--", "-platform", "x"}},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv{"purgo"};
    for (const std::string& a : c.argv) argv.push_back(a.c_str());
    EXPECT_EQ(OwnArguments(static_cast<int>(argv.size()), argv.data()), c.own)
        << ::testing::PrintToString(c.argv);
  }
}

// Mode bits bind root too, on this thread (the walk's), while it lives:
// it puts down CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH.
class PermissionBitsBind {
 public:
  PermissionBitsBind() {
    if (::geteuid() != 0 || ::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~PermissionBitsBind() {
    if (lowered_) ::syscall(SYS_capset, &header_, saved_);
  }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool lowered_ = false;
};

// A folder below the one given, or below a category's, that cannot be
// opened is an error (path, reason, counted, status 1); what the walk
// leaves out on purpose (a link, a kept folder, another user's) is not,
// and another user's file is not offered.
TEST(CommandLineTest, FoldersThatCannotBeOpenedAreErrors) {
  test::Sandbox box;
  std::vector<std::string> shut = {"data/locked", "tmp/locked", "tmp/systemd-private-x"};
  if (::geteuid() == 0) {
    shut.insert(shut.end(), {"data/theirs", "tmp/theirs"});
    ASSERT_EQ(::chown(box.MakeFile("data/theirs.tmp").c_str(), 65534, 65534), 0);
  }
  for (const std::string& f : shut) box.MakeFile(f + "/x.tmp");
  for (const char* f : {"data/a.tmp", "tmp/a.tmp"}) box.MakeFile(f);
  box.MakeSymlink("data/link", box.Path("data/locked"));
  struct Shut {
    std::vector<std::string> paths;
    ~Shut() { for (const std::string& p : paths) ::chmod(p.c_str(), 0700); }
  } reopen;
  for (const std::string& f : shut) {
    if (f.find("theirs") != std::string::npos) {
      ASSERT_EQ(::chown(box.Path(f).c_str(), 65534, 65534), 0);
    }
    reopen.paths.push_back(box.Path(f));
    ::chmod(box.Path(f).c_str(), 0);
  }
  PermissionBitsBind bind;
  if (const int fd = ::open(box.Path("data/locked").c_str(), O_RDONLY | O_DIRECTORY); fd >= 0) {
    ::close(fd);
    GTEST_SKIP() << "a mode-000 folder is readable here";
  }
  const std::string d = box.Path("data"), t = box.Path("tmp");
  const std::string why = "the folder cannot be opened (" + std::string(std::strerror(EACCES)) + "), passed over";
  for (const bool folders : {true, false}) {
    TCommandLineRequest r;
    r.folders = folders ? std::vector<std::string>{d} : std::vector<std::string>{};
    r.endings = {".tmp"};
    r.categories = {"temp"};
    r.json = folders;
    const Outcome o = RunFrontEnd(r);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "purgo: " + (folders ? d : t) + "/locked: " + why + "\n");
    const std::multiset<std::string> expected =
        folders ? std::multiset<std::string>{
                      "{\"event\":\"file\",\"path\":\"" + d + "/a.tmp\",\"size\":1,\"ending\":\".tmp\",\"format\":1}",
                      "{\"event\":\"error\",\"path\":\"" + d + "/locked\",\"reason\":\"unreadable\",\"message\":\"" + why + "\"}",
                      "{\"event\":\"summary\",\"mode\":\"preview\",\"files\":1,\"bytes\":1,\"errors\":1}"}
                : std::multiset<std::string>{"1\t" + t + "/a.tmp", "summary: 1 file, 1 byte, 1 error"};
    EXPECT_EQ(WithoutIdentities(o.lines), expected);
  }
}

// Cleaning empties the Trash as the scan listed it: an item trashed
// between scan and clean stays with its info, unreported; a listed name
// that now leads to another file stays and is reported.
TEST(CommandLineTest, TrashCleanDeletesOnlyWhatTheScanListed) {
  test::Sandbox box;
  const std::string trash = box.Path("home/.local/share/Trash/");
  for (const std::string name : {"doc.txt", "swapped.txt"}) {
    box.MakeFile("home/.local/share/Trash/files/" + name, name == "doc.txt" ? "12" : "123");
    box.MakeFile("home/.local/share/Trash/info/" + name + ".trashinfo", "[Trash Info]\nPath=/x/" + name + "\n");
  }
  TCommandLineRequest r;
  r.mode = TCommandLineMode::Clean;
  r.categories = {"trash"};
  const Outcome o = RunFrontEnd(r, nullptr, [&] {
    box.MakeFile("home/.local/share/Trash/files/late.txt", "late");
    box.MakeFile("home/.local/share/Trash/info/late.txt.trashinfo", "[Trash Info]\nPath=/x/late.txt\n");
    std::rename(box.MakeFile("other", "4567").c_str(), (trash + "files/swapped.txt").c_str());
  });
  EXPECT_EQ(o.code, kExitIncomplete);
  EXPECT_EQ(o.lines, (std::multiset<std::string>{"deleted\t2\t" + trash + "files/doc.txt",
                                                 "refused\tpath-changed\t3\t" + trash + "files/swapped.txt",
                                                 "summary: 1 deleted (2 bytes), 1 refused (3 bytes)"}));
  EXPECT_FALSE(fs::exists(trash + "files/doc.txt"));
  EXPECT_FALSE(fs::exists(trash + "info/doc.txt.trashinfo"));
  for (const char* kept : {"files/late.txt", "info/late.txt.trashinfo", "files/swapped.txt",
                           "info/swapped.txt.trashinfo"}) {
    EXPECT_TRUE(fs::exists(trash + kept)) << kept;
  }
}

// The recently-used list through the command line: its entries are shown
// by address, never as paths; cleaning takes out the entries still there
// unchanged (a list rewritten meanwhile is merged) and leaves every
// document; a list that cannot be read is an error and nothing is removed.
TEST(CommandLineTest, RecentListEntriesAreReferences) {
  test::Sandbox box;
  const std::string doc = box.MakeFile("home/doc.txt", "keep me");
  const std::string link = box.MakeFile("home/.local/share/RecentDocuments/doc.txt.desktop", "[Desktop Entry]\n");
  const auto entry = [](const std::string& href, const std::string& visited) {
    return "  <bookmark href=\"" + href + "\" modified=\"m\" visited=\"" + visited + "\"/>\n";
  };
  const std::string head = "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n", tail = "</xbel>\n";
  const std::string a = entry("file://" + doc, "1"), b = entry("file:///x/%E6%8A%A5.odt", "1"), bAgain = entry("file:///x/%E6%8A%A5.odt", "2");
  const std::string list = box.Path("home/.local/share/recently-used.xbel");
  const std::string l = "{\"event\":\"", in = "\",\"list\":\"" + list + "\",\"href\":\"";
  const auto sz = [](const std::string& e) { return std::to_string(e.size()); };
  const struct {
    TCommandLineMode mode;
    bool json;
    std::string content;
    bool useAgain;  // b is used again between the scan and the cleaning
    int code;
    std::multiset<std::string> lines;
    std::string after;  // the list afterwards
  } cases[] = {
      {TCommandLineMode::Preview, false, head + a + b + tail, false, 0,
       {"entry\t" + sz(a) + "\tfile://" + doc, "entry\t" + sz(b) + "\tfile:///x/%E6%8A%A5.odt", "16\t" + link,
        "summary: 3 files, " + std::to_string(a.size() + b.size() + 16) + " bytes"},
       head + a + b + tail},
      {TCommandLineMode::Preview, true, head + b + tail, false, 0,
       {l + "entry" + in + "file:///x/%E6%8A%A5.odt\",\"name\":\"\xE6\x8A\xA5.odt\",\"where\":\"/x\",\"size\":" + sz(b) +
            ",\"category\":\"recent\"}",
        l + "file\",\"path\":\"" + link + "\",\"size\":16,\"category\":\"recent\",\"format\":1}",
        l + "summary\",\"mode\":\"preview\",\"files\":2,\"bytes\":" + std::to_string(b.size() + 16) + ",\"errors\":0}"},
       head + b + tail},
      {TCommandLineMode::Clean, true, head + a + b + tail, true, 1,
       {l + "removed" + in + "file://" + doc + "\",\"size\":" + sz(a) + "}",
        l + "refused" + in + "file:///x/%E6%8A%A5.odt\",\"size\":" + sz(b) + ",\"reason\":\"changed\"}",
        l + "deleted\",\"path\":\"" + link + "\",\"size\":16}",
        l + "summary\",\"mode\":\"clean\",\"files\":3,\"bytes\":" + std::to_string(a.size() + b.size() + 16) +
            ",\"deleted\":2,\"deleted_bytes\":" + std::to_string(a.size() + 16) + ",\"refused\":1,\"refused_bytes\":" +
            sz(b) + ",\"errors\":0}"},
       head + bAgain + tail},
      {TCommandLineMode::Clean, false, head + a + "<bookmark>" + tail, false, 1,
       {"deleted\t16\t" + link, "summary: 1 deleted (16 bytes), 0 refused (0 bytes), 1 error"},
       head + a + "<bookmark>" + tail},
  };
  for (const auto& c : cases) {
    box.MakeFile("home/.local/share/RecentDocuments/doc.txt.desktop", "[Desktop Entry]\n");
    box.MakeFile("home/.local/share/recently-used.xbel", c.content);
    TCommandLineRequest r;
    r.mode = c.mode;
    r.json = c.json;
    r.categories = {"recent"};
    const Outcome o = RunFrontEnd(r, nullptr, !c.useAgain ? std::function<void()>() : [&] {
      box.MakeFile("home/.local/share/recently-used.xbel", head + a + bAgain + tail);
    });
    EXPECT_EQ(o.code, c.code);
    EXPECT_EQ(WithoutIdentities(o.lines), c.lines);
    EXPECT_EQ(test::ReadBytes(list), c.after);
    EXPECT_EQ(test::ReadBytes(doc), "keep me");
  }
}

// The JSON preview lines of `ARequest`, one per file (no summary).
std::vector<std::string> PreviewList(TCommandLineRequest ARequest) {
  ARequest.json = true;
  std::vector<std::string> lines;
  for (const std::string& l : RunFrontEnd(ARequest).lines) {
    if (l.find("\"event\":\"file\"") != std::string::npos) lines.push_back(l);
  }
  return lines;
}

std::string Join(const std::vector<std::string>& ALines) {
  std::string text;
  for (const std::string& l : ALines) text += l + "\n";
  return text;
}

// A reviewed list cleaned later: each file goes only while it is the file
// the preview saw, where it saw it; what the list leaves out stays, and
// so does a file a line names outside what its scan would offer.
TEST(CommandLineTest, CleanFromAReviewedList) {
  test::Sandbox box;
  const std::string d = box.Path("data"), d2 = box.Path("data2");
  for (const char* f : {"keep.tmp", "grown.tmp", "replaced.tmp", "unlisted.tmp", "sub/moved.tmp", "cat.tmp"}) {
    box.MakeFile(std::string("data/") + f);
  }
  box.MakeFile("data2/rooted.tmp");
  box.MakeFile("other/rooted.tmp");
  box.MakeFile("outside/secret.tmp");
  const std::string temp = box.MakeFile("tmp/old.log", "1234");
  TCommandLineRequest preview;
  preview.folders = {d, d2};
  preview.endings = {".tmp"};
  std::vector<std::string> lines = PreviewList(preview);
  preview.folders = {box.Path("outside")};
  const std::string secret = PreviewList(preview).at(0);
  preview.folders.clear();
  preview.categories = {"temp"};
  const std::string tempLine = PreviewList(preview).at(0);
  ASSERT_EQ(lines.size(), 7u);
  const auto lineOf = [&](const std::string& AName) {
    return *std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.find("/" + AName + "\"") != std::string::npos;
    });
  };
  const std::string keep = lineOf("keep.tmp");
  lines.erase(std::find(lines.begin(), lines.end(), lineOf("unlisted.tmp")));
  // A line pointed outside its root through "..", with the root's own
  // identity; a file of the folders moved into the temporary folder's
  // category; a category file outside that category's folder.
  const std::string rootFields = std::regex_replace(keep, std::regex(".*(,\"root_length\":[0-9]+,\"root_id\":\"[0-9:]+\").*"), "$1");
  lines.push_back(std::regex_replace(
      std::regex_replace(secret, std::regex(",\"root_length\":[0-9]+,\"root_id\":\"[0-9:]+\""), rootFields),
      std::regex("\"path\":\"[^\"]*\""), "\"path\":\"" + d + "/../outside/secret.tmp\""));
  const std::string cat = lineOf("cat.tmp");
  lines.erase(std::find(lines.begin(), lines.end(), cat));
  lines.push_back(std::regex_replace(cat, std::regex("\"ending\":\"\\.tmp\""), "\"category\":\"temp\""));
  lines.push_back(tempLine);

  // After the review: one file grows, one is made anew, a folder on the
  // way and a root are swapped for links, the temporary file moves.
  { std::ofstream(d + "/grown.tmp", std::ios::app) << "more"; }
  fs::remove(d + "/replaced.tmp");
  box.MakeFile("data/replaced.tmp");
  fs::rename(d + "/sub", d + "/sub-old");
  fs::create_directory_symlink(d + "/sub-old", d + "/sub");
  fs::rename(d2, box.Path("data2-old"));
  fs::create_directory_symlink(box.Path("other"), d2);

  const std::string list = box.MakeFile("list.jsonl", Join(lines) + "{\"event\":\"summary\",\"mode\":\"preview\"}\n");
  TCommandLineRequest clean;
  clean.mode = TCommandLineMode::Clean;
  clean.fromList = list;
  const Outcome o = RunFrontEnd(clean);
  EXPECT_EQ(o.code, 1) << o.err;
  EXPECT_EQ(o.lines, std::multiset<std::string>({
                         "deleted\t1\t" + d + "/keep.tmp",
                         "deleted\t4\t" + temp,
                         "refused\tchanged\t1\t" + d + "/grown.tmp",
                         "refused\tpath-changed\t1\t" + d + "/replaced.tmp",
                         "refused\tpath-changed\t1\t" + d + "/sub/moved.tmp",
                         "refused\tpath-changed\t1\t" + d2 + "/rooted.tmp",
                         "refused\tpath-changed\t1\t" + d + "/../outside/secret.tmp",
                         "refused\tnot-offered\t1\t" + d + "/cat.tmp",
                         "summary: 2 deleted (5 bytes), 6 refused (6 bytes)",
                     }));
  for (const char* f : {"data/grown.tmp", "data/replaced.tmp", "data/unlisted.tmp", "data/sub-old/moved.tmp",
                        "data/cat.tmp", "other/rooted.tmp", "data2-old/rooted.tmp", "outside/secret.tmp"}) {
    EXPECT_TRUE(fs::exists(box.Path(f))) << f;
  }
  EXPECT_FALSE(fs::exists(d + "/keep.tmp"));
}

// A list that cannot be read whole deletes nothing; the line at fault is
// named.
TEST(CommandLineTest, CleanFromAListRefusedWhole) {
  test::Sandbox box;
  const std::string d = box.Path("data");
  box.MakeFile("data/a.tmp");
  TCommandLineRequest preview;
  preview.folders = {d};
  preview.endings = {".tmp"};
  const std::string good = PreviewList(preview).at(0);
  const auto edited = [&](const char* AFrom, const std::string& ATo) {
    return std::regex_replace(good, std::regex(AFrom), ATo);
  };
  const struct {
    std::string line;
    int code;
    std::string why;
  } cases[] = {
      {"not json", 2, "line 2: not a JSON line of a preview"},
      {edited(",\"format\":1", ""), 2, "line 2: not a preview line of this version of purgo"},
      {edited("\"format\":1", "\"format\":2"), 2, "line 2: not a preview line of this version"},
      {edited("\"path\":\"[^\"]*\"", "\"path\":\"/x.tmp\",\"path_bytes\":\"" + Base64(d + "/a.tmp") + "\""), 2,
       "line 2: \"path_bytes\" is not the \"path\" shown"},
      {edited("\\{", "{\"path\":\"/x.tmp\","), 2, "line 2: not a JSON line of a preview (the member \"path\" twice)"},
      {edited("\"root_length\":[0-9]+", "\"root_length\":3"), 2, "line 2: the root is not a folder of the path"},
      {edited("\"id\":\"[0-9:]+\",", ""), 2, "line 2: the file's identity is incomplete"},
      {"{\"event\":\"deleted\",\"path\":\"/x\",\"size\":1}", 2, "line 2: not a line of a preview"},
      {"{\"event\":\"file\",\"nested\":{}}", 2, "line 2: not a JSON line of a preview (a nested value)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    TCommandLineRequest clean;
    clean.mode = TCommandLineMode::Clean;
    clean.fromList = box.MakeFile("list.jsonl", good + "\n" + c.line + "\n");
    const Outcome o = RunFrontEnd(clean);
    EXPECT_EQ(o.code, c.code);
    EXPECT_TRUE(o.lines.empty());
    EXPECT_NE(o.err.find(clean.fromList + ": " + c.why), std::string::npos) << o.err;
    EXPECT_TRUE(fs::exists(d + "/a.tmp"));
  }
  TCommandLineRequest missing;
  missing.mode = TCommandLineMode::Clean;
  missing.fromList = box.Path("nope.jsonl");
  EXPECT_EQ(RunFrontEnd(missing).code, 1);
}

}  // namespace
}  // namespace purgo
