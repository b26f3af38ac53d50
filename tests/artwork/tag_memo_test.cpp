#include "app/artwork/tag_memo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "temporary_folder.h"

namespace {

using platform::FileStamp;
using sonvetta::TagMemo;
using sonvetta::TrackFingerprint;

// Changed an hour ago, in nanoseconds since the epoch.
const std::int64_t kAnHourAgo =
    std::chrono::duration_cast<std::chrono::nanoseconds>(
        (std::chrono::system_clock::now() - std::chrono::hours(1)).time_since_epoch())
        .count();

const FileStamp kSettled{1, 2, 3000, kAnHourAgo, kAnHourAgo + 5};
const TrackFingerprint kSong = TrackFingerprint::of("The Band", "Album", "Song");

TEST(TagMemo, RecallsAFileOnlyWhileEveryPartOfItsStampIsTheSame) {
  TagMemo memo;
  memo.startWalk();
  memo.remember("/m/a.mp3", kSettled, kSong);
  EXPECT_EQ(memo.recall("/m/a.mp3", kSettled), kSong);
  EXPECT_EQ(memo.recall("/m/b.mp3", kSettled), std::nullopt);

  for (std::int64_t FileStamp::*part : {&FileStamp::size, &FileStamp::modified, &FileStamp::changed}) {
    FileStamp changed = kSettled;
    ++(changed.*part);
    EXPECT_EQ(memo.recall("/m/a.mp3", changed), std::nullopt);
  }
  FileStamp otherFile = kSettled;
  ++otherFile.inode;
  EXPECT_EQ(memo.recall("/m/a.mp3", otherFile), std::nullopt);
  ++otherFile.device;
  EXPECT_EQ(memo.recall("/m/a.mp3", otherFile), std::nullopt);
}

TEST(TagMemo, ForgetsAFileChangedTooRecentlyToTrustItsStamp) {
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  TagMemo memo;
  memo.startWalk();
  memo.remember("/m/a.mp3", kSettled, kSong);

  FileStamp justChanged = kSettled;
  justChanged.changed = now;
  memo.remember("/m/a.mp3", justChanged, TrackFingerprint::incomplete());
  EXPECT_EQ(memo.recall("/m/a.mp3", justChanged), std::nullopt);
  EXPECT_EQ(memo.size(), 0u);
}

// A file rewritten within one tick of the clock keeps its stamp; what was
// read of it after a stamp taken in that tick may be its old content.
TEST(TagMemo, JudgesAStampByWhenItWasTakenNotWhenItIsStored) {
  const sonvetta::testdata::TemporaryFolder folder;
  const std::filesystem::path file = folder.path() / "a.mp3";
  std::ofstream(file) << "tags";
  const std::optional<FileStamp> stamp = FileStamp::of(file);
  ASSERT_TRUE(stamp);
  // As long as a slow read can take.
  std::this_thread::sleep_for(FileStamp::kSettlingTime + std::chrono::milliseconds(100));

  TagMemo memo;
  memo.startWalk();
  memo.remember(file, *stamp, kSong);
  EXPECT_EQ(memo.recall(file, *stamp), std::nullopt);
}

TEST(TagMemo, AWholeWalkForgetsTheFilesItDidNotMeet) {
  TagMemo memo;
  memo.startWalk();
  for (const char* file : {"/m/kept.mp3", "/m/gone.mp3", "/m/recalled.mp3"}) memo.remember(file, kSettled, kSong);

  memo.startWalk();
  memo.remember("/m/kept.mp3", kSettled, kSong);
  memo.recall("/m/recalled.mp3", kSettled);
  memo.forgetFilesNotMet();

  EXPECT_EQ(memo.size(), 2u);
  EXPECT_EQ(memo.recall("/m/gone.mp3", kSettled), std::nullopt);
  EXPECT_EQ(memo.recall("/m/recalled.mp3", kSettled), kSong);
}

}  // namespace
