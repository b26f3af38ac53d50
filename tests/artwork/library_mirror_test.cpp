// The search from memory against the reference, a fresh walk that reads one
// file after another: lines and artwork after every kind of change made
// between searches and while they run; and what each search had to ask of
// the machine, counted through the search's own access to it.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <thread>

#include "app/artwork/library_artwork_search.h"
#include "fresh_walk.h"
#include "watches_held.h"
#include "tagged_audio.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::oneFileAtATime;
using sonvetta::testdata::searched;
using sonvetta::testdata::waitUntilSettled;

struct Step {
  const char* change;
  std::function<void()> make;
};

// What searches asked of the machine.
struct Asked {
  std::atomic<int> listings = 0;
  std::atomic<int> tagReads = 0;
  // Folders that cannot be read, by name.
  std::vector<std::string> unreadable;
  // Entries whose inode the file system hands out again, by name: it stays
  // the same however often they are made anew.
  std::vector<std::string> reusedInodes;
};

sonvetta::LibraryAccess counted(const std::shared_ptr<Asked>& asked, long watches = 1'000'000) {
  sonvetta::LibraryAccess access;
  access.list = [asked](const fs::path& folder) -> std::optional<std::vector<platform::FolderEntry>> {
    ++asked->listings;
    if (std::ranges::find(asked->unreadable, folder.filename().string()) != asked->unreadable.end()) {
      return std::nullopt;
    }
    std::optional<std::vector<platform::FolderEntry>> entries = platform::listFolder(folder);
    for (platform::FolderEntry& entry : entries ? std::span(*entries) : std::span<platform::FolderEntry>()) {
      if (std::ranges::find(asked->reusedInodes, entry.name) != asked->reusedInodes.end()) entry.inode = 4242;
    }
    return entries;
  };
  access.readTags = [asked](const fs::path& file) {
    ++asked->tagReads;
    return sonvetta::readTrackFingerprint(file);
  };
  access.watches = watches;
  return access;
}

// The counts of one search.
struct Cost {
  int listings;
  int tagReads;
  bool operator==(const Cost&) const = default;
};

void PrintTo(const Cost& cost, std::ostream* out) {
  *out << cost.listings << " folders listed, " << cost.tagReads << " files' tags read";
}

constexpr Cost kFromMemory{0, 0};

// What one search for a track that is nowhere, which takes it through
// everything, asked of the machine.
Cost missedSearch(sonvetta::LibraryArtworkSearch& searcher, const Asked& asked) {
  const Cost before{asked.listings, asked.tagReads};
  searcher.findArtworkInMusicLibrary("The Band", "Album", "Missing", 22);
  return {asked.listings - before.listings, asked.tagReads - before.tagReads};
}

class MirroredSearch : public testing::Test {
 protected:
  void SetUp() override {
    // Appended piece by piece: GCC 12 at -O3 takes `"x" + string` for an
    // overlapping copy (-Wrestrict).
    const auto named = [](const char* stem, int i, const char* extension) {
      return std::string(stem).append(std::to_string(i)).append(extension);
    };
    for (int i = 0; i < 20; ++i) {
      write(music() / "A" / named("x", i, ".mp3"), "Other");
      write(music() / "B" / named("y", i, ".flac"), i == 3 ? "Sonh" : "Other", AudioFormat::flac);
      write(music() / "C" / "D" / named("z", i, ".m4a"), "Other", AudioFormat::m4a);
      write(media() / named("w", i, ".mp3"), "Other");
    }
    waitUntilSettled();
  }

  fs::path home() const { return home_; }
  fs::path media() const { return sonvetta::testdata::roots(home())[0]; }
  fs::path itunes() const { return sonvetta::testdata::roots(home())[1]; }
  fs::path music() const { return sonvetta::testdata::roots(home())[2]; }

