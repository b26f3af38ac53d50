// Searches a synthetic library of 10,000 tagged files, each with a 500 x 500
// JPEG cover, against the floor of walking it and reading every candidate's
// bytes with nothing parsed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QImage>
#include <QBuffer>
#include <array>
#include <iostream>

#include "app/artwork/library_artwork_search.h"
#include "platform/files/directory_walk.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;

constexpr int kFileCount = 10000;
constexpr int kFilesPerAlbum = 10;

struct Kind {
  AudioFormat format;
  const char* extension;
};
constexpr std::array<Kind, 5> kKinds = {Kind{AudioFormat::mp3ID3v24, ".mp3"}, Kind{AudioFormat::m4a, ".m4a"},
                                        Kind{AudioFormat::flac, ".flac"}, Kind{AudioFormat::wavID3v2, ".wav"},
                                        Kind{AudioFormat::aac, ".aac"}};

// A cover with some texture, so that it compresses about as well as a real one.
std::string coverJpeg() {
  QImage cover(500, 500, QImage::Format_RGB32);
  for (int y = 0; y < 500; ++y) {
    for (int x = 0; x < 500; ++x) {
      const int noise = static_cast<int>((static_cast<unsigned>(x * 7919 + y * 104729) * 2654435761u) >> 28);
      cover.setPixel(x, y, qRgb(x / 2 + noise, y / 2 + noise, (x + y) / 4 + noise));
    }
  }
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  cover.save(&buffer, "JPEG", 85);
  return jpeg.toStdString();
}

class Library {
 public:
  Library() {
    const std::string cover = coverJpeg();
    for (int i = 0; i < kFileCount; ++i) {
      const Kind& kind = kKinds[i % kKinds.size()];
      const std::string album = "Album " + std::to_string(i / kFilesPerAlbum);
      const fs::path folder = root() / ("Artist " + std::to_string(i / 100)) / album;
      fs::create_directories(folder);
      sonvetta::testdata::writeTaggedAudio(
          folder / ("Track " + std::to_string(i) + kind.extension), kind.format,
          sonvetta::testdata::trackTags("Artist " + std::to_string(i / 100), album, "Track " + std::to_string(i), cover));
    }
    makeLastWalkedFileTheWantedTrack(cover);
    std::cerr << "library: " << kFileCount << " files, cover " << cover.size() << " bytes\n";
  }

  fs::path home() const { return home_.path(); }
  fs::path root() const { return home_.path() / "Music" / "Music"; }

 private:
  void makeLastWalkedFileTheWantedTrack(const std::string& cover) {
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root());
    fs::path last;
    while (const std::optional<fs::path> entry = walk->next()) {
      if (fs::is_regular_file(*entry)) last = *entry;
    }
    for (const Kind& kind : kKinds) {
      if (last.extension() == kind.extension) {
        sonvetta::testdata::writeTaggedAudio(last, kind.format,
                                             sonvetta::testdata::trackTags("Wanted", "Wanted", "Wanted", cover));
      }
    }
  }

  sonvetta::testdata::TemporaryFolder home_;
};

const Library& library() {
  static const Library built;
  return built;
}

void setFileRate(benchmark::State& state) {
  state.counters["files/s"] = benchmark::Counter(kFileCount, benchmark::Counter::kIsIterationInvariantRate);
}

void search(benchmark::State& state, const char* wanted, bool expectFound) {
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, library().home());
  for (auto _ : state) {
    const platform::ImageRef artwork = searcher.findArtworkInMusicLibrary(wanted, wanted, wanted, 22);
    if ((artwork != nullptr) != expectFound) state.SkipWithError("unexpected search result");
    log.str({});
  }
  setFileRate(state);
}

void BM_SearchMatchingLastFile(benchmark::State& state) { search(state, "Wanted", true); }
void BM_SearchFindingNothing(benchmark::State& state) { search(state, "Nobody", false); }

// The same walk, and every file's bytes (a tag and a few audio frames) read
// whole into memory, with no parsing and no tag library.
void BM_FloorWalkAndReadEveryFile(benchmark::State& state) {
  std::vector<char> buffer(1 << 20);
  const fs::path root = library().root();  // built before the clock starts, as for the searches
  for (auto _ : state) {
    std::size_t total = 0;
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
    while (const std::optional<fs::path> entry = walk->next()) {
      const int fd = ::open(entry->c_str(), O_RDONLY);
      if (fd < 0) continue;
      for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<std::size_t>(got);
      ::close(fd);
    }
    benchmark::DoNotOptimize(total);
  }
  setFileRate(state);
}

BENCHMARK(BM_FloorWalkAndReadEveryFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SearchMatchingLastFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SearchFindingNothing)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
