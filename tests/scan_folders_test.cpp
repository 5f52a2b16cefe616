// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ScanFolders.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

namespace purgo {
namespace {

// Paths built one after another by one builder, in an order that goes
// deeper, climbs, changes branch and root, must each be the folder's own;
// so must the tree's own paths and a deletion target's.
TEST(ScanFoldersTest, PathsBuiltInAnyOrderAreEachFoldersOwn) {
  TScanFolders tree;
  const auto home = tree.AddRoot("/home/u", platform::FileId{1, 2}, 7);
  const auto a = tree.AddFolder(home, "a");
  const auto ab = tree.AddFolder(a, "b\xFF");
  const auto abc = tree.AddFolder(ab, "c");
  const auto ad = tree.AddFolder(a, "d");
  const auto tmp = tree.AddRoot("/tmp/", {}, -1);
  const auto te = tree.AddFolder(tmp, "e");
  const std::pair<TScanFolders::Folder, std::string> order[] = {
      {abc, "/home/u/a/b\xFF/c/"}, {a, "/home/u/a/"}, {ad, "/home/u/a/d/"},
      {abc, "/home/u/a/b\xFF/c/"}, {te, "/tmp/e/"},   {home, "/home/u/"},
      {ab, "/home/u/a/b\xFF/"},    {tmp, "/tmp/"},    {abc, "/home/u/a/b\xFF/c/"},
  };
  TScanFolders::TPathBuilder builder;
  for (const auto& [folder, path] : order) {
    EXPECT_EQ(builder.Path(tree, folder), path);
    EXPECT_EQ(builder.FullPath(tree, folder, "f.tmp"), path + "f.tmp");
    EXPECT_EQ(tree.FullPath(folder, "g"), path + "g");
    EXPECT_EQ(tree.FullPathLength(folder, "g"), path.size() + 1);
  }
  platform::DeleteTarget target;
  tree.Target(abc, "f.tmp", platform::FileId{3, 4}, {}, target);
  EXPECT_EQ(target.path, "/home/u/a/b\xFF/c/f.tmp");
  EXPECT_EQ(target.rootLength, std::string("/home/u/").size());
  EXPECT_EQ(target.rootFd, 7);
  EXPECT_EQ(target.rootId, (platform::FileId{1, 2}));
  EXPECT_EQ(target.fileId, (platform::FileId{3, 4}));
}

// A builder that served a tree must not mistake another one for it: one
// made anew at the same address (each scan makes its own), nor the same
// tree cleared and filled again.
TEST(ScanFoldersTest, BuildersDoNotMistakeANewTreeForTheOld) {
  TScanFolders::TPathBuilder builder;
  alignas(TScanFolders) unsigned char place[sizeof(TScanFolders)];
  const auto fill = [](TScanFolders& t, const char* root, const char* name) {
    return t.AddFolder(t.AddRoot(root, {}), name);
  };
  auto* tree = new (place) TScanFolders;
  ASSERT_EQ(builder.Path(*tree, fill(*tree, "/old", "x")), "/old/x/");
  tree->~TScanFolders();
  tree = new (place) TScanFolders;
  EXPECT_EQ(builder.Path(*tree, fill(*tree, "/new", "y")), "/new/y/");
  tree->Clear();
  EXPECT_EQ(builder.Path(*tree, fill(*tree, "/again", "z")), "/again/z/");
  tree->~TScanFolders();
}

}  // namespace
}  // namespace purgo
