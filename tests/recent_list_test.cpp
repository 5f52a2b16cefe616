// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's recently-used list: entries listed from a list as GTK,
// GNOME and KDE programs write it, removed as bytes with everything else
// kept, a list rewritten meanwhile merged, hostile lists refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileIO.h"
#include "platform/RecentList.h"
#include "tests/Sandbox.h"

namespace purgo {
namespace {

namespace fs = std::filesystem;
using platform::RecentListStatus;
using platform::RecentOutcome;

// A list as GLib writes it, in pieces, so that a test can say which
// entries should be gone and build the bytes expected.
struct Piece {
  std::string text;
  bool entry;
};

std::string Bookmark(const std::string& href, const std::string& visited, const std::string& app,
                     const std::string& extra = "") {
  return "  <bookmark href=\"" + href + "\" added=\"2024-03-01T09:00:00.000000Z\" modified=\"2024-03-02T10:11:12.345678Z\" visited=\"" +
         visited + "\">\n    <info>\n      <metadata owner=\"http://freedesktop.org\">\n"
         "        <mime:mime-type type=\"text/plain\"/>\n" + extra +
         "        <bookmark:applications>\n          <bookmark:application name=\"" + app + "\" exec=\"&apos;" + app +
         " %u&apos;\" modified=\"2024-03-02T10:11:12.345678Z\" count=\"3\"/>\n"
         "        </bookmark:applications>\n      </metadata>\n    </info>\n  </bookmark>\n";
}

std::vector<Piece> RealWorldList(const std::string& home) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
      "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
      "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";
  return {
      {head, false},
      {Bookmark("file://" + home + "/notes.txt", "2024-03-02T10:11:12.345678Z", "gedit",
                "        <bookmark:groups>\n          <bookmark:group>gedit</bookmark:group>\n"
                "        </bookmark:groups>\n"),
       true},
      // A comment quoting an entry is no entry.
      {"  <!-- <bookmark href=\"file:///not/an/entry\"/> -->\n", false},
      // Non-ASCII name, escaped; opened by a viewer that asked for privacy.
      {Bookmark("file://" + home + "/%E6%96%87%E6%A1%A3/%E6%8A%A5%E5%91%8A%20v2.odt", "2024-03-03T08:00:00Z",
                "libreoffice", "        <bookmark:private/>\n"),
       true},
      // The document is long gone; the entry is still a reference.
      {Bookmark("file://" + home + "/deleted.pdf", "2024-01-01T00:00:00Z", "evince"), true},
      {"  <bookmark href=\"https://example.org/paper.pdf?x=1&amp;y=2\" added=\"a\" modified=\"m\" visited=\"v\"><title>Paper &gt; draft</title></bookmark>\n",
       true},
      {"</xbel>", false},
  };
}

std::string Joined(const std::vector<Piece>& pieces, const std::vector<bool>& drop = {}) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i < drop.size() && drop[i]) continue;
    out += pieces[i].text;
  }
  return out;
}

std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
  return out;
}

