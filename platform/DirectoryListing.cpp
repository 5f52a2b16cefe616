// SPDX-License-Identifier: GPL-3.0-or-later
// One folder's listing, the same on every platform: the walk does the
// platform's part.
#include "platform/FileSystem.h"
#include "platform/TreeWalker.h"

namespace purgo::platform {

bool ListDirectory(const std::string& dir, std::uint32_t mask, std::vector<DirEntry>& out) {
  out.clear();
  return TreeWalker::Walk(
      dir, mask,
      [&out](TreeWalker::Entry& e) {
        out.push_back(DirEntry{std::string(e.Name()), e.Data()});
        return TreeWalker::Action::Continue;
      },
      0, TreeWalker::ReadAhead::Off);
}

}  // namespace purgo::platform
