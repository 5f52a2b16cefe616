// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/Sandbox.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/Folders.h"
#include "platform/Trash.h"

namespace fs = std::filesystem;

namespace purgo::test {
namespace {

const char* const kRedirected[] = {"HOME",           "XDG_CACHE_HOME",  "XDG_DATA_HOME",
                                   "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

std::string SandboxBase() {
  if (const char* base = std::getenv("PURGO_TEST_TMP"); base != nullptr && *base != '\0') {
    return base;
  }
  std::error_code ec;
  fs::path p = fs::temp_directory_path(ec);
  return ec ? std::string("/tmp") : p.string();
}

// Makes everything below `p` writable again so a non-root run can remove
// the read-only fixtures; links are not followed.
void MakeRemovable(const fs::path& p) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(p, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      ::chmod(it->path().c_str(), 0700);
    }
  }
}

}  // namespace

Sandbox::Sandbox() {
  std::string tmpl = SandboxBase() + "/purgo-test-XXXXXX";
  fs::create_directories(SandboxBase());
  if (::mkdtemp(tmpl.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a sandbox below " << SandboxBase();
    std::abort();
  }
  root_ = tmpl;
  const std::map<std::string, std::string> targets = {
      {"HOME", root_ + "/home"},
      {"XDG_CACHE_HOME", root_ + "/home/.cache"},
      {"XDG_DATA_HOME", root_ + "/home/.local/share"},
      {"XDG_CONFIG_HOME", root_ + "/home/.config"},
      {"XDG_RUNTIME_DIR", root_ + "/run"},
      {"TMPDIR", root_ + "/tmp"},
  };
  for (const char* name : kRedirected) {
    const char* old = std::getenv(name);
    savedEnv_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    fs::create_directories(targets.at(name));
    ::setenv(name, targets.at(name).c_str(), 1);
  }
  ::chmod((root_ + "/run").c_str(), 0700);
  fs::create_directories(root_ + "/program/Langs");
  platform::SetProgramDirectoryOverride(root_ + "/program/");
  // No trash of a real volume is ever listed or emptied by a test.
  platform::SetTrashDirectoriesOverride(std::vector<std::string>{root_ + "/home/.local/share/Trash"});
}

Sandbox::~Sandbox() {
  for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  platform::SetProgramDirectoryOverride("");
  platform::SetTrashDirectoriesOverride(std::nullopt);
  for (const auto& [name, value] : savedEnv_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  ::chmod(root_.c_str(), 0700);
  MakeRemovable(root_);
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string Sandbox::Path(const std::string& relative) const { return root_ + "/" + relative; }

std::string Sandbox::MakeDir(const std::string& relative) {
  std::string p = Path(relative);
  std::error_code ec;
  fs::create_directories(p, ec);
  EXPECT_FALSE(ec) << p << ": " << ec.message();
  return p;
}

std::string Sandbox::MakeFile(const std::string& relative, const std::string& content) {
  std::string p = Path(relative);
  std::error_code ec;
  fs::create_directories(fs::path(p).parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
  EXPECT_TRUE(out.good()) << "cannot write " << p;
  return p;
}

std::string Sandbox::MakeSymlink(const std::string& relative, const std::string& target) {
  std::string p = Path(relative);
  std::error_code ec;
  fs::create_directories(fs::path(p).parent_path(), ec);
  EXPECT_EQ(::symlink(target.c_str(), p.c_str()), 0) << "cannot link " << p;
  return p;
}

bool Sandbox::MakeReadOnly(const std::string& relative) {
  const std::string p = Path(relative);
  if (::geteuid() != 0) return ::chmod(p.c_str(), 0555) == 0;
  if (::mount(p.c_str(), p.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
  mounts_.push_back(p);
  return ::mount(nullptr, p.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Utf16Le(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

}  // namespace purgo::test
