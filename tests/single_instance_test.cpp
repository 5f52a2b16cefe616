// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up command and the single-instance block, across processes.
//
// A "copy" is a forked child that runs a start-up command the way the
// program does: it registers when it is the first copy, then serves
// activation requests until it is killed. This test process registers
// only where it also ends its block, so no block outlives a test.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/QSApplicationCommand.h"
#include "platform/SingleInstance.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

constexpr char kGuid[] = "{1047E291-FFFF-4ac2-870E-5CEA30153018}";
constexpr TQelWindowHandle kWindow = 0x00123456;
constexpr TQelWindowHandle kApplication = 0x00ABCDEF;

// The program's command in miniature: a first copy registers its window.
class TTestCommand : public TQelApplicationCommand {
 public:
  explicit TTestCommand(const std::string& AGuid, TQelWindowHandle AWindow = kWindow)
      : TQelApplicationCommand(AGuid), FWindow(AWindow) {}
  int Initialised = 0;
  bool Registered = false;

 protected:
  bool InitializeApplication() override {
    if (ExistInstance()) return false;
    ++Initialised;
    Registered = RegisterSingleInstance(FWindow, kApplication);
    return true;
  }

 private:
  TQelWindowHandle FWindow;
};

// Reads one byte from `fd` within `timeoutMs`; 0 when none came.
char ReadByte(int fd, int timeoutMs = 5000) {
  pollfd pfd{fd, POLLIN, 0};
  if (::poll(&pfd, 1, timeoutMs) != 1) return 0;
  char c = 0;
  return ::read(fd, &c, 1) == 1 ? c : 0;
}

// A copy of the program in a child process. It reports 'F' when it
// started as the first copy and registered, 'U' when it started
// unregistered, 'S' when it handed over; then 'A' for every activation
// request it serves.
class Copy {
 public:
  Copy(const std::string& guid, TQelWindowHandle window = kWindow, bool check = true,
       int executions = 1) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const int out = fds[1];
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(1);
      TTestCommand command(guid, window);
      command.SetEnableCheckSingleInstance(check);
      platform::SetActivationHandler([out] { [[maybe_unused]] auto n = ::write(out, "A", 1); });
      for (int i = 0; i < executions; ++i) command.Execute();
      char state = command.Initialised == 0 ? 'S' : command.Registered ? 'F' : 'U';
      // A first copy must never take itself for another one.
      if (command.Initialised > 1 || (command.Initialised == 1 && command.ExistInstance())) state = 'X';
      [[maybe_unused]] auto n = ::write(out, &state, 1);
      if (state == 'S') ::_exit(0);
      for (;;) command.ServeActivationRequests(1000);
    }
    ::close(fds[1]);
    in_ = fds[0];
    state_ = ReadByte(in_);
  }
  ~Copy() {
    Kill();
    if (in_ >= 0) ::close(in_);
  }
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  char State() const { return state_; }
  // The next report, or 0 when none comes in time.
  char Next(int timeoutMs = 5000) { return ReadByte(in_, timeoutMs); }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  char state_ = 0;
};

TEST(SingleInstanceTest, TheSecondCopySeesTheFirstAndHandsOver) {
  test::Sandbox box;
  Copy first(kGuid);
  ASSERT_EQ(first.State(), 'F');

  TTestCommand second(kGuid);
  second.Execute();
  EXPECT_TRUE(second.ExistInstance());
  EXPECT_EQ(second.WndHandle(), kWindow);
  EXPECT_EQ(second.InstanceHandle(), kApplication);
  EXPECT_EQ(second.Initialised, 0);
  EXPECT_EQ(first.Next(), 'A') << "the first copy was not asked to show its window";

  // A copy in another process hands over the same way, any number of times.
  Copy third(kGuid);
  EXPECT_EQ(third.State(), 'S');
  EXPECT_EQ(first.Next(), 'A');
}

