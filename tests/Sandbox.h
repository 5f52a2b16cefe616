// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh, private corner of the file system for one test.
//
// Construction makes a new folder below $PURGO_TEST_TMP (the build tree's
// test-tmp when run by CTest) and points HOME, XDG_CACHE_HOME,
// XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and TMPDIR into it, and
// the program's own folder at Root()/program/, a portable installation
// (it holds an empty "Langs/"). Destruction restores the
// environment and removes the folder (links are removed, never followed).
// A test that scans or deletes must hold one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace purgo::test {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // The sandbox folder, without a trailing delimiter.
  const std::string& Root() const { return root_; }
  // Root() + "/" + relative.
  std::string Path(const std::string& relative) const;

  // Fixture helpers. Parents are created as needed; each returns the full
  // path and fails the current test when the file system refuses.
  std::string MakeDir(const std::string& relative);
  std::string MakeFile(const std::string& relative, const std::string& content = "x");
  std::string MakeSymlink(const std::string& relative, const std::string& target);
  // Makes a folder read-only for this process until the sandbox ends:
  // permission bits for a user, a read-only bind mount for root (who
  // writes through the bits). False when that cannot be had here.
  bool MakeReadOnly(const std::string& relative);

 private:
  std::string root_;
  std::vector<std::string> mounts_;
  std::map<std::string, std::optional<std::string>> savedEnv_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

// ASCII text as UTF-16 little-endian bytes with a byte-order mark, as
// Windows programs write their settings files.
std::string Utf16Le(std::string_view ascii);

}  // namespace purgo::test
