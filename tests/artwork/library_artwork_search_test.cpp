#include "app/artwork/library_artwork_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/artwork/artwork_extraction.h"
#include "artwork_test_support.h"
#include "descriptor_limit.h"
#include "fresh_walk.h"
#include "platform/files/directory_walk.h"
#include "platform/files/file_stamp.h"
#include "tagged_audio.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::centreColour;
using sonvetta::testdata::trackTags;
using sonvetta::testdata::waitUntilSettled;
using testing::ElementsAre;

using sonvetta::testdata::oneFileAtATime;
using sonvetta::testdata::Outcome;
using sonvetta::testdata::roots;
using sonvetta::testdata::searched;

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
  fs::path root(int position) const { return roots(home_)[static_cast<std::size_t>(position - 1)]; }

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

  // Searches with the same searcher every time, as the application does.
  platform::ImageRef search(const std::string& title = "Song") {
    return searcher_.findArtworkInMusicLibrary("The Band", "Album", title, 22);
  }

  // The line of the last search that names the file found, or "".
  std::string found() const {
    const std::vector<std::string> all = lines();
    return all.back().starts_with("Artwork found for ") ? all.back() : "";
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    std::istringstream text(buffer_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  static constexpr const char* kStart = "Attempting to find artwork in local Music library...";
  static constexpr const char* kNothing = "No matching artwork found in local Music library.";

  QTemporaryDir temporaryHome_;
  const fs::path home_{temporaryHome_.path().toStdString()};
  FlushCountingBuffer buffer_;
  std::ostream log_{&buffer_};
  sonvetta::LibraryArtworkSearch searcher_{log_, home_};
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
  fs::create_directory_symlink(home_, root(1) / "home");
  addTrack(3, "whole.mp3", "blue");

  EXPECT_EQ(centreColour(search()), QColor(Qt::blue));
  EXPECT_THAT(lines(), ElementsAre(kStart, rootLine(1, true), rootLine(2, false), rootLine(3, true),
                                   "Artwork found for Song in whole.mp3"));
}

// Linux players keep the library in ~/Music; the README tells their users to
// link ~/Music/Music to it, which is then its own parent.
TEST_F(LibrarySearch, ALinkedLibraryIsSearchedOnceEvenWhenTheLinkIsItsOwnParent) {
  const fs::path music = home_ / "Music";
  fs::create_directories(music / "The Band" / "Album");
  sonvetta::testdata::writeTaggedAudio(music / "The Band" / "Album" / "01 Song.mp3", AudioFormat::mp3ID3v24,
                                       trackTags("The Band", "Album", "Song", sonvetta::testdata::solidPicture("red", "PNG")));
  const fs::path elsewhere = home_ / "Songs";
  fs::create_directories(elsewhere);
  fs::copy(music / "The Band", elsewhere / "The Band", fs::copy_options::recursive);

  for (const fs::path& library : {music, elsewhere}) {
    fs::remove(root(3));
    fs::create_directory_symlink(library, root(3));
    buffer_.str({});
    EXPECT_EQ(centreColour(search()), QColor(Qt::red)) << library;
    EXPECT_THAT(lines(), ElementsAre(kStart, rootLine(1, false), rootLine(2, false), rootLine(3, true),
                                     "Artwork found for Song in 01 Song.mp3"));
    buffer_.str({});
    EXPECT_EQ(search("Other"), nullptr);
    EXPECT_EQ(lines().back(), kNothing);
  }
}

void keepModificationTime(const fs::path& file, fs::file_time_type time) {
  fs::last_write_time(file, time);
}

TEST_F(LibrarySearch, SecondSearchSeesEveryFileChangedSinceTheFirst) {
  const auto red = sonvetta::testdata::solidPicture("red", "PNG");
  const auto write = [&](const fs::path& relative, const std::string& title) {
    sonvetta::testdata::writeTaggedAudio(root(3) / relative, AudioFormat::mp3ID3v24,
                                         trackTags("The Band", "Album", title, red));
  };
  fs::create_directories(root(3));
  for (int i = 0; i < 100; ++i) write("filler " + std::to_string(i) + ".mp3", "Filler");
  write("rewritten.mp3", "Sonh");
  write("moved.mp3", "Moved");
  write("deleted.mp3", "Deleted");
  write("replaced.mp3", "Replaced 1");
  write(".replacement", "Replaced 2");
  waitUntilSettled();

  EXPECT_EQ(search("Song"), nullptr);
  EXPECT_NE(search("Moved"), nullptr);
  EXPECT_NE(search("Deleted"), nullptr);
  EXPECT_EQ(search("Replaced 2"), nullptr);

  // The same size and modification time: only the change time and the content tell.
  const fs::path rewritten = root(3) / "rewritten.mp3";
  const auto size = fs::file_size(rewritten);
  const auto modified = fs::last_write_time(rewritten);
  write("rewritten.mp3", "Song");
  keepModificationTime(rewritten, modified);
  ASSERT_EQ(fs::file_size(rewritten), size);
  fs::rename(root(3) / "moved.mp3", root(3) / "moved again.mp3");
  fs::remove(root(3) / "deleted.mp3");
  // Another file of the same size and modification time where the old one was.
  const fs::path replaced = root(3) / "replaced.mp3";
  const auto replacedModified = fs::last_write_time(replaced);
  ASSERT_EQ(fs::file_size(root(3) / ".replacement"), fs::file_size(replaced));
  fs::rename(root(3) / ".replacement", replaced);
  keepModificationTime(replaced, replacedModified);

  EXPECT_NE(search("Song"), nullptr);
  EXPECT_EQ(found(), "Artwork found for Song in rewritten.mp3");
  EXPECT_NE(search("Moved"), nullptr);
  EXPECT_EQ(found(), "Artwork found for Moved in moved again.mp3");
  EXPECT_EQ(search("Deleted"), nullptr);
  EXPECT_NE(search("Replaced 2"), nullptr);
  EXPECT_EQ(found(), "Artwork found for Replaced 2 in replaced.mp3");
  EXPECT_EQ(search("Replaced 1"), nullptr);
}

TEST_F(LibrarySearch, AFileThatFailedToOpenIsReadAgainNextTime) {
#if defined(__SANITIZE_ADDRESS__)
  // Its checks of memory open descriptors of their own.
  GTEST_SKIP() << "no room for the sanitizers with one descriptor free";
#endif
  // More than a walk reads ahead, and the track first in the walk's order, so
  // that a walk that keeps its folder open while it reads the file has no
  // descriptor left for the file.
  for (int i = 0; i < 100; ++i) addTrack(3, std::to_string(i) + ".mp3", "red", AudioFormat::mp3ID3v24, "Other");
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root(3));
  const fs::path first = *walk->next();
  addTrack(3, first.filename());
  waitUntilSettled();
  {
    const sonvetta::testdata::DescriptorLimit oneFree(1);
    search();
  }
  EXPECT_NE(search(), nullptr);
  EXPECT_EQ(found(), "Artwork found for Song in " + first.filename().string());
}

