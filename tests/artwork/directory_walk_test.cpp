#include "platform/files/directory_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTemporaryDir>

#include <fstream>

#include "platform/files/home_folder.h"

namespace {

namespace fs = std::filesystem;
using testing::UnorderedElementsAre;

class DirectoryWalkTest : public testing::Test {
 protected:
  void touch(const fs::path& relative) {
    fs::create_directories((root() / relative).parent_path());
    std::ofstream(root() / relative) << "x";
  }

  std::vector<std::string> walk() {
    std::vector<std::string> entries;
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root());
    while (const std::optional<fs::path> entry = walk->next()) entries.push_back(entry->lexically_relative(root()));
    return entries;
  }

  const fs::path& root() const { return folder_; }

  QTemporaryDir temporaryFolder_;
  const fs::path folder_{temporaryFolder_.path().toStdString()};
};

TEST_F(DirectoryWalkTest, GoesDepthFirstPastHiddenEntriesAndIntoNoPackage) {
  touch("a/b/song.mp3");
  touch("a/.hidden.mp3");
  touch(".secret/song.mp3");
  touch("Player.app/Contents/song.mp3");
  touch("Songs.MusicLibrary/song.mp3");
  touch("top.mp3");

  const std::vector<std::string> entries = walk();

  EXPECT_THAT(entries, UnorderedElementsAre("a", "a/b", "a/b/song.mp3", "Player.app", "Songs.MusicLibrary", "top.mp3"));
  const auto position = [&](const char* entry) { return std::ranges::find(entries, entry) - entries.begin(); };
  EXPECT_LT(position("a"), position("a/b"));
  EXPECT_EQ(position("a/b") + 1, position("a/b/song.mp3"));
}

// The root may be a link, even to its own parent: the walk follows it, and no
// link below it, so each entry comes once.
TEST_F(DirectoryWalkTest, FollowsARootThatLinksToItsOwnParentAndWalksItOnce) {
  touch("Band/Album/01 Song.mp3");
  fs::create_directory_symlink(root(), root() / "Music");

  std::vector<std::string> entries;
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root() / "Music");
  ASSERT_TRUE(walk);
  while (const std::optional<fs::path> entry = walk->next()) {
    entries.push_back(entry->lexically_relative(root() / "Music"));
  }
  EXPECT_THAT(entries, UnorderedElementsAre("Music", "Band", "Band/Album", "Band/Album/01 Song.mp3"));
}

TEST(HomeFolder, IsHomeElseThePasswordDatabaseEntry) {
  const std::string saved = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/somewhere/else", 1);
  EXPECT_EQ(platform::homeFolder(), "/somewhere/else");
  unsetenv("HOME");
  EXPECT_TRUE(platform::homeFolder().is_absolute());
  setenv("HOME", saved.c_str(), 1);
}

}  // namespace