  void write(const fs::path& file, const std::string& title, AudioFormat format = AudioFormat::mp3ID3v24) {
    fs::create_directories(file.parent_path());
    sonvetta::testdata::writeTaggedAudio(file, format,
                                         sonvetta::testdata::trackTags("The Band", "Album", title, red_));
  }

  Cost missedSearch() { return ::missedSearch(searcher_, *asked_); }

  // Both the track, wherever it is, and one that is nowhere.
  void expectAgreement(const char* change) {
    for (const char* title : {"Song", "Missing"}) {
      EXPECT_EQ(searched(searcher_, log_, title), oneFileAtATime(home(), title)) << "after " << change << ", " << title;
    }
  }

  const std::string red_ = sonvetta::testdata::solidPicture("red", "PNG");
  QTemporaryDir temporaryHome_;
  const fs::path home_{temporaryHome_.path().toStdString()};
  std::stringstream log_;
  std::shared_ptr<Asked> asked_ = std::make_shared<Asked>();
  sonvetta::LibraryArtworkSearch searcher_{log_, home_, counted(asked_)};
};

TEST_F(MirroredSearch, AgreesWithAFreshWalkAfterEachKindOfChangeAndThenAnswersFromMemory) {
  expectAgreement("the first search");
  EXPECT_EQ(missedSearch(), kFromMemory);
  const fs::path rewritten = music() / "B" / "y3.flac";
  const fs::path outside = home() / "Elsewhere";
  const std::vector<Step> steps = {
      {"a file created", [&] { write(music() / "A" / "new.mp3", "Song"); }},
      {"that file deleted", [&] { fs::remove(music() / "A" / "new.mp3"); }},
      {"a file rewritten in place at the same size and modification time",
       [&] {
         const auto modified = fs::last_write_time(rewritten);
         write(rewritten, "Song", AudioFormat::flac);
         fs::last_write_time(rewritten, modified);
       }},
      {"a file renamed within its folder", [&] { fs::rename(rewritten, music() / "B" / "renamed.flac"); }},
      {"a file moved to another folder",
       [&] { fs::rename(music() / "B" / "renamed.flac", music() / "C" / "D" / "moved.flac"); }},
      {"a folder renamed", [&] { fs::rename(music() / "C", music() / "C2"); }},
      {"a folder moved within the root", [&] { fs::rename(music() / "C2" / "D", music() / "A" / "D"); }},
      {"a folder moved out of the root",
       [&] {
         fs::create_directories(outside);
         fs::rename(music() / "A" / "D", outside / "D");
       }},
      {"a folder moved into the root", [&] { fs::rename(outside / "D", music() / "E"); }},
      {"a file replaced by another under its name",
       [&] {
         write(outside / "other.flac", "Sonh", AudioFormat::flac);
         fs::rename(outside / "other.flac", music() / "E" / "moved.flac");
       }},
      {"a link to a file outside the library",
       [&] {
         write(outside / "target.mp3", "Other");
         fs::create_symlink(outside / "target.mp3", music() / "E" / "link.mp3");
       }},
      {"the linked file rewritten", [&] { write(outside / "target.mp3", "Song"); }},
      {"a hidden file named like the track", [&] { write(music() / "A" / ".hidden.mp3", "Song"); }},
      {"a folder turned into a package", [&] { fs::rename(music() / "A", music() / "A.bundle"); }},
      {"a burst of thousands of changes",
       [&] {
         const fs::path burst = music() / "Burst";
         fs::create_directories(burst);
         for (int i = 0; i < 3000; ++i) std::ofstream(burst / (std::to_string(i) + ".mp3")) << "not audio";
         for (int i = 0; i < 3000; i += 2) fs::remove(burst / (std::to_string(i) + ".mp3"));
         for (int i = 1; i < 3000; i += 4) fs::rename(burst / (std::to_string(i) + ".mp3"), burst / (std::to_string(i) + ".flac"));
         write(burst / "2999.mp3", "Song");
       }},
  };
  for (const Step& step : steps) {
    step.make();
    expectAgreement(step.change);
    // Files that have just changed are read at every search until they
    // settle; no folder is listed again.
    EXPECT_EQ(missedSearch().listings, 0) << "after " << step.change;
  }
  waitUntilSettled();
  missedSearch();
  EXPECT_EQ(missedSearch(), kFromMemory);
}