// Listing, then removing each combination of ticked entries: the entries
// ticked are gone with their lines, every other byte is where it was, no
// document is touched and the list keeps its mode.
TEST(RecentList, RoundTripKeepsEverythingButTheTickedEntries) {
  test::Sandbox box;
  const std::string home = box.Path("home");
  const std::vector<Piece> pieces = RealWorldList(home);
  const std::string list = platform::RecentListPath();
  ASSERT_EQ(list, box.Path("home/.local/share/recently-used.xbel"));
  const std::string notes = box.MakeFile("home/notes.txt", "my notes");

  const struct {
    std::vector<int> ticked;  // entries by their place in the list
  } cases[] = {{{}}, {{0}}, {{1, 2}}, {{0, 1, 2, 3}}, {{3}}};
  for (const auto& c : cases) {
    box.MakeFile("home/.local/share/recently-used.xbel", Joined(pieces));
    ::chmod(list.c_str(), 0600);
    const platform::RecentList read = platform::ReadRecentList(list);
    ASSERT_EQ(read.status, RecentListStatus::Ok);
    ASSERT_EQ(read.entries.size(), 4u);
    EXPECT_EQ(read.entries[1].name, "\xE6\x8A\xA5\xE5\x91\x8A v2.odt");
    EXPECT_EQ(read.entries[1].where, home + "/\xE6\x96\x87\xE6\xA1\xA3");
    EXPECT_EQ(read.entries[3].href, "https://example.org/paper.pdf?x=1&y=2");
    EXPECT_EQ(read.entries[3].name, "paper.pdf");
    EXPECT_EQ(read.entries[3].where, "https://example.org");
    EXPECT_EQ(read.entries[0].size, pieces[1].text.size());

    std::vector<platform::RecentEntry> ticked;
    std::vector<bool> drop(pieces.size(), false);
    for (const int t : c.ticked) {
      ticked.push_back(read.entries[static_cast<std::size_t>(t)]);
      int seen = -1;
      for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (pieces[p].entry && ++seen == t) drop[p] = true;
      }
    }
    const platform::RecentRemoval removal = platform::RemoveRecentEntries(list, ticked);
    EXPECT_EQ(removal.status, RecentListStatus::Ok);
    EXPECT_EQ(removal.outcomes, std::vector<RecentOutcome>(ticked.size(), RecentOutcome::Removed));
    EXPECT_EQ(test::ReadBytes(list), Joined(pieces, drop));
    EXPECT_EQ(fs::status(list).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FolderNames(box.Path("home/.local/share")), std::vector<std::string>{"recently-used.xbel"});
    EXPECT_EQ(test::ReadBytes(notes), "my notes");
  }
}

// Another program rewrites the list between the scan and the cleaning (a
// new file renamed over it, as GLib does): an entry still there unchanged
// goes, one used again since stays, one already gone is said to be gone,
// and what the other program added stays.
TEST(RecentList, AListRewrittenSinceTheScanIsMergedNotLost) {
  test::Sandbox box;
  const std::string home = box.Path("home");
  const std::vector<Piece> pieces = RealWorldList(home);
  const std::string list = box.MakeFile("home/.local/share/recently-used.xbel", Joined(pieces));
  const platform::RecentList read = platform::ReadRecentList(list);
  ASSERT_EQ(read.entries.size(), 4u);

  const std::string added = Bookmark("file://" + home + "/new.txt", "2024-03-09T00:00:00Z", "kate");
  const std::string usedAgain =
      Bookmark("file://" + home + "/%E6%96%87%E6%A1%A3/%E6%8A%A5%E5%91%8A%20v2.odt", "2024-03-09T12:00:00Z",
               "libreoffice", "        <bookmark:private/>\n");
  const std::vector<Piece> theirs = {pieces[0], pieces[1], {usedAgain, true}, {added, true}, pieces[5], pieces[6]};
  const std::string other = box.MakeFile("home/.local/share/other.tmp", Joined(theirs));
  ASSERT_EQ(::rename(other.c_str(), list.c_str()), 0);

  const platform::RecentRemoval removal = platform::RemoveRecentEntries(list, read.entries);
  EXPECT_EQ(removal.status, RecentListStatus::Ok);
  EXPECT_EQ(removal.outcomes, (std::vector<RecentOutcome>{RecentOutcome::Removed, RecentOutcome::Changed,
                                                           RecentOutcome::Gone, RecentOutcome::Removed}));
  EXPECT_EQ(test::ReadBytes(list), Joined({pieces[0], {usedAgain, true}, {added, true}, pieces[6]}));

  // Removed twice: the second time every entry is gone, and nothing is written.
  const auto before = fs::last_write_time(list);
  const platform::RecentRemoval again = platform::RemoveRecentEntries(list, read.entries);
  EXPECT_EQ(again.outcomes[0], RecentOutcome::Gone);
  EXPECT_EQ(fs::last_write_time(list), before);
}

