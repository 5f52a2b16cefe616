// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 platform layer: names through UTF-16 and back, walks that stay
// off junctions and links, deletion that refuses what Windows programs
// hold open, and the command line on names outside the Basic Multilingual
// Plane and names with an unpaired surrogate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "app/AppConfigs.h"
#include "app/AppOptions.h"
#include "app/CommandLine.h"
#include "engine/TraceKeepList.h"
#include "platform/FileDelete.h"
#include "platform/FileSystem.h"
#include "platform/Mounts.h"
#include "platform/SingleInstance.h"
#include "platform/TreeWalker.h"
#include "platform/XmlDom.h"
#include "tests/Sandbox.h"

// Last: the system's headers define macros over names of the layer
// (GetFileAttributes, DRIVE_FIXED) that the headers above declare.
#include "platform/win32/WinFiles.h"

#include <winioctl.h>

namespace purgo {
namespace {

using platform::DeleteResult;
using platform::DeleteTarget;
using platform::win32::ApiPath;
using platform::win32::Narrow;
using platform::win32::Wide;

// U+1F600 and a high surrogate alone, as the core keeps them.
const std::string kOutsideBmp = "smile-\xF0\x9F\x98\x80.tmp";
const std::string kLoneSurrogate = "half-\xED\xA0\xBD.tmp";

// A junction at `link` to the folder `target`, made as mklink /j makes it.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!::CreateDirectoryW(ApiPath(link).c_str(), nullptr)) return false;
  HANDLE h = ::CreateFileW(ApiPath(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::wstring substitute = L"\\??\\" + Wide(target);
  const std::wstring print = Wide(target);
  std::vector<unsigned char> buf(8 + 8 + (substitute.size() + print.size() + 2) * 2);
  auto put16 = [&](std::size_t at, std::size_t v) {
    buf[at] = static_cast<unsigned char>(v);
    buf[at + 1] = static_cast<unsigned char>(v >> 8);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(buf.data(), &tag, 4);
  put16(4, buf.size() - 8);                      // data length
  put16(8, 0);                                   // substitute name: offset, length
  put16(10, substitute.size() * 2);
  put16(12, (substitute.size() + 1) * 2);        // print name: offset, length
  put16(14, print.size() * 2);
  std::memcpy(buf.data() + 16, substitute.c_str(), (substitute.size() + 1) * 2);
  std::memcpy(buf.data() + 16 + (substitute.size() + 1) * 2, print.c_str(), (print.size() + 1) * 2);
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(), static_cast<DWORD>(buf.size()),
                                    nullptr, 0, &returned, nullptr);
  ::CloseHandle(h);
  return ok != FALSE;
}

bool MakeDirectoryLink(const std::string& link, const std::string& target) {
  return ::CreateSymbolicLinkW(ApiPath(link).c_str(), Wide(target).c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
}

bool Exists(const std::string& path) { return ::GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Under Wine, which lacks a few things these tests need.
bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}
const char* const kNoLinks = "no junction or directory link can be made here (Wine 8 makes neither: "
                             "FSCTL_SET_REPARSE_POINT fails and CreateSymbolicLinkW creates nothing)";

// Every file a full walk of `root` reports, entering every folder it may.
std::set<std::string> WalkAll(const std::string& root, std::set<std::string>* links = nullptr) {
  std::set<std::string> files;
  platform::TreeWalker::Walk(root, platform::kAttrDirectory | platform::kAttrHidden,
                             [&](platform::TreeWalker::Entry& e) {
                               if (e.IsSymlink() && links != nullptr) links->insert(e.FullPath());
                               if (e.IsDirectory()) return platform::TreeWalker::Action::Enter;
                               files.insert(e.FullPath());
                               return platform::TreeWalker::Action::Continue;
                             });
  return files;
}

DeleteTarget TargetBelow(const test::Sandbox& box, const std::string& root, const std::string& relative) {
  DeleteTarget t;
  t.path = box.Path(root + "/" + relative);
  t.rootLength = box.Path(root).size() + 1;
  return t;
}

TEST(Win32Names, SurviveTheWayThroughUtf16) {
  const struct {
    std::string utf8;
    std::wstring utf16;
  } cases[] = {
      {"plain.tmp", L"plain.tmp"},
      {"\xE4\xB8\xAD\xE6\x96\x87", L"\x4E2D\x6587"},
      {kOutsideBmp, L"smile-\xD83D\xDE00.tmp"},
      {kLoneSurrogate, L"half-\xD83D.tmp"},
      {"low-\xED\xB8\x80", L"low-\xDE00"},
      {"reversed-\xED\xB8\x80\xED\xA0\xBD", L"reversed-\xDE00\xD83D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Wide(c.utf8), c.utf16);
    EXPECT_EQ(Narrow(c.utf16), c.utf8);
  }
  // A paired surrogate written as two lone ones is one character, and
  // bytes that were never UTF-8 name no file rather than another one.
  EXPECT_EQ(Wide("\xED\xA0\xBD\xED\xB8\x80"), L"\xD83D\xDE00");
  EXPECT_EQ(Wide("caf\xE9"), L"caf\xFFFD");
}

TEST(Win32Walk, NeverFollowsJunctionsOrDirectoryLinks) {
  test::Sandbox box;
  box.MakeFile("root/a/kept.tmp");
  box.MakeFile("outside/secret.tmp");
  const bool junction = MakeJunction(box.Path("root/junction"), box.Path("outside")) &&
                        Exists(box.Path("root/junction/secret.tmp"));
  const bool link = MakeDirectoryLink(box.Path("root/link"), box.Path("outside")) &&
                    Exists(box.Path("root/link/secret.tmp"));
  if (!junction && !link) GTEST_SKIP() << kNoLinks;

  std::set<std::string> links;
  const std::set<std::string> files = WalkAll(box.Path("root"), &links);
  std::set<std::string> expected{box.Path("root/a/kept.tmp")};
  std::set<std::string> expectedLinks;
  for (const char* name : {"junction", "link"}) {
    if ((name[0] == 'j' && junction) || (name[0] == 'l' && link)) {
      expected.insert(box.Path(std::string("root/") + name));
      expectedLinks.insert(box.Path(std::string("root/") + name));
    }
  }
  EXPECT_EQ(files, expected);
  EXPECT_EQ(links, expectedLinks);

  // Deleting what was listed takes the links, never what they lead to.
  for (const std::string& l : expectedLinks) {
    DeleteTarget t;
    t.path = l;
    t.rootLength = box.Path("root").size() + 1;
    EXPECT_EQ(platform::DeleteFileSafely(t), DeleteResult::Deleted) << l;
    EXPECT_FALSE(Exists(l));
  }
  EXPECT_TRUE(Exists(box.Path("outside/secret.tmp")));
}

TEST(Win32Delete, RefusesAFolderOnTheWaySwappedForAJunction) {
  test::Sandbox box;
  box.MakeFile("root/sub/victim.tmp");
  box.MakeFile("outside/victim.tmp");
  DeleteTarget t = TargetBelow(box, "root", "sub/victim.tmp");
  t.rootId = platform::TreeWalker::RootId(box.Path("root"));
  ASSERT_TRUE(::MoveFileW(ApiPath(box.Path("root/sub")).c_str(), ApiPath(box.Path("moved")).c_str()));
  if (!MakeJunction(box.Path("root/sub"), box.Path("outside")) || !Exists(box.Path("root/sub/victim.tmp"))) {
    GTEST_SKIP() << kNoLinks;
  }
  EXPECT_EQ(platform::DeleteFileSafely(t), DeleteResult::PathChanged);
  EXPECT_TRUE(Exists(box.Path("outside/victim.tmp")));
}

// Run by the test below as a process of its own: holds $PURGO_HOLD_FILE
// open, sharing everything Windows lets a holder share, until told.
TEST(Win32Helper, DISABLED_HoldOpen) {
  const char* file = std::getenv("PURGO_HOLD_FILE");
  ASSERT_NE(file, nullptr);
  HANDLE h = ::CreateFileW(ApiPath(file).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::string ready = std::string(file) + ".held";
  HANDLE marker = ::CreateFileW(ApiPath(ready).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ::CloseHandle(marker);
  for (int i = 0; i < 600 && Exists(ready); ++i) ::Sleep(50);
  ::CloseHandle(h);
}

TEST(Win32Delete, RefusesAFileAnotherProcessHoldsOpen) {
  test::Sandbox box;
  const std::string file = box.MakeFile("root/held.tmp");
  const std::string ready = file + ".held";
  wchar_t exe[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) +
                         L"\" --gtest_filter=Win32Helper.DISABLED_HoldOpen --gtest_also_run_disabled_tests";
  ::SetEnvironmentVariableW(L"PURGO_HOLD_FILE", Wide(file).c_str());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &si, &pi));
  ::SetEnvironmentVariableW(L"PURGO_HOLD_FILE", nullptr);
  for (int i = 0; i < 600 && !Exists(ready); ++i) ::Sleep(50);
  ASSERT_TRUE(Exists(ready)) << "the holder did not start";

  EXPECT_TRUE(platform::IsFileInUse(file));
  EXPECT_EQ(platform::DeleteFileSafely(TargetBelow(box, "root", "held.tmp")), DeleteResult::InUse);
  EXPECT_TRUE(Exists(file));

  ::DeleteFileW(ApiPath(ready).c_str());
  ::WaitForSingleObject(pi.hProcess, 30000);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  EXPECT_FALSE(platform::IsFileInUse(file));
  EXPECT_EQ(platform::DeleteFileSafely(TargetBelow(box, "root", "held.tmp")), DeleteResult::Deleted);
}

TEST(Win32Delete, KeepsWhatTheScanDidNotSee) {
  test::Sandbox box;
  const struct {
    const char* name;
    DeleteResult expected;
  } cases[] = {
      {"read-only", DeleteResult::ReadOnly},
      {"replaced", DeleteResult::PathChanged},
      {"written", DeleteResult::Changed},
      {"a folder", DeleteResult::NotAFile},
      {"gone", DeleteResult::NotFound},
      {"dot-dot", DeleteResult::PathChanged},
      {"stream", DeleteResult::PathChanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + ".tmp";
    const std::string path = box.MakeFile("root/" + name, "12345");
    DeleteTarget t = TargetBelow(box, "root", name);
    const std::optional<platform::FileAttributeData> data = platform::GetFileAttributes(path);
    ASSERT_TRUE(data);
    t.fileId = data->id;
    t.fileStamp = data->stamp;
    t.size = data->size;
    const std::wstring wide = ApiPath(path);
    switch (c.expected) {
      case DeleteResult::ReadOnly:
        ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY);
        break;
      case DeleteResult::PathChanged:
        if (std::string(c.name) == "dot-dot") {
          t.path = box.Path("root/sub/../" + name);
          break;
        }
        if (std::string(c.name) == "stream") {
          t.path += ":x";
          t.fileId = {};
          break;
        }
        ::DeleteFileW(wide.c_str());
        box.MakeFile("root/" + name, "12345");
        break;
      case DeleteResult::Changed: {  // the same file, written since
        HANDLE h = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD n = 0;
        ::WriteFile(h, "6", 1, &n, nullptr);
        ::CloseHandle(h);
        break;
      }
      case DeleteResult::NotAFile:
        ::DeleteFileW(wide.c_str());
        box.MakeDir("root/" + name);
        t.fileId = {};
        break;
      default:
        ::DeleteFileW(wide.c_str());
    }
    // Wine gives as creation time the Linux change time, which a write
    // moves: the file is refused all the same, as another one.
    const bool wineWrite = c.expected == DeleteResult::Changed && UnderWine();
    EXPECT_EQ(platform::DeleteFileSafely(t), wineWrite ? DeleteResult::PathChanged : c.expected);
    EXPECT_EQ(Exists(path), c.expected != DeleteResult::NotFound);
  }
  // Emptying what the user asked to go lifts the read-only refusal only.
  platform::DeleteOptions options;
  options.allowReadOnly = true;
  EXPECT_EQ(platform::DeleteFileSafely(TargetBelow(box, "root", "read-only.tmp"), options), DeleteResult::Deleted);
}

TEST(Win32Delete, NamesThatDifferInCaseAreOneFile) {
  test::Sandbox box;
  box.MakeFile("root/Folder/Report.TMP", "x");
  EXPECT_EQ(WalkAll(box.Path("ROOT")), (std::set<std::string>{box.Path("ROOT/Folder/Report.TMP")}));
  DeleteTarget t = TargetBelow(box, "root", "FOLDER/report.tmp");
  t.fileId = platform::GetFileAttributes(box.Path("root/Folder/Report.TMP"))->id;
  EXPECT_EQ(platform::DeleteFileSafely(t), DeleteResult::Deleted);
  EXPECT_FALSE(Exists(box.Path("root/Folder/Report.TMP")));
  // What the trace cleaner keeps, it keeps under any letter case.
  EXPECT_TRUE(KeepPatternMatches("*.part", "Setup.PART"));
}

TEST(Win32CommandLine, NamesOutsideTheBmpAndUnpairedSurrogatesSurvive) {
  test::Sandbox box;
  const std::string folder = box.MakeDir("scan");
  // Wine keeps names as UTF-8 on the Linux file system, which has no
  // form for an unpaired surrogate: there such a name cannot be made.
  bool surrogate = true;
  for (const std::string& name : {kOutsideBmp, kLoneSurrogate}) {
    HANDLE h = ::CreateFileW(ApiPath(folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE && name == kLoneSurrogate && UnderWine()) {
      surrogate = false;
      continue;
    }
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
    ::CloseHandle(h);
  }
  TCommandLineRequest preview;
  preview.folders = {folder};
  preview.endings = {".tmp"};
  preview.json = true;
  std::ostringstream out, err;
  ASSERT_EQ(TCommandLine(preview, nullptr, out, err).Run(), kExitDone) << err.str();
  const std::string list = out.str();
  // The character outside the plane is written as itself; the lone
  // surrogate, which JSON text cannot carry, with the exact bytes beside.
  EXPECT_NE(list.find("\"path\":\"" + JsonEscape(folder + "\\" + kOutsideBmp) + "\""), std::string::npos) << list;
  if (surrogate) {
    EXPECT_NE(list.find("\"path_bytes\":\"" + Base64(folder + "\\" + kLoneSurrogate) + "\""), std::string::npos)
        << list;
  }

  TCommandLineRequest clean;
  clean.mode = TCommandLineMode::Clean;
  clean.fromList = box.MakeFile("list.jsonl", list);
  std::ostringstream cleanOut, cleanErr;
  EXPECT_EQ(TCommandLine(clean, nullptr, cleanOut, cleanErr).Run(), kExitDone) << cleanErr.str() << cleanOut.str();
  EXPECT_EQ(WalkAll(folder), std::set<std::string>{});
  if (!surrogate) GTEST_SKIP() << "the name with an unpaired surrogate cannot be made under Wine (names are UTF-8 there)";
}

TEST(Win32XmlDom, ReadsBackWhatItWritesExceptWhatXmlCannotHold) {
  const std::vector<std::string> texts = {"", " ", "\t\n", "plain", "<&>\"' all escaped", "  blanks kept  ",
                                          "C:\\Windows\\", "tab\there", "\xE6\x96\x87 \xF0\x9F\x98\x80"};
  platform::XmlDocument doc;
  platform::XmlNode root = doc.CreateDocumentElement("Root");
  for (const std::string& t : texts) {
    platform::XmlNode item = root.AppendElement("Item");
    item.SetAttribute("a", t + "\r\n");
    item.AppendElement("Text").SetText(t);
  }
  platform::XmlDocument back;
  ASSERT_TRUE(back.LoadFromBytes(doc.SaveToBytes()));
  std::size_t i = 0;
  for (platform::XmlNode n = back.DocumentElement().FirstChild(); n; n = n.NextSibling(), ++i) {
    ASSERT_LT(i, texts.size());
    EXPECT_EQ(n.Attribute("a"), texts[i] + "\r\n");
    EXPECT_EQ(n.ChildElement("Text").Text(), texts[i]);
  }
  EXPECT_EQ(i, texts.size());
  // No document type is read, and so no entity of one expanded.
  EXPECT_FALSE(back.LoadFromBytes("<!DOCTYPE r [<!ENTITY a \"aaaa\">]><r>&a;</r>"));
  // Control characters are stored as U+FFFD here; the options file then
  // keeps the exact bytes of such a text beside it.
  EXPECT_EQ(platform::XmlStorableText("a\x01z"), "a\xEF\xBF\xBDz");
}

// The settings of a portable copy, written and read back as at the next
// start: Config.ini through the INI writer, the options file through MSXML.
TEST(Win32Settings, SurviveARestart) {
  test::Sandbox box;
  const std::vector<std::string> dirs = {"C:\\Temp\\", "D:\\\xE6\x96\x87\xE4\xBB\xB6 \xF0\x9F\x98\x80\\",
                                         "E:\\" + kLoneSurrogate};
  {
    TAppConfigs configs;
    ASSERT_TRUE(configs.Portable());
    ASSERT_TRUE(configs.SetLanguageID(2052));
    TPGCAppOptions options(configs.DataPath());
    options.ClearDirs();
    for (const std::string& d : dirs) options.AddDir(d, d.size() % 2 == 0, true);
    options.SetFileAttribute(7);
    std::string error;
    ASSERT_TRUE(options.SaveToXML(&error)) << error;
  }
  TAppConfigs configs;
  ASSERT_TRUE(configs.Load());
  EXPECT_EQ(configs.LanguageID(), 2052);
  EXPECT_EQ(configs.ConfigFile(), box.Path("program/Config/Config.ini"));
  TPGCAppOptions options(configs.DataPath());
  ASSERT_TRUE(options.LoadFromXML());
  ASSERT_EQ(options.DirListCount(), static_cast<int>(dirs.size()));
  for (int i = 0; i < options.DirListCount(); ++i) {
    EXPECT_EQ(options.DirText(i), dirs[static_cast<std::size_t>(i)]);
    EXPECT_EQ(options.DirIncludeSub(i), dirs[static_cast<std::size_t>(i)].size() % 2 == 0);
  }
  EXPECT_EQ(options.FileAttribute(), 7u);
}

// The instance block lives exactly as long as its holder keeps it.
TEST(Win32Services, InstanceBlockAndVolumes) {
  const std::string name = "purgo-test-" + std::to_string(::GetCurrentProcessId());
  EXPECT_FALSE(platform::OpenInstanceBlock(name));
  ASSERT_EQ(platform::CreateInstanceBlock(name, {0x12345678, 42}), platform::CreateBlockResult::Created);
  EXPECT_EQ(platform::CreateInstanceBlock(name, {1, 1}), platform::CreateBlockResult::AlreadyExists);
  const std::optional<platform::InstanceRecord> record = platform::OpenInstanceBlock(name);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->mainWindow, 0x12345678u);
  EXPECT_EQ(record->application, 42u);
  EXPECT_FALSE(platform::InstanceAnswers(name));  // no such window
  platform::ReleaseInstanceBlock(name);
  EXPECT_FALSE(platform::OpenInstanceBlock(name));

  // The system's drive comes first, named as the default folder list names it.
  const std::vector<platform::VolumeData> volumes = platform::ListVolumes();
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes.front().mountPoint, platform::SystemVolumeName());
  EXPECT_EQ(volumes.front().driveType, static_cast<std::uint32_t>(DRIVE_FIXED));
  EXPECT_TRUE(volumes.front().infoValid);
}

}  // namespace
}  // namespace purgo