TEST_F(MirroredSearch, RenamedAndMovedFilesAndFoldersKeepWhatTheirTagsSaid) {
  expectAgreement("the first search");
  const std::vector<Step> steps = {
      {"a file renamed", [&] { fs::rename(music() / "A" / "x1.mp3", music() / "A" / "renamed.mp3"); }},
      {"a file moved to another folder",
       [&] { fs::rename(music() / "A" / "renamed.mp3", music() / "B" / "moved.mp3"); }},
      {"a file moved over another", [&] { fs::rename(music() / "A" / "x2.mp3", music() / "A" / "x3.mp3"); }},
      {"a folder renamed", [&] { fs::rename(music() / "C", music() / "C2"); }},
      {"a folder moved into another", [&] { fs::rename(music() / "C2" / "D", music() / "A" / "D"); }},
  };
  for (const Step& step : steps) {
    step.make();
    EXPECT_EQ(missedSearch().tagReads, 0) << "after " << step.change;
    expectAgreement(step.change);
  }
}

// As the README has users link their music folder.
TEST_F(MirroredSearch, ARootThatIsALinkIsWatchedThroughWhereItLeads) {
  fs::rename(music(), home() / "Real");
  fs::create_directory_symlink(home() / "Real", music());
  expectAgreement("the first search");
  EXPECT_EQ(missedSearch(), kFromMemory);
  write(home() / "Real" / "Song.mp3", "Song");
  expectAgreement("a file added behind the link");
}

TEST_F(MirroredSearch, RootsThatComeGoOrTurnIntoLinksAgreeWithAFreshWalk) {
  expectAgreement("the first search");
  const std::vector<Step> steps = {
      {"a root created", [&] { write(itunes() / "Song.mp3", "Song"); }},
      {"a root removed", [&] { fs::remove_all(media()); }},
      {"a root replaced by a link to a folder",
       [&] {
         fs::rename(music(), home() / "Real");
         fs::create_directory_symlink(home() / "Real", music());
       }},
      {"a change behind the link", [&] { write(home() / "Real" / "B" / "Song.mp3", "Song"); }},
  };
  for (const Step& step : steps) {
    step.make();
    expectAgreement(step.change);
    expectAgreement(step.change);
  }
}

TEST_F(MirroredSearch, AfterAnOverflowedQueueReadsOnlyTheFilesThatChanged) {
  expectAgreement("the first search");
  int queueLength = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLength;
  ASSERT_GT(queueLength, 0);
  // Alternating, so that the kernel cannot fold them into one.
  const fs::path a = music() / "A" / "x1.mp3";
  const fs::path b = music() / "A" / "x2.mp3";
  for (int i = 0; i <= queueLength; ++i) fs::last_write_time(i % 2 == 0 ? a : b, fs::file_time_type::clock::now());
  write(music() / "A" / "x1.mp3", "Song");
  expectAgreement("an overflow");
  waitUntilSettled();
  // Every folder listed again, and only the files touched read again.
  EXPECT_LE(missedSearch().tagReads, 2);
  EXPECT_EQ(missedSearch(), kFromMemory);
}

// More changes than the kernel queues (16,384 by default), made while the
// event loop runs, as a sync tool's between two track changes: taken in as
// they come, none lost, so no folder is listed again.
TEST_F(MirroredSearch, ABurstOfChangesBetweenTwoSearchesIsTakenInAsItComes) {
  expectAgreement("the first search");
  const fs::path a = music() / "A" / "x1.mp3";
  const fs::path b = music() / "A" / "x2.mp3";
  for (int i = 0; i < 20000; ++i) {
    fs::last_write_time(i % 2 == 0 ? a : b, fs::file_time_type::clock::now());
    if (i % 500 == 0) QCoreApplication::processEvents();
  }
  EXPECT_EQ(missedSearch().listings, 0);
  write(a, "Song");
  expectAgreement("the burst");
}