TEST_F(LibrarySearch, DepthCostsNoOpenDescriptors) {
  fs::path deep = "Artist";
  for (int level = 0; level < 200; ++level) {
    // A sibling, so that a walk that keeps each folder open till its last
    // entry keeps about every other level open.
    addTrack(3, deep / "notes.txt", "red", AudioFormat::mp3ID3v24, "Other");
    deep /= std::to_string(level);
  }
  addTrack(3, deep / "01 Song.flac", "red", AudioFormat::flac);
  const sonvetta::testdata::DescriptorLimit few(8);
  EXPECT_NE(search(), nullptr);
  EXPECT_EQ(found(), "Artwork found for Song in 01 Song.flac");
}

// Nothing that a walk reading one file after another would never come to is
// touched on the search's behalf: no later folder is entered.
TEST_F(LibrarySearch, NoFolderPastTheMatchIsEntered) {
  for (const char* folder : {"A", "B"}) {
    for (int i = 0; i < 10; ++i) addTrack(3, fs::path(folder) / (std::to_string(i) + ".mp3"), "red", AudioFormat::mp3ID3v24, "Other");
  }
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root(3));
  const fs::path first = *walk->next();
  const fs::path second = first.filename() == "A" ? root(3) / "B" : root(3) / "A";
  addTrack(3, first / "9.mp3");

  const int watching = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watching, 0);
  ASSERT_GE(inotify_add_watch(watching, second.c_str(), IN_OPEN | IN_ACCESS), 0);
  EXPECT_NE(search(), nullptr);
  alignas(inotify_event) char events[4096];
  EXPECT_LE(read(watching, events, sizeof events), 0) << "something in " << second << " was opened";
  close(watching);
}

// Opening a device runs its driver; opening a FIFO wakes its writer.
TEST_F(LibrarySearch, FilesThatAreNotRegularAreNeverOpened) {
  fs::create_directories(root(3));
  const fs::path pipe = root(3) / "pipe.mp3";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::atomic<bool> writerWoken = false;
  std::thread writer([&] {
    const int descriptor = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    writerWoken = true;
    if (descriptor >= 0) ::close(descriptor);
  });
  // Time for the writer to be waiting in its open.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  EXPECT_EQ(search(), nullptr);
  EXPECT_EQ(search(), nullptr);
  // A reader that opened the FIFO has woken the writer by now, if only just.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(writerWoken);

  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  writer.join();
  ::close(reader);
}

constexpr const char* kTitle = "Song";

// What stands between the start of the walk and the track.
enum class Obstacle { none, unreadable, damaged, pictureless };

struct Library {
  const char* name;
  Obstacle obstacle;
  int matchRoot;  // 0: no file is the track
  bool matchLast;
};