TEST(SingleInstanceTest, AKilledFirstCopyLeavesNoBlock) {
  test::Sandbox box;
  Copy first(kGuid);
  ASSERT_EQ(first.State(), 'F');
  first.Kill();
  // Its files are still there; its lock is not.
  EXPECT_TRUE(std::filesystem::exists(box.Path(std::string("run/") + kGuid + ".lock")));
  EXPECT_EQ(platform::OpenInstanceBlock(kGuid), std::nullopt);
  TTestCommand probe(kGuid);
  probe.CheckExistInstance();
  EXPECT_FALSE(probe.ExistInstance());

  Copy next(kGuid);
  EXPECT_EQ(next.State(), 'F') << "a copy after a crash must start as the first and guard again";
  Copy after(kGuid);
  EXPECT_EQ(after.State(), 'S');
  EXPECT_EQ(next.Next(), 'A');
}

// Ending the block removes its lock and socket, but a name that leads to
// another copy's file by then stays; a copy started afterwards is first.
TEST(SingleInstanceTest, ReleasingRemovesOnlyTheFilesThisProcessMade) {
  namespace fs = std::filesystem;
  for (const bool takenOver : {false, true}) {
    SCOPED_TRACE(takenOver);
    test::Sandbox box;
    const std::string lock = box.Path(std::string("run/") + kGuid + ".lock");
    const std::string sock = box.Path(std::string("run/") + kGuid + ".sock");
    ASSERT_EQ(platform::CreateInstanceBlock(kGuid, {kWindow, kApplication}), platform::CreateBlockResult::Created);
    ASSERT_TRUE(fs::exists(lock) && fs::exists(sock));
    if (takenOver) {
      for (const std::string& path : {lock, sock}) {
        box.MakeFile("other");
        fs::rename(box.Path("other"), path);
      }
    }
    platform::ReleaseInstanceBlock(kGuid);
    EXPECT_EQ(fs::exists(lock), takenOver);
    EXPECT_EQ(fs::exists(sock), takenOver);
    if (takenOver) {
      EXPECT_EQ(test::ReadBytes(lock), "x");
    }
    EXPECT_FALSE(platform::HoldsInstanceBlock(kGuid));
    EXPECT_EQ(platform::OpenInstanceBlock(kGuid), std::nullopt);
    Copy next(kGuid);
    EXPECT_EQ(next.State(), 'F');
  }
}

TEST(SingleInstanceTest, WithTheCheckOffAnyNumberRun) {
  test::Sandbox box;
  Copy first(kGuid, kWindow, /*check=*/false);
  ASSERT_EQ(first.State(), 'F');
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Copy another(kGuid, kWindow, /*check=*/false);
    // Registration is still tried, and refused: the first holds the block.
    EXPECT_EQ(another.State(), 'U');
  }
  EXPECT_EQ(first.Next(200), 0) << "nobody asked the first copy for anything";
}

TEST(SingleInstanceTest, ABlockWithoutAWindowOrAnAnswerIsNoCopy) {
  test::Sandbox box;
  Copy windowless(kGuid, /*window=*/0);
  ASSERT_EQ(windowless.State(), 'F');
  TTestCommand probe(kGuid);
  probe.CheckExistInstance();
  EXPECT_FALSE(probe.ExistInstance());
  EXPECT_EQ(probe.WndHandle(), 0u);
  // It registered all the same, so the next copy runs unregistered.
  Copy next(kGuid);
  EXPECT_EQ(next.State(), 'U');

  // A holder whose socket is gone does not answer: as after its window
  // was destroyed.
  test::Sandbox other;
  Copy silent(kGuid);
  ASSERT_EQ(silent.State(), 'F');
  ASSERT_EQ(::unlink(other.Path(std::string("run/") + kGuid + ".sock").c_str()), 0);
  probe.CheckExistInstance();
  EXPECT_FALSE(probe.ExistInstance());
}

TEST(SingleInstanceTest, AFirstCopyThatVanishesBeforeTheHandOverIsLeftAlone) {
  test::Sandbox box;
  auto first = std::make_unique<Copy>(kGuid);
  ASSERT_EQ(first->State(), 'F');
  TTestCommand second(kGuid);
  second.CheckExistInstance();
  ASSERT_TRUE(second.ExistInstance());
  first.reset();
  // Execute does not check again; the hand-over finds nobody and does
  // nothing, and the second copy initialises nothing.
  second.Execute();
  EXPECT_EQ(second.Initialised, 0);
  EXPECT_FALSE(platform::RequestInstanceActivation(kGuid));
}