TEST_F(MirroredSearch, ChangesWhileSearchesRunLeaveTheNextSearchInAgreement) {
  std::atomic<bool> stop = false;
  std::thread changer([&] {
    for (int i = 0; !stop; ++i) {
      const fs::path here = music() / "A" / ("moving " + std::to_string(i % 7) + ".mp3");
      write(here, i % 3 == 0 ? "Song" : "Other");
      fs::rename(here, music() / "B" / here.filename());
      fs::rename(music() / "C", music() / "C moved");
      fs::rename(music() / "C moved", music() / "C");
    }
  });
  for (int i = 0; i < 20; ++i) searcher_.findArtworkInMusicLibrary("The Band", "Album", "Song", 22);
  stop = true;
  changer.join();
  expectAgreement("changes made while searching");
}

// The warm-up's slices run on the event loop: it is let run until done.
void warmUpWhole(sonvetta::LibraryArtworkSearch& searcher) {
  searcher.warmUp();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (searcher.warmingUp() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  ASSERT_FALSE(searcher.warmingUp());
}

TEST_F(MirroredSearch, TheWarmUpLeavesNothingForTheFirstSearch) {
  warmUpWhole(searcher_);
  EXPECT_EQ(missedSearch(), kFromMemory);
  expectAgreement("the warm-up");
}

// The search goes on from what the warm-up has read, and the warm-up after
// it from what the search has: every file is read once, but for a read that
// was going on when the search came.
TEST_F(MirroredSearch, ASearchDuringTheWarmUpReadsNoFileTheWarmUpHasRead) {
  searcher_.warmUp();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (asked_->tagReads < 10 && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  missedSearch();
  warmUpWhole(searcher_);
  EXPECT_LE(asked_->tagReads, 80 + 1);
  EXPECT_EQ(missedSearch(), kFromMemory);
}

// Two busy loops at normal priority from start-up, so the warm-up at idle
// priority gets nothing: the searches themselves leave the library warm.
TEST_F(MirroredSearch, WithBothCoresBusyTheThirdMissIsServedFromMemory) {
  std::atomic<bool> stop = false;
  std::vector<std::thread> busy;
  for (int i = 0; i < 2; ++i) {
    busy.emplace_back([&stop] {
      while (!stop) {
      }
    });
  }
  searcher_.warmUp();
  missedSearch();
  missedSearch();
  const Cost third = missedSearch();
  stop = true;
  for (std::thread& loop : busy) loop.join();
  EXPECT_EQ(third, kFromMemory);
}

TEST_F(MirroredSearch, ASearchThatStopsAtTheMatchKeepsWhatItHasSeen) {
  // A folder of 51 files, the match anywhere among them: most often with
  // many read ahead past it.
  for (int i = 0; i < 50; ++i) write(music() / "Many" / ("v" + std::to_string(i) + ".mp3"), "Other");
  write(music() / "Many" / "Song.mp3", "Song");
  waitUntilSettled();
  searcher_.findArtworkInMusicLibrary("The Band", "Album", "Song", 22);
  const int readBefore = asked_->tagReads;
  EXPECT_GE(readBefore, 21);
  // Nothing that came before the match, nor what was read ahead past it, is
  // read again: only the reads that were still going on (three readers at
  // most) are lost.
  EXPECT_LE(readBefore + missedSearch().tagReads, 131 + 3);
  EXPECT_EQ(missedSearch(), kFromMemory);
}

// Files that change through a name in a folder nobody watches, remembered
// long enough for their stamps to be trusted.
TEST_F(MirroredSearch, FilesChangedThroughNamesOutsideTheLibraryAreReadAgain) {
  const fs::path outside = home() / "Elsewhere";
  write(outside / "target.mp3", "Other");
  fs::create_symlink(outside / "target.mp3", music() / "A" / "link.mp3");
  write(music() / "B" / "linked.mp3", "Other");
  fs::create_hard_link(music() / "B" / "linked.mp3", outside / "second name.mp3");
  waitUntilSettled();
  expectAgreement("the first search");
  EXPECT_EQ(missedSearch(), kFromMemory);
  write(outside / "target.mp3", "Song");
  expectAgreement("the linked file rewritten");
  fs::remove(outside / "target.mp3");
  write(outside / "second name.mp3", "Song");
  expectAgreement("a file rewritten through its other name");
}

// A watch the kernel ended, its (empty) folder made anew under the old name
// and with the old inode, as ext4 hands it out again at once: the new folder
// is watched, and a file added to it later is found.
TEST_F(MirroredSearch, AFolderMadeAgainWithItsOldInodeIsWatchedAgain) {
  asked_->reusedInodes = {"Empty"};
  fs::create_directories(music() / "Empty");
  expectAgreement("the first search");
  fs::remove(music() / "Empty");
  fs::create_directories(music() / "Empty");
  expectAgreement("the folder made again");
  write(music() / "Empty" / "late.mp3", "Song");
  expectAgreement("a file added to it");
}

TEST_F(MirroredSearch, AFileRenamedInWithAnOldInodeIsReadAgain) {
  asked_->reusedInodes = {"reused.mp3"};
  write(music() / "A" / "reused.mp3", "Other");
  waitUntilSettled();
  expectAgreement("the first search");
  fs::remove(music() / "A" / "reused.mp3");
  write(home() / "new.mp3", "Song");
  fs::rename(home() / "new.mp3", music() / "A" / "reused.mp3");
  expectAgreement("a file renamed in");
}

TEST_F(MirroredSearch, AnUnreadableFolderIsListedOnItsOwnWhileTheRestStaysInMemory) {
  asked_->unreadable = {"B"};
  expectAgreement("the first search");
  EXPECT_EQ(missedSearch(), (Cost{1, 0}));
  EXPECT_EQ(missedSearch(), (Cost{1, 0}));
}

// As root, in a mount namespace of the tests' own. Made before any thread
// starts, as a namespace is the calling thread's: the work pool's readers
// would not see the mounts made after them.
const bool kPrivateMounts =
    ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

bool privateMounts() { return kPrivateMounts; }

TEST_F(MirroredSearch, ABindMountedFolderIsListedOnItsOwnWhileTheRestStaysInMemory) {
  if (!privateMounts()) GTEST_SKIP() << "no mount namespace of the test's own to be had";
  fs::create_directories(music() / "Bound");
  ASSERT_EQ(::mount((music() / "C").c_str(), (music() / "Bound").c_str(), nullptr, MS_BIND, nullptr), 0);
  expectAgreement("the first search");
  missedSearch();
  // One of the two places of C and of D: listed, and no file read again.
  EXPECT_EQ(missedSearch(), (Cost{2, 0}));
  write(music() / "C" / "D" / "Song.m4a", "Song", AudioFormat::m4a);
  expectAgreement("a file added to the folder shown twice");
  ::umount((music() / "Bound").c_str());
}

TEST_F(MirroredSearch, AMountElsewhereChangesNothingAndOneWithinARootOnlyThatRoot) {
  if (!privateMounts()) GTEST_SKIP() << "no mount namespace of the test's own to be had";
  expectAgreement("the first search");
  fs::create_directories(home() / "Elsewhere");
  ASSERT_EQ(::mount("none", (home() / "Elsewhere").c_str(), "tmpfs", 0, nullptr), 0);
  EXPECT_EQ(missedSearch(), kFromMemory);

  fs::create_directories(music() / "Mounted");
  ASSERT_EQ(::mount("none", (music() / "Mounted").c_str(), "tmpfs", 0, nullptr), 0);
  write(music() / "Mounted" / "Song.mp3", "Song");
  // Root 3's six folders listed again, and no file read but the new one;
  // root 1 untouched.
  EXPECT_EQ(missedSearch(), (Cost{6, 1}));
  expectAgreement("a mount within a root");
  ::umount((music() / "Mounted").c_str());
  ::umount((home() / "Elsewhere").c_str());
}

// A home whose third root holds folders A, B and C, one file in each,
// settled, and what searches there ask of the library.
struct ThreeFolderHome {
  ThreeFolderHome() {
    for (const char* folder : {"A", "B", "C"}) {
      fs::create_directories(music / folder);
      sonvetta::testdata::writeTaggedAudio(music / folder / "x.mp3", AudioFormat::mp3ID3v24,
                                           sonvetta::testdata::trackTags("The Band", "Album", "Other"));
    }
    waitUntilSettled();
  }

  QTemporaryDir temporary;
  const fs::path home{temporary.path().toStdString()};
  const fs::path music = sonvetta::testdata::roots(home)[2];
  const std::shared_ptr<Asked> asked = std::make_shared<Asked>();
};

TEST(MirroredSearchWithinAShareOfWatches, WatchesWhatFitsListsTheRestAndTakesUpAWatchFreed) {
  const ThreeFolderHome library;
  const auto& [temporary, home, music, asked] = library;
  std::stringstream log;
  // The root and two of its three folders.
  sonvetta::LibraryArtworkSearch searcher(log, home, counted(asked, 3));
  const auto cost = [&] { return missedSearch(searcher, *asked); };
  cost();
  EXPECT_EQ(cost(), (Cost{1, 0}));
  // The first folder walked is watched; its watch is freed.
  fs::remove_all(music / platform::listFolder(music)->front().name);
  cost();
  EXPECT_EQ(cost(), kFromMemory);
}

// A file system mounted on a watched folder gets a watch of its own, in
// place of the folder's: within the share too.
TEST(MirroredSearchWithinAShareOfWatches, MountsOnAWatchedFolderStayWithinIt) {
  if (!privateMounts()) GTEST_SKIP() << "no mount namespace of the test's own to be had";
  const ThreeFolderHome library;
  const auto& [temporary, home, music, asked] = library;
  std::stringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, home, counted(asked, 3));
  missedSearch(searcher, *asked);
  const fs::path watched = music / platform::listFolder(music)->front().name;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(::mount("none", watched.c_str(), "tmpfs", 0, nullptr), 0);
    missedSearch(searcher, *asked);
    EXPECT_LE(sonvetta::testdata::watchesHeld(), 3) << "mounted, " << i;
    ::umount(watched.c_str());
    missedSearch(searcher, *asked);
    EXPECT_LE(sonvetta::testdata::watchesHeld(), 3) << "unmounted, " << i;
  }
}

