// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ScanFolders.h"

#include <atomic>

namespace purgo {

namespace {
std::uint64_t NewGeneration() {
  static std::atomic<std::uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}
}  // namespace

TScanFolders::TScanFolders() : FGeneration(NewGeneration()) {}

TScanFolders::Folder TScanFolders::AddRoot(std::string_view APath, platform::FileId ARootId,
                                           int ARootFd) {
  TNode node{kNoFolder, 0, static_cast<std::uint32_t>(FRoots.size()), 0, FNames.size(), 0};
  FNames.append(APath);
  if (APath.empty() || APath.back() != platform::kPathDelimiter) {
    FNames.push_back(platform::kPathDelimiter);
  }
  node.nameLength = static_cast<std::uint32_t>(FNames.size() - node.name);
  node.pathLength = node.nameLength;
  FRoots.push_back({node.pathLength, ARootId, ARootFd});
  FFolders.push_back(node);
  return static_cast<Folder>(FFolders.size() - 1);
}

TScanFolders::Folder TScanFolders::AddFolder(Folder AParent, std::string_view AName) {
  const TNode& parent = FFolders[AParent];
  TNode node{AParent, parent.depth + 1, parent.root, static_cast<std::uint32_t>(AName.size()),
             FNames.size(), parent.pathLength + AName.size() + 1};
  FNames.append(AName);
  FFolders.push_back(node);
  return static_cast<Folder>(FFolders.size() - 1);
}

void TScanFolders::Clear() {
  FFolders.clear();
  FRoots.clear();
  FNames.clear();
  FGeneration = NewGeneration();
}

void TScanFolders::TPathBuilder::Build(const TScanFolders& ATree, Folder AFolder) {
  if (FGeneration != ATree.FGeneration) {
    FGeneration = ATree.FGeneration;
    FChain.clear();
    FEnds.clear();
  }
  // Climb to the nearest folder on the path built last (iteratively: a
  // chain may be thousands of folders long), then append the rest.
  FPending.clear();
  Folder f = AFolder;
  while (f != kNoFolder) {
    const TNode& n = ATree.FFolders[f];
    if (n.depth < FChain.size() && FChain[n.depth] == f) break;
    FPending.push_back(f);
    f = n.parent;
  }
  const std::size_t keep = f == kNoFolder ? 0 : ATree.FFolders[f].depth + 1;
  FChain.resize(keep);
  FEnds.resize(keep);
  FPath.resize(keep == 0 ? 0 : FEnds.back());
  for (auto it = FPending.rbegin(); it != FPending.rend(); ++it) {
    const TNode& n = ATree.FFolders[*it];
    FPath.append(ATree.NameOf(n));
    if (n.parent != kNoFolder) FPath.push_back(platform::kPathDelimiter);
    FChain.push_back(*it);
    FEnds.push_back(FPath.size());
  }
  FPath.resize(FEnds.back());
}

const std::string& TScanFolders::TPathBuilder::Path(const TScanFolders& ATree, Folder AFolder) {
  Build(ATree, AFolder);
  return FPath;
}

const std::string& TScanFolders::TPathBuilder::FullPath(const TScanFolders& ATree, Folder AFolder,
                                                        std::string_view AName) {
  Build(ATree, AFolder);
  return FPath.append(AName);
}

void TScanFolders::Target(Folder AFolder, std::string_view AName, platform::FileId AFileId,
                          platform::FileStamp AStamp, platform::DeleteTarget& ATarget) const {
  const TRoot& root = FRoots[FFolders[AFolder].root];
  ATarget.path.assign(FullPath(AFolder, AName));
  ATarget.rootLength = root.length;
  ATarget.rootId = root.id;
  ATarget.rootFd = root.fd;
  ATarget.fileId = AFileId;
  ATarget.fileStamp = AStamp;
  ATarget.size.reset();
}

}  // namespace purgo
