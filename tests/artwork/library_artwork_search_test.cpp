#include "app/artwork/library_artwork_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "artwork_test_support.h"
#include "platform/files/directory_walk.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::centreColour;
using sonvetta::testdata::trackTags;
using testing::ElementsAre;

// Counts flushes, to see that every line reaches the reader at once.
class FlushCountingBuffer : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return 0;
  }
};

class LibrarySearch : public testing::Test {
 protected:
  fs::path root(int position) const {
    const fs::path music = home_.path() / "Music";
    if (position == 1) return music / "Media.localized" / "Music";
    if (position == 2) return music / "iTunes" / "iTunes Media" / "Music";
    return music / "Music";
  }

  std::string rootLine(int position, bool exists) const {
    return (exists ? "Searching in: " : "Music library path not found: ") + root(position).string();
  }

  // A file of the wanted track (or of `title`) in root `position`, showing `colour`.
  fs::path addTrack(int position, const fs::path& relative, const char* colour = "red",
                    AudioFormat format = AudioFormat::mp3ID3v24, const std::string& title = "Song") {
    const fs::path file = root(position) / relative;
    fs::create_directories(file.parent_path());
    sonvetta::testdata::writeTaggedAudio(
        file, format, trackTags("The Band", "Album", title, sonvetta::testdata::solidPicture(colour, "PNG")));
    return file;
  }