// No inotify instance to be had (EMFILE, the limit on a user's instances):
// asked for again, as watches are, once a minute has passed.
TEST(MirroredSearchWithoutAnInstanceToWatch, AsksAgainOnceAMinuteHasPassed) {
  const ThreeFolderHome library;
  const auto& [temporary, home, music, asked] = library;
  sonvetta::LibraryAccess access = counted(asked);
  auto refused = std::make_shared<bool>(true);
  access.openWatch = [refused](const fs::path& root) -> std::optional<platform::FolderWatch> {
    if (!*refused) return platform::FolderWatch::create(root);
    errno = EMFILE;
    return std::nullopt;
  };
  auto now = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  access.now = [now] { return *now; };
  std::stringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, home, access);
  missedSearch(searcher, *asked);
  *refused = false;
  *now += std::chrono::seconds(59);
  EXPECT_EQ(missedSearch(searcher, *asked), (Cost{4, 0}));
  *now += std::chrono::seconds(2);
  missedSearch(searcher, *asked);
  EXPECT_EQ(missedSearch(searcher, *asked), kFromMemory);
}

// The kernel out of watches (ENOSPC) when the last of the root's three
// folders is come to: it is listed at each search, and its watch asked for
// again only once a minute has passed, or once one of the mirror's own is
// freed.
class MirroredSearchOutOfWatches : public testing::Test {
 protected:
  void SetUp() override {
    refused_ = platform::listFolder(music_)->back().name;
    sonvetta::LibraryAccess access = counted(asked_);
    access.watch = [this](platform::FolderWatch& watch, const fs::path& folder) -> std::optional<int> {
      if (folder.filename() != refused_) return watch.watch(folder);
      ++refusedAsked_;
      if (!outOfWatches_) return watch.watch(folder);
      errno = ENOSPC;
      return std::nullopt;
    };
    access.now = [this] { return now_; };
    searcher_.emplace(log_, home_, access);
    EXPECT_EQ(cost(), (Cost{4, 3}));
    EXPECT_EQ(cost(), (Cost{1, 0}));
    EXPECT_EQ(refusedAsked_, 1);
  }