// Lists that cannot be edited safely are listed as nothing or left as they
// are: not XML, not a bookmark list, parser and byte scan in disagreement,
// too large, a link, another user's, read-only.
TEST(RecentList, HostileOrUnusableListsAreLeftAlone) {
  test::Sandbox box;
  const std::string good = Joined(RealWorldList(box.Path("home")));
  const struct {
    const char* what;
    std::string content;
    RecentListStatus read;    // what listing says
    RecentListStatus remove;  // what removing the first entry of `good` says
  } cases[] = {
      {"unclosed", good.substr(0, good.size() - 3), RecentListStatus::Malformed, RecentListStatus::Malformed},
      {"mismatched tags", "<xbel><bookmark href=\"file:///a\"></info></xbel>", RecentListStatus::Malformed,
       RecentListStatus::Malformed},
      {"another root", "<opml><bookmark href=\"file:///a\"/></opml>", RecentListStatus::Malformed,
       RecentListStatus::Malformed},
      {"two roots", "<xbel/><xbel><bookmark href=\"file:///a\"/></xbel>", RecentListStatus::Malformed,
       RecentListStatus::Malformed},
      {"utf-16", test::Utf16Le("<xbel><bookmark href=\"file:///a\"/></xbel>"), RecentListStatus::Malformed,
       RecentListStatus::Malformed},
      {"too large", "", RecentListStatus::TooLarge, RecentListStatus::TooLarge},
      {"link", "", RecentListStatus::Link, RecentListStatus::Link},
      {"read-only", good, RecentListStatus::Ok, RecentListStatus::ReadOnly},
      {"another user's", good, RecentListStatus::OtherOwner, RecentListStatus::OtherOwner},
  };
  const platform::RecentList goodRead = [&] {
    box.MakeFile("good.xbel", good);
    return platform::ReadRecentList(box.Path("good.xbel"));
  }();
  ASSERT_FALSE(goodRead.entries.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string what = c.what;
    if (what == "another user's" && ::geteuid() != 0) continue;
    const std::string list = box.Path("home/.local/share/recently-used.xbel");
    fs::remove(list);
    if (what == "link") {
      box.MakeSymlink("home/.local/share/recently-used.xbel", box.Path("good.xbel"));
    } else {
      box.MakeFile("home/.local/share/recently-used.xbel", c.content);
    }
    if (what == "too large") {
      ASSERT_EQ(::truncate(list.c_str(), platform::kMaxRecentListSize + 1), 0);
    }
    if (what == "read-only") ::chmod(list.c_str(), 0444);
    if (what == "another user's") {
      ASSERT_EQ(::chown(list.c_str(), 65534, 65534), 0);
    }
    const std::string before = test::ReadBytes(what == "link" ? box.Path("good.xbel") : list);

    const platform::RecentList read = platform::ReadRecentList(list);
    EXPECT_EQ(read.status, c.read);
    EXPECT_EQ(read.entries.empty(), c.read != RecentListStatus::Ok);
    const platform::RecentRemoval removal = platform::RemoveRecentEntries(list, {&goodRead.entries[0], 1});
    EXPECT_EQ(removal.status, c.remove);
    EXPECT_EQ(removal.outcomes, std::vector<RecentOutcome>{RecentOutcome::Refused});
    EXPECT_EQ(test::ReadBytes(what == "link" ? box.Path("good.xbel") : list), before);
  }
}

// The replacement gives way when the file changed while the new one was
// being written: the old file stays, and no temporary file is left.
TEST(RecentList, ReplacementDeclinedLeavesTheFileAlone) {
  test::Sandbox box;
  const std::string file = box.MakeFile("d/list", "old");
  platform::SettingsAccess access{};
  const int dir = platform::OpenUserFolder(box.Path("d"), access);
  ASSERT_GE(dir, 0);
  EXPECT_EQ(platform::ReplaceFileAtIf(dir, "list", "new", [] { return false; }), platform::ReplaceOutcome::Declined);
  EXPECT_EQ(test::ReadBytes(file), "old");
  EXPECT_EQ(FolderNames(box.Path("d")), std::vector<std::string>{"list"});
  EXPECT_EQ(platform::ReplaceFileAtIf(dir, "list", "new", [] { return true; }), platform::ReplaceOutcome::Replaced);
  EXPECT_EQ(test::ReadBytes(file), "new");
  ::close(dir);
}

}  // namespace
}  // namespace purgo