class LibraryBuilder {
 public:
  explicit LibraryBuilder(const Library& library) : library_(library) {
    const std::array<fs::path, 3> all = roots(home());
    for (int position = 1; position <= 3; ++position) {
      const fs::path& root = all[static_cast<std::size_t>(position - 1)];
      for (int i = 0; i < 90; ++i) {
        const auto& [format, extension] = kNames[i % 5];
        const std::string name = std::to_string(position) + "-" + std::to_string(i) + extension;
        add(root / ("Disc " + std::to_string(i % 2)) / name, format, trackTags("The Band", "Album", "Other", green_));
      }
      addObstacles(root);
    }
    if (library.matchRoot != 0) {
      makeTrack(all[static_cast<std::size_t>(library.matchRoot - 1)], std::to_string(library.matchRoot) + "-");
    }
  }

  const fs::path& home() const { return home_; }

 private:
  static constexpr std::pair<AudioFormat, const char*> kNames[] = {
      {AudioFormat::mp3ID3v24, ".mp3"}, {AudioFormat::m4a, ".m4a"}, {AudioFormat::flac, ".flac"},
      {AudioFormat::wavID3v2, ".wav"},  {AudioFormat::aac, ".aac"}};

  void add(const fs::path& file, AudioFormat format, const sonvetta::testdata::TagEntries& tags) {
    fs::create_directories(file.parent_path());
    sonvetta::testdata::writeTaggedAudio(file, format, tags);
  }

  void addObstacles(const fs::path& root) {
    const fs::path folder = root / "Obstacles";
    const auto wanted = [](const std::optional<std::string>& picture) {
      return trackTags("The Band", "Album", kTitle, picture);
    };
    switch (library_.obstacle) {
      case Obstacle::none:
        return;
      case Obstacle::unreadable:
        fs::create_directories(folder / "folder.mp3");
        fs::create_symlink(folder / "nowhere", folder / "dangling.flac");
        mkfifo((folder / "pipe.m4a").c_str(), 0600);
        add(folder / "locked.wav", AudioFormat::wavID3v2, wanted(red_));
        fs::permissions(folder / "locked.wav", fs::perms::none);
        return;
      case Obstacle::damaged:
        for (const auto& [format, extension] : kNames) {
          for (const std::uintmax_t length : {0, 40, 400}) {
            const fs::path cut = folder / ("cut " + std::to_string(length) + extension);
            add(cut, format, wanted(red_));
            fs::resize_file(cut, std::min(length, fs::file_size(cut)));
          }
        }
        return;
      case Obstacle::pictureless:
        add(folder / "bare.mp3", AudioFormat::mp3ID3v24, wanted(std::nullopt));
        add(folder / "BARE.m4a", AudioFormat::m4a, trackTags("THE BAND", "album", "SONG"));
        add(folder / "undecodable.flac", AudioFormat::flac, wanted("not a picture"));
        return;
    }
  }

  // Turns the first or the last of the root's ordinary files, in the order of
  // the walk, into the track.
  void makeTrack(const fs::path& root, const std::string& ordinaryPrefix) {
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
    fs::path chosen;
    while (const std::optional<fs::path> entry = walk->next()) {
      if (!entry->filename().string().starts_with(ordinaryPrefix)) continue;
      chosen = *entry;
      if (!library_.matchLast) break;
    }
    for (const auto& [format, extension] : kNames) {
      if (chosen.extension() == extension) add(chosen, format, trackTags("The Band", "Album", kTitle, red_));
    }
  }

  const Library& library_;
  const std::string red_ = sonvetta::testdata::solidPicture("red", "PNG");
  const std::string green_ = sonvetta::testdata::solidPicture("green", "PNG");
  QTemporaryDir temporaryHome_;
  const fs::path home_{temporaryHome_.path().toStdString()};
};

// Whether a search reads every file, remembers what it read or reads ahead,
// it finds the same file and writes the same lines as reading one file after
// another.
TEST(SearchResult, IsThatOfReadingOneFileAfterAnother) {
  const Library libraries[] = {
      {"track first in the first root", Obstacle::none, 1, false},
      {"track last in the first root", Obstacle::none, 1, true},
      {"track first in the second root", Obstacle::none, 2, false},
      {"track last in the last root", Obstacle::none, 3, true},
      {"no track", Obstacle::none, 0, false},
      {"track behind unreadable files", Obstacle::unreadable, 3, true},
      {"track behind damaged files", Obstacle::damaged, 2, true},
      {"track behind files without a picture", Obstacle::pictureless, 3, false},
  };
  std::vector<std::unique_ptr<LibraryBuilder>> built;
  for (const Library& library : libraries) built.push_back(std::make_unique<LibraryBuilder>(library));
  waitUntilSettled();

  for (std::size_t i = 0; i < std::size(libraries); ++i) {
    SCOPED_TRACE(libraries[i].name);
    const Outcome expected = oneFileAtATime(built[i]->home());
    EXPECT_EQ(expected.artwork.isNull(), libraries[i].matchRoot == 0);

    std::stringstream log;
    sonvetta::LibraryArtworkSearch searcher(log, built[i]->home());
    EXPECT_EQ(searched(searcher, log), expected) << "first search";
    EXPECT_EQ(searched(searcher, log), expected) << "search from what the first remembered";
  }
}

}  // namespace