  Cost cost() { return missedSearch(*searcher_, *asked_); }

  const ThreeFolderHome library_;
  const fs::path& home_ = library_.home;
  const fs::path& music_ = library_.music;
  const std::shared_ptr<Asked>& asked_ = library_.asked;
  std::string refused_;
  int refusedAsked_ = 0;
  bool outOfWatches_ = true;
  std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
  std::stringstream log_;
  std::optional<sonvetta::LibraryArtworkSearch> searcher_;
};

TEST_F(MirroredSearchOutOfWatches, AsksAgainOnceAMinuteHasPassed) {
  outOfWatches_ = false;  // the limit raised meanwhile
  now_ += std::chrono::seconds(59);
  EXPECT_EQ(cost(), (Cost{1, 0}));
  EXPECT_EQ(refusedAsked_, 1);
  now_ += std::chrono::seconds(2);
  EXPECT_EQ(cost(), (Cost{1, 0}));
  EXPECT_EQ(refusedAsked_, 2);
  EXPECT_EQ(cost(), kFromMemory);
}

TEST_F(MirroredSearchOutOfWatches, AsksAgainOnceOneOfItsWatchesIsFreed) {
  fs::remove_all(music_ / platform::listFolder(music_)->front().name);
  outOfWatches_ = false;
  // The root, whose entries changed, and the folder refused.
  EXPECT_EQ(cost(), (Cost{2, 0}));
  EXPECT_EQ(refusedAsked_, 2);
  EXPECT_EQ(cost(), kFromMemory);
}

