// SPDX-License-Identifier: GPL-3.0-or-later
// The folders a scan found files in, kept as a tree: each folder is its own
// name and its parent. Whoever holds found files (the command line, the
// pages) keeps one folder and a name per file, and builds a full path only
// to show, write or delete that file. A chain of ten thousand nested
// 250-byte folder names then costs 2.5 MB, not the 12.5 GB that one full
// path per file would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDelete.h"
#include "platform/Platform.h"

namespace purgo {

class TScanFolders {
 public:
  using Folder = std::uint32_t;
  static constexpr Folder kNoFolder = 0xffffffffu;

  TScanFolders();
  // Builders know a tree by its generation, which no other tree shares.
  TScanFolders(const TScanFolders&) = delete;
  TScanFolders& operator=(const TScanFolders&) = delete;

  // A folder a walk started from: its path as given (a delimiter is added
  // when missing), its identity when the walk opened it, and an open
  // descriptor that stands for it in deletions (-1: none; borrowed, the
  // caller keeps it open for as long as targets are made from here).
  // Deletions resolve this path as the scan did and follow nothing below.
  Folder AddRoot(std::string_view APath, platform::FileId ARootId, int ARootFd = -1);
  // The sub-folder `AName` of `AParent`.
  Folder AddFolder(Folder AParent, std::string_view AName);

  std::size_t Count() const { return FFolders.size(); }
  void Clear();
  // A folder's parent (kNoFolder for a root) and its own name (a root's
  // whole path, with its delimiter), for ordering folders without
  // building their paths.
  Folder Parent(Folder AFolder) const { return FFolders[AFolder].parent; }
  std::string_view Name(Folder AFolder) const { return NameOf(FFolders[AFolder]); }

  // Builds full paths of one tree, each from the path built last where
  // the two share folders, so that calls in scan order cost the length of
  // what changed, not the depth. A returned reference stays valid until
  // the builder's next call.
  class TPathBuilder {
   public:
    // The folder's full path, ending in the delimiter.
    const std::string& Path(const TScanFolders& ATree, Folder AFolder);
    // Path(AFolder) + AName.
    const std::string& FullPath(const TScanFolders& ATree, Folder AFolder, std::string_view AName);

   private:
    void Build(const TScanFolders& ATree, Folder AFolder);
      std::uint64_t FGeneration = 0;
    std::string FPath;
    std::vector<Folder> FChain;      // the folders of FPath, by depth
    std::vector<std::size_t> FEnds;  // where each of them ends in FPath
    std::vector<Folder> FPending;
  };

  // The same, through a builder of the tree's own: the reference stays
  // valid until the next call of either on this tree.
  const std::string& Path(Folder AFolder) const { return FBuilder.Path(*this, AFolder); }
  const std::string& FullPath(Folder AFolder, std::string_view AName) const {
    return FBuilder.FullPath(*this, AFolder, AName);
  }
  // The length FullPath would have, without building it.
  std::size_t FullPathLength(Folder AFolder, std::string_view AName) const {
    return FFolders[AFolder].pathLength + AName.size();
  }

  // What deleting the file `AName` of `AFolder` safely needs: its full
  // path, the root of its walk and both identities. Reuses ATarget's
  // storage.
  void Target(Folder AFolder, std::string_view AName, platform::FileId AFileId,
              platform::FileStamp AStamp, platform::DeleteTarget& ATarget) const;

 private:
  struct TNode {
    Folder parent;
    std::uint32_t depth;  // 0 for a root
    std::uint32_t root;   // index into FRoots
    std::uint32_t nameLength;
    std::uint64_t name;   // offset into FNames
    std::uint64_t pathLength;  // of the full path, with its delimiter
  };
  struct TRoot {
    std::size_t length;  // of its path with the delimiter
    platform::FileId id;
    int fd;
  };
  std::string_view NameOf(const TNode& ANode) const {
    return std::string_view(FNames).substr(ANode.name, ANode.nameLength);
  }

  std::vector<TNode> FFolders;
  std::vector<TRoot> FRoots;
  std::string FNames;
  // Unique among the trees of the process and renewed by Clear: a builder
  // must not take a new tree at an old one's address, or a cleared tree,
  // for the one whose folders it holds.
  std::uint64_t FGeneration;
  mutable TPathBuilder FBuilder;
};

}  // namespace purgo