TEST(SingleInstanceTest, CommandRules) {
  test::Sandbox box;
  // The base command starts nothing.
  TQelApplicationCommand base(kGuid);
  base.Execute();
  EXPECT_FALSE(base.ExistInstance());

  TTestCommand unnamed("   ");
  EXPECT_EQ(unnamed.InstanceGUID(), "");
  unnamed.Execute();
  EXPECT_EQ(unnamed.Initialised, 1);
  EXPECT_FALSE(unnamed.Registered);
  EXPECT_EQ(unnamed.ServeActivationRequests(0), 0);

  TTestCommand padded("  " + std::string(kGuid) + " \r\n");
  EXPECT_EQ(padded.InstanceGUID(), kGuid);
  EXPECT_TRUE(padded.EnableCheckSingleInstance());
  EXPECT_EQ(padded.ActivationSocket(), -1);
  // Executed twice, a first copy initialises once and does not find its
  // own block on the second check.
  Copy twice(kGuid, kWindow, /*check=*/true, /*executions=*/2);
  EXPECT_EQ(twice.State(), 'F');
  Copy second(kGuid, kWindow, /*check=*/true, /*executions=*/2);
  EXPECT_EQ(second.State(), 'S');
  EXPECT_EQ(twice.Next(), 'A');
}

TEST(SingleInstanceTest, PaddedAndPlainNamesMeanTheSameBlock) {
  test::Sandbox box;
  Copy first("\t" + std::string(kGuid) + "  ");
  ASSERT_EQ(first.State(), 'F');
  TTestCommand plain(kGuid);
  plain.CheckExistInstance();
  EXPECT_TRUE(plain.ExistInstance());
}

TEST(SingleInstanceTest, NamesNeverLeaveThePrivateFolder) {
  test::Sandbox box;
  const std::string hostile = "../../escape/x";
  Copy first(hostile);
  ASSERT_EQ(first.State(), 'F');
  EXPECT_FALSE(std::filesystem::exists(box.Path("escape")));
  EXPECT_TRUE(std::filesystem::exists(box.Path("run/%2E.%2F..%2Fescape%2Fx.lock")));
  TTestCommand second(hostile);
  second.Execute();
  EXPECT_TRUE(second.ExistInstance());
  EXPECT_EQ(first.Next(), 'A');
  // A name too long for a file name is hashed, and still one block.
  const std::string longName(1000, 'n');
  Copy longFirst(longName);
  ASSERT_EQ(longFirst.State(), 'F');
  Copy longSecond(longName);
  EXPECT_EQ(longSecond.State(), 'S');
}

TEST(SingleInstanceTest, WorksWithoutARuntimeFolderAndWithALongOne) {
  {
    test::Sandbox box;
    ::unsetenv("XDG_RUNTIME_DIR");
    Copy first(kGuid);
    ASSERT_EQ(first.State(), 'F');
    const std::string dir = box.Path("tmp/purgo-" + std::to_string(::geteuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    Copy second(kGuid);
    EXPECT_EQ(second.State(), 'S');
    EXPECT_EQ(first.Next(), 'A');
  }
  {
    // A socket path longer than a socket address holds.
    test::Sandbox box;
    const std::string deep = box.MakeDir("run/" + std::string(60, 'd') + "/" + std::string(60, 'e'));
    ::chmod(deep.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    Copy first(kGuid);
    ASSERT_EQ(first.State(), 'F');
    Copy second(kGuid);
    EXPECT_EQ(second.State(), 'S');
    EXPECT_EQ(first.Next(), 'A');
  }
  {
    // A shared temporary folder where another user could have planted the
    // private folder: a folder open to others is not used.
    test::Sandbox box;
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string dir = box.MakeDir("tmp/purgo-" + std::to_string(::geteuid()));
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    Copy first(kGuid);
    EXPECT_EQ(first.State(), 'U');
    EXPECT_EQ(platform::OpenInstanceBlock(kGuid), std::nullopt);
  }
}

}  // namespace
}  // namespace purgo