// FAT and exFAT number a file anew once the kernel has dropped it from its
// cache: here every listing hands out new numbers, as they would after that.
TEST(MirroredSearchOnFat, KnowsItsFilesByNameSizeAndModificationTime) {
  const ThreeFolderHome library;
  const auto& [temporary, home, music, asked] = library;
  sonvetta::LibraryAccess access = counted(asked);
  access.typeOf = [](const fs::path&) -> std::optional<long> { return 0x4D44; };
  access.list = [counting = access.list, listings = std::make_shared<ino_t>(0)](const fs::path& listed) {
    std::optional<std::vector<platform::FolderEntry>> entries = counting(listed);
    ++*listings;
    for (platform::FolderEntry& entry : entries ? std::span(*entries) : std::span<platform::FolderEntry>()) {
      entry.inode += 1000 * *listings;
    }
    return entries;
  };
  std::stringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, home, access);
  missedSearch(searcher, *asked);
  fs::copy_file(music / "A" / "x.mp3", music / "A" / "new.mp3");
  EXPECT_EQ(missedSearch(searcher, *asked), (Cost{1, 1}));
}

// The same on a real FAT file system, where the machine can mount one: its
// files dropped from the kernel's cache, and their folder listed again.
TEST_F(MirroredSearch, OnAFatImageFilesKeepWhatTheirTagsSaidWhenNumberedAnew) {
  const fs::path image = home() / "fat.img";
  fs::create_directories(itunes());
  const bool mounted =
      privateMounts() &&
      std::system(("truncate -s 16M '" + image.string() + "' && mkfs.vfat '" + image.string() + "' >/dev/null 2>&1")
                      .c_str()) == 0 &&
      std::system(("mount -o loop '" + image.string() + "' '" + itunes().string() + "' 2>/dev/null").c_str()) == 0;
  if (!mounted) GTEST_SKIP() << "no FAT file system to be mounted here";
  for (int i = 0; i < 10; ++i) write(itunes() / "A" / ("v" + std::to_string(i) + ".mp3"), "Other");
  waitUntilSettled();
  expectAgreement("the first search");
  struct stat before {};
  ::stat((itunes() / "A" / "v0.mp3").c_str(), &before);
  ::sync();
  std::ofstream("/proc/sys/vm/drop_caches") << "2\n";
  struct stat after {};
  ::stat((itunes() / "A" / "v0.mp3").c_str(), &after);
  write(itunes() / "A" / "Song.mp3", "Song");
  const Cost cost = missedSearch();
  expectAgreement("the folder listed again");
  ::umount(itunes().c_str());
  if (before.st_ino == after.st_ino) GTEST_SKIP() << "the kernel kept the files' numbers";
  EXPECT_EQ(cost.tagReads, 1);
}