  platform::ImageRef search() {
    std::ostream log(&buffer_);
    return sonvetta::LibraryArtworkSearch(log, home_.path()).findArtworkInMusicLibrary("The Band", "Album", "Song", 22);
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    std::istringstream text(buffer_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  static constexpr const char* kStart = "Attempting to find artwork in local Music library...";
  static constexpr const char* kNothing = "No matching artwork found in local Music library.";

  sonvetta::testdata::TemporaryFolder home_;
  FlushCountingBuffer buffer_;
};

TEST_F(LibrarySearch, WithoutLibraryFoldersReportsEachMissingRoot) {
  EXPECT_EQ(search(), nullptr);
  EXPECT_THAT(lines(), ElementsAre(kStart, rootLine(1, false), rootLine(2, false), rootLine(3, false), kNothing));
  EXPECT_EQ(buffer_.str().back(), '\n');
  EXPECT_EQ(buffer_.flushes, 5);
}

TEST_F(LibrarySearch, SearchesAnEmptyRootAndARootThatIsAFileAlike) {
  const std::vector<std::string> expected = {kStart, rootLine(1, false), rootLine(2, false), rootLine(3, true), kNothing};
  fs::create_directories(root(3));
  EXPECT_EQ(search(), nullptr);
  EXPECT_EQ(lines(), expected);

  fs::remove(root(3));
  std::ofstream(root(3)) << "not a folder";
  buffer_.str({});
  EXPECT_EQ(search(), nullptr);
  EXPECT_EQ(lines(), expected);
}

TEST_F(LibrarySearch, FirstMatchEndsTheSearchAndNamesOnlyTheFile) {
  addTrack(1, "The Band/Album/01 Song.m4a", "red", AudioFormat::m4a);
  addTrack(2, "02 Song.mp3", "blue");
  addTrack(3, "03 Song.mp3", "blue");

  const platform::ImageRef artwork = search();

  ASSERT_NE(artwork, nullptr);
  EXPECT_EQ(artwork->size(), (platform::Size{22, 22}));
  EXPECT_EQ(centreColour(artwork), QColor(Qt::red));
  EXPECT_THAT(lines(), ElementsAre(kStart, rootLine(1, true), "Artwork found for Song in 01 Song.m4a"));
}

TEST_F(LibrarySearch, EarlierRootWinsAndWithinARootTheFirstWalked) {
  addTrack(2, "x.mp3", "red");
  addTrack(2, "y.mp3", "blue");
  addTrack(3, "z.mp3", "green");
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root(2));
  const fs::path first = *walk->next();

  EXPECT_EQ(centreColour(search()), QColor(first.filename() == "x.mp3" ? Qt::red : Qt::blue));
}

TEST_F(LibrarySearch, MatchWithoutPictureIsPassedOver) {
  fs::create_directories(root(1));
  sonvetta::testdata::writeTaggedAudio(root(1) / "bare.mp3", AudioFormat::mp3ID3v24,
                                       trackTags("The Band", "Album", "Song"));
  addTrack(3, "pictured.flac", "blue", AudioFormat::flac);

  EXPECT_EQ(centreColour(search()), QColor(Qt::blue));
  EXPECT_EQ(lines().back(), "Artwork found for Song in pictured.flac");
}

class AcceptedName : public LibrarySearch, public testing::WithParamInterface<std::pair<std::string, AudioFormat>> {};

TEST_P(AcceptedName, IsACandidateInAnyLetterCase) {
  addTrack(3, GetParam().first, "red", GetParam().second);
  EXPECT_NE(search(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Names, AcceptedName,
                         testing::Values(std::pair{std::string("a.MP3"), AudioFormat::mp3ID3v23},
                                         std::pair{std::string("a.M4a"), AudioFormat::m4a},
                                         std::pair{std::string("a.FLAC"), AudioFormat::flac},
                                         std::pair{std::string("a.wav"), AudioFormat::wavID3v2},
                                         std::pair{std::string("a.Aac"), AudioFormat::aac}));

TEST_F(LibrarySearch, OtherNamesHiddenFilesAndPackageContentsAreNoCandidates) {
  for (const char* name : {"a.m4p", "a.aiff", "mp3", ".a.mp3", ".hidden/a.mp3", "Player.app/Contents/a.mp3",
                           "Old.musiclibrary/a.mp3"}) {
    addTrack(3, name);
  }
  EXPECT_EQ(search(), nullptr);
  EXPECT_EQ(lines().back(), kNothing);
}

TEST_F(LibrarySearch, FolderNamedLikeAudioIsStillEntered) {
  addTrack(3, "Album.mp3/Disc.flac/01 Song.wav", "red", AudioFormat::wavInfo);
  addTrack(3, "Album.mp3/Disc.flac/02 Song.m4a", "red", AudioFormat::m4a);
  EXPECT_NE(search(), nullptr);
  EXPECT_EQ(lines().back(), "Artwork found for Song in 02 Song.m4a");
}

TEST_F(LibrarySearch, DamagedFilesAndLinkLoopsAreQuietlyPassedOver) {
  const struct {
    const char* name;
    AudioFormat format;
  } damaged[] = {{"a.mp3", AudioFormat::mp3ID3v24}, {"a.m4a", AudioFormat::m4a}, {"a.flac", AudioFormat::flac},
                 {"a.wav", AudioFormat::wavID3v2},  {"a.aac", AudioFormat::aac}};
  for (const auto& [name, format] : damaged) {
    for (const std::uintmax_t length : {0, 10, 100, 1000}) {
      const fs::path cut = addTrack(1, fs::path("cut") / std::to_string(length) / name, "red", format, "Other");
      fs::resize_file(cut, std::min(length, fs::file_size(cut)));
    }
    const fs::path scrambled = addTrack(1, fs::path("scrambled") / name, "red", format, "Other");
    std::fstream(scrambled, std::ios::in | std::ios::out | std::ios::binary).seekp(6).write("\xFF\xFF\xFF\xFF", 4);
  }
  fs::create_directory_symlink(root(1), root(1) / "cut" / "loop");
  fs::create_directory_symlink(home_.path(), root(1) / "home");
  addTrack(3, "whole.mp3", "blue");

  EXPECT_EQ(centreColour(search()), QColor(Qt::blue));
  EXPECT_THAT(lines(), ElementsAre(kStart, rootLine(1, true), rootLine(2, false), rootLine(3, true),
                                   "Artwork found for Song in whole.mp3"));
}

}  // namespace
