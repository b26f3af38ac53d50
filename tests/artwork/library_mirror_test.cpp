// The search from memory against the reference, a fresh walk that reads one
// file after another: lines and artwork, after every kind of change made
// between searches and while they run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "app/artwork/library_artwork_search.h"
#include "fresh_walk.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::oneFileAtATime;
using sonvetta::testdata::searched;

struct Step {
  const char* change;
  std::function<void()> make;
};

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
  }

  fs::path home() const { return home_.path(); }
  fs::path media() const { return sonvetta::testdata::roots(home())[0]; }
  fs::path itunes() const { return sonvetta::testdata::roots(home())[1]; }
  fs::path music() const { return sonvetta::testdata::roots(home())[2]; }

  void write(const fs::path& file, const std::string& title, AudioFormat format = AudioFormat::mp3ID3v24) {
    fs::create_directories(file.parent_path());
    sonvetta::testdata::writeTaggedAudio(file, format,
                                         sonvetta::testdata::trackTags("The Band", "Album", title, red_));
  }

  // Waits until the search takes `count` folders from memory.
  void expectInMemory(int count) {
    for (int waited = 0; searcher_.foldersInMemory() != count && waited < 6000; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(searcher_.foldersInMemory(), count);
  }

  // Both the track, wherever it is, and one that is nowhere, which takes the
  // search through everything.
  void expectAgreement(const char* change) {
    for (const char* title : {"Song", "Missing"}) {
      EXPECT_EQ(searched(searcher_, log_, title), oneFileAtATime(home(), title)) << "after " << change << ", " << title;
    }
  }

  void run(const std::vector<Step>& steps, int inMemory) {
    for (const Step& step : steps) {
      step.make();
      expectAgreement(step.change);
      EXPECT_EQ(searcher_.foldersInMemory(), inMemory) << "after " << step.change;
    }
  }

  const std::string red_ = sonvetta::testdata::solidPicture("red", "PNG");
  sonvetta::testdata::TemporaryFolder home_;
  std::stringstream log_;
  sonvetta::LibraryArtworkSearch searcher_{log_, home_.path()};
};

TEST_F(MirroredSearch, AgreesWithAFreshWalkAfterEachKindOfChange) {
  searcher_.warmUp();
  expectInMemory(2);
  expectAgreement("the warm-up");
  const fs::path rewritten = music() / "B" / "y3.flac";
  const fs::path outside = home() / "Elsewhere";
  run({
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
          {"a subtree made unreadable", [&] { fs::permissions(music() / "B", fs::perms::none); }},
          {"the subtree readable again", [&] { fs::permissions(music() / "B", fs::perms::owner_all); }},
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
      },
      2);
}

TEST_F(MirroredSearch, RootsThatComeGoOrTurnIntoLinksAreWalkedUntilTheyCanBeMirrored) {
  searcher_.warmUp();
  expectInMemory(2);
  const std::vector<std::pair<Step, int>> steps = {
      {{"a root created", [&] { write(itunes() / "Song.mp3", "Song"); }}, 3},
      {{"a root removed", [&] { fs::remove_all(media()); }}, 2},
      {{"a root replaced by a link to a folder",
        [&] {
          fs::rename(music(), home() / "Real");
          fs::create_directory_symlink(home() / "Real", music());
        }},
       1},
      {{"a change behind the link", [&] { write(home() / "Real" / "B" / "Song.mp3", "Song"); }}, 1},
  };
  for (const auto& [step, inMemory] : steps) {
    step.make();
    expectAgreement(step.change);
    // Mirrored again, or for good not, once the warm-up has come back.
    expectInMemory(inMemory);
    expectAgreement(step.change);
  }
}

TEST_F(MirroredSearch, AnOverflowedQueueIsWalkedAndMirroredAgain) {
  searcher_.warmUp();
  expectInMemory(2);
  int queueLength = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLength;
  ASSERT_GT(queueLength, 0);
  // Alternating, so that the kernel cannot fold them into one.
  const fs::path a = music() / "A" / "x1.mp3";
  const fs::path b = music() / "A" / "x2.mp3";
  for (int i = 0; i <= queueLength; ++i) fs::last_write_time(i % 2 == 0 ? a : b, fs::file_time_type::clock::now());
  write(music() / "A" / "x1.mp3", "Song");
  expectAgreement("an overflow");
  expectInMemory(2);
  run({{"a change after the overflow", [&] { fs::remove(music() / "A" / "x1.mp3"); }}}, 2);
}

TEST_F(MirroredSearch, ChangesWhileSearchesRunLeaveTheNextSearchInAgreement) {
  searcher_.warmUp();
  expectInMemory(2);
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
  EXPECT_EQ(searcher_.foldersInMemory(), 2);
}

// A test double of the file system's type: one folder on NFS.
TEST(MirroredSearchOnANetworkMount, IsAlwaysWalked) {
  sonvetta::testdata::TemporaryFolder home;
  const fs::path music = sonvetta::testdata::roots(home.path())[2];
  const fs::path remote = music / "Remote";
  std::stringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, home.path(), [remote](const fs::path& folder) -> std::optional<long> {
    constexpr long nfs = 0x6969;
    return folder.native().starts_with(remote.native()) ? nfs : platform::fileSystemType(folder).value_or(0);
  });
  const std::string red = sonvetta::testdata::solidPicture("red", "PNG");
  const auto write = [&](const fs::path& file, const std::string& title) {
    fs::create_directories(file.parent_path());
    sonvetta::testdata::writeTaggedAudio(file, AudioFormat::mp3ID3v24,
                                         sonvetta::testdata::trackTags("The Band", "Album", title, red));
  };
  write(remote / "a.mp3", "Other");
  write(music / "Local" / "b.mp3", "Other");
  searcher.warmUp();
  // Time for the warm-up to come back, with nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(searcher.foldersInMemory(), 0);
  EXPECT_EQ(searched(searcher, log), oneFileAtATime(home.path()));
  write(remote / "a.mp3", "Song");
  EXPECT_EQ(searched(searcher, log), oneFileAtATime(home.path()));
  EXPECT_EQ(searcher.foldersInMemory(), 0);
}

}  // namespace