// A test double of the file system's type: one folder, a mount point, on a
// file system that inotify cannot fully watch. The type is asked of the
// root and the mount point alone.
TEST(MirroredSearchOnAFileSystemChangedElsewhere, IsListedAtEverySearchAndItsTagsRemembered) {
  if (!privateMounts()) GTEST_SKIP() << "no mount namespace of the test's own to be had";
  for (const long type : {0x6969L /* NFS */, 0x794C7630L /* overlayfs */, 0x6A656A63L /* virtiofs */,
                          0x786F4256L /* VirtualBox shared folders */, 0x65735546L /* FUSE */}) {
    QTemporaryDir temporaryHome;
    const fs::path home{temporaryHome.path().toStdString()};
    const fs::path music = sonvetta::testdata::roots(home)[2];
    const fs::path remote = music / "Remote";
    fs::create_directories(remote);
    ASSERT_EQ(::mount("none", remote.c_str(), "tmpfs", 0, nullptr), 0);
    const auto asked = std::make_shared<Asked>();
    sonvetta::LibraryAccess access = counted(asked);
    auto typesAsked = std::make_shared<std::vector<fs::path>>();
    access.typeOf = [remote, type, typesAsked](const fs::path& folder) -> std::optional<long> {
      typesAsked->push_back(folder);
      return folder == remote ? type : platform::fileSystemType(folder).value_or(0);
    };
    std::stringstream log;
    sonvetta::LibraryArtworkSearch searcher(log, home, access);
    const std::string red = sonvetta::testdata::solidPicture("red", "PNG");
    const auto write = [&](const fs::path& file, const std::string& title) {
      fs::create_directories(file.parent_path());
      sonvetta::testdata::writeTaggedAudio(file, AudioFormat::mp3ID3v24,
                                           sonvetta::testdata::trackTags("The Band", "Album", title, red));
    };
    write(remote / "a.mp3", "Other");
    write(music / "Local" / "b.mp3", "Other");
    waitUntilSettled();
    EXPECT_EQ(searched(searcher, log), oneFileAtATime(home)) << type;
    const int listings = asked->listings;
    EXPECT_EQ(searched(searcher, log), oneFileAtATime(home)) << type;
    EXPECT_EQ(asked->listings - listings, 1) << type;
    write(remote / "a.mp3", "Song");
    EXPECT_EQ(searched(searcher, log), oneFileAtATime(home)) << type;
    EXPECT_EQ(std::set(typesAsked->begin(), typesAsked->end()), (std::set{music, remote})) << type;
    ::umount(remote.c_str());
  }
}

}  // namespace
