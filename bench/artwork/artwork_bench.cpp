// Searches three synthetic libraries, side by side with two floors measured
// on the same library in the same run:
//   Tiny:     60,000 mp3 files of about 1.3 KB, tags only;
//   Tiny200k: 200,000 such files;
//   Covers:   10,000 files of all five kinds, each with a 500 x 500 JPEG cover.
// Floors: a walk that lists and stats every entry, and one that also reads the
// first 64 KiB of every file. Searches: the first one of a process that does
// not warm up, against a walk that reads the same tags ahead and keeps
// nothing; the first one right after the warm-up starts and 15 s after, and
// the ones after it; from memory, after a mount elsewhere, with a folder that
// cannot be read and with 2,000 links to files. All of them look for a track
// that is not there, so every file is visited; on the covers library one more
// search finds the last file. Also: the warm-up's time and CPU time, idle and
// with both cores busy, the watches it takes, and the memory the mirror takes
// a file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <malloc.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <deque>
#include <fstream>
#include <future>
#include <iostream>
#include <span>
#include <sstream>
#include <thread>

#include "app/artwork/library_artwork_search.h"
#include "app/artwork/library_mirror.h"
#include "platform/files/directory_walk.h"
#include "platform/files/read_ahead.h"
#include "platform/files/work_pool.h"
#include "tagged_audio.h"

namespace {

namespace fs = std::filesystem;
using sonvetta::testdata::AudioFormat;

constexpr int kFilesPerAlbum = 10;
constexpr int kAlbumsPerArtist = 10;

struct Kind {
  AudioFormat format;
  const char* extension;
};
constexpr std::array<Kind, 5> kAllKinds = {Kind{AudioFormat::mp3ID3v24, ".mp3"}, Kind{AudioFormat::m4a, ".m4a"},
                                           Kind{AudioFormat::flac, ".flac"}, Kind{AudioFormat::wavID3v2, ".wav"},
                                           Kind{AudioFormat::aac, ".aac"}};
constexpr std::array<Kind, 1> kMp3Only = {Kind{AudioFormat::mp3ID3v24, ".mp3"}};

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
  Library(int fileCount, std::span<const Kind> kinds, const std::optional<std::string>& cover)
      : fileCount_(fileCount) {
    for (int i = 0; i < fileCount; ++i) {
      const Kind& kind = kinds[static_cast<std::size_t>(i) % kinds.size()];
      const std::string artist = "Artist " + std::to_string(i / (kFilesPerAlbum * kAlbumsPerArtist));
      const std::string album = "Album " + std::to_string(i / kFilesPerAlbum);
      const fs::path folder = root() / artist / album;
      fs::create_directories(folder);
      sonvetta::testdata::writeTaggedAudio(folder / ("Track " + std::to_string(i) + kind.extension), kind.format,
                                           sonvetta::testdata::trackTags(artist, album, "Track " + std::to_string(i), cover));
    }
    makeLastWalkedFileTheWantedTrack(kinds, cover);
    std::cerr << "library: " << fileCount << " files, cover " << (cover ? cover->size() : 0) << " bytes\n";
  }

  int fileCount() const { return fileCount_; }
  fs::path home() const { return home_; }
  fs::path root() const { return home_ / "Music" / "Music"; }

 private:
  void makeLastWalkedFileTheWantedTrack(std::span<const Kind> kinds, const std::optional<std::string>& cover) {
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root());
    fs::path last;
    while (const std::optional<fs::path> entry = walk->next()) {
      if (fs::is_regular_file(*entry)) last = *entry;
    }
    for (const Kind& kind : kinds) {
      if (last.extension() == kind.extension) {
        sonvetta::testdata::writeTaggedAudio(last, kind.format,
                                             sonvetta::testdata::trackTags("Wanted", "Wanted", "Wanted", cover));
      }
    }
  }

  int fileCount_;
  QTemporaryDir temporaryHome_;
  const fs::path home_{temporaryHome_.path().toStdString()};
};

const Library& tinyLibrary() {
  static const Library built(60000, kMp3Only, std::nullopt);
  return built;
}

const Library& tiny200kLibrary() {
  static const Library built(200000, kMp3Only, std::nullopt);
  return built;
}

const Library& coversLibrary() {
  static const Library built(10000, kAllKinds, coverJpeg());
  return built;
}

rusage processUsage() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage;
}

double cpuSeconds(const rusage& usage) {
  const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Besides the rate and the process's peak memory, the CPU time of all the
// process's threads for one iteration: on a machine that other work keeps
// busy, the wall-clock time says more about that work than about this one.
void setCounters(benchmark::State& state, const Library& library, const rusage& atStart) {
  const rusage atEnd = processUsage();
  state.counters["files/s"] = benchmark::Counter(library.fileCount(), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peakMiB"] = static_cast<double>(atEnd.ru_maxrss) / 1024.0;
  state.counters["allThreadsCpuMs"] =
      (cpuSeconds(atEnd) - cpuSeconds(atStart)) * 1000 / static_cast<double>(state.iterations());
}

enum class Caches { warm, dropped };

// Before an iteration on cold caches, empties the kernel's caches of files and
// folders (as after memory pressure, or at login), where this process may.
void prepare(benchmark::State& state, Caches caches) {
  if (caches == Caches::warm) return;
  state.PauseTiming();
  sync();
  std::ofstream drop("/proc/sys/vm/drop_caches");
  drop << "3\n" << std::flush;
  if (!drop) state.SkipWithError("the caches cannot be dropped here");
  state.ResumeTiming();
}

// The floors walk with the C library rather than the application's walk, so
// that they show what the machine can do, not what the walk costs.
thread_local std::size_t floorTotal = 0;
thread_local std::vector<char>* floorBuffer = nullptr;

int statEntry(const char*, const struct stat* status, int, FTW*) {
  floorTotal += static_cast<std::size_t>(status->st_size);
  return 0;
}

int readEntry(const char* path, const struct stat* status, int type, FTW*) {
  if (type != FTW_F || !S_ISREG(status->st_mode)) return 0;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = ::read(fd, floorBuffer->data(), floorBuffer->size());
  if (got > 0) floorTotal += static_cast<std::size_t>(got);
  ::close(fd);
  return 0;
}

void floorWalk(benchmark::State& state, const Library& library, bool readFiles, Caches caches = Caches::warm) {
  std::vector<char> buffer(64 * 1024);
  floorBuffer = &buffer;
  const fs::path root = library.root();  // built before the clock starts, as for the searches
  const rusage atStart = processUsage();
  for (auto _ : state) {
    prepare(state, caches);
    floorTotal = 0;
    nftw(root.c_str(), readFiles ? readEntry : statEntry, 64, FTW_PHYS);
    benchmark::DoNotOptimize(floorTotal);
  }
  setCounters(state, library, atStart);
}

void expect(benchmark::State& state, const platform::ImageRef& artwork, bool found) {
  if ((artwork != nullptr) != found) state.SkipWithError("unexpected search result");
}

// Every iteration is the first search of a fresh application.
void firstSearch(benchmark::State& state, const Library& library, const char* wanted, bool found,
                 Caches caches = Caches::warm) {
  const fs::path home = library.home();
  const rusage atStart = processUsage();
  for (auto _ : state) {
    state.PauseTiming();
    std::ostringstream log;
    auto searcher = std::make_unique<sonvetta::LibraryArtworkSearch>(log, home);
    state.ResumeTiming();
    prepare(state, caches);
    expect(state, searcher->findArtworkInMusicLibrary(wanted, wanted, wanted, 22), found);
    state.PauseTiming();
    searcher.reset();
    state.ResumeTiming();
  }
  setCounters(state, library, atStart);
}

// The searches of a running application, after its first.
void repeatSearch(benchmark::State& state, const Library& library, const char* wanted, bool found,
                  sonvetta::LibraryAccess access = {}) {
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, library.home(), std::move(access));
  expect(state, searcher.findArtworkInMusicLibrary(wanted, wanted, wanted, 22), found);
  const rusage atStart = processUsage();
  for (auto _ : state) {
    expect(state, searcher.findArtworkInMusicLibrary(wanted, wanted, wanted, 22), found);
    log.str({});
  }
  setCounters(state, library, atStart);
}

// The event loop, which the warm-up's slices run on, for `time`.
void runEventLoop(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

void waitForWarmUp(const sonvetta::LibraryArtworkSearch& searcher) {
  while (searcher.warmingUp()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A walk that reads every candidate's tags a little ahead on the other cores,
// as the search does, and keeps nothing of what it sees.
void walkKeepingNothing(const fs::path& root) {
  struct Reading {
    std::optional<platform::FileStamp> stamp;
    std::optional<sonvetta::TrackFingerprint> fingerprint;
  };
  platform::ReadAhead<Reading> reading([](const fs::path& file) {
    return Reading{platform::FileStamp::of(file), sonvetta::readTrackFingerprint(file)};
  });
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
  std::size_t ahead = 0;
  const sonvetta::TrackFingerprint wanted = sonvetta::TrackFingerprint::of("Nobody", "Nobody", "Nobody");
  while (true) {
    while (ahead < 64 && (ahead == 0 || !walk->nextReadsAFolder())) {
      const std::optional<fs::path> entry = walk->next();
      if (!entry) break;
      if (!sonvetta::isAudioFileName(entry->filename().native())) continue;
      reading.push(*entry);
      ++ahead;
    }
    if (ahead == 0) return;
    --ahead;
    if (reading.take().fingerprint == wanted) return;
  }
}

void notKeepingWalk(benchmark::State& state, const Library& library) {
  const rusage atStart = processUsage();
  for (auto _ : state) walkKeepingNothing(library.root());
  setCounters(state, library, atStart);
}

// The inotify watches the process holds.
int watchesHeld() {
  int watches = 0;
  for (const fs::directory_entry& descriptor : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(descriptor.path(), error) != "anon_inode:inotify") continue;
    std::ifstream info("/proc/self/fdinfo/" + descriptor.path().filename().string());
    for (std::string line; std::getline(info, line);) watches += line.starts_with("inotify wd:") ? 1 : 0;
  }
  return watches;
}

// Two busy loops at normal priority, for as long as it lives.
class BusyCores {
 public:
  BusyCores() {
    for (int i = 0; i < 2; ++i) {
      loops_.emplace_back([this] {
        while (!stop_) {
        }
      });
    }
  }
  ~BusyCores() {
    stop_ = true;
    for (std::thread& loop : loops_) loop.join();
  }

 private:
  std::atomic<bool> stop_ = false;
  std::vector<std::thread> loops_;
};

// The first search of an application that started `after` before it.
void firstSearchAfterStart(benchmark::State& state, const Library& library, std::chrono::seconds after) {
  const rusage atStart = processUsage();
  for (auto _ : state) {
    state.PauseTiming();
    std::ostringstream log;
    auto searcher = std::make_unique<sonvetta::LibraryArtworkSearch>(log, library.home());
    searcher->warmUp();
    runEventLoop(after);
    state.ResumeTiming();
    expect(state, searcher->findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
    state.PauseTiming();
    searcher.reset();
    state.ResumeTiming();
  }
  setCounters(state, library, atStart);
}

// The searches of a running application once warmed up.
void searchFromMemory(benchmark::State& state, const Library& library, Caches caches = Caches::warm) {
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, library.home());
  searcher.warmUp();
  waitForWarmUp(searcher);
  expect(state, searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
  const rusage atStart = processUsage();
  for (auto _ : state) {
    prepare(state, caches);
    expect(state, searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
    log.str({});
  }
  setCounters(state, library, atStart);
}

// A missed search right after a file system was mounted, or unmounted,
// elsewhere on the machine (in a mount namespace of the benchmark's own).
void searchAfterUnrelatedMount(benchmark::State& state, const Library& library) {
  static const bool privateMounts =
      ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  if (!privateMounts) return state.SkipWithError("no mount namespace to be had");
  const fs::path elsewhere = library.home() / "Elsewhere";
  fs::create_directories(elsewhere);
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch searcher(log, library.home());
  expect(state, searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
  const rusage atStart = processUsage();
  bool mounted = false;
  for (auto _ : state) {
    state.PauseTiming();
    mounted = mounted ? ::umount(elsewhere.c_str()) != 0 : ::mount("none", elsewhere.c_str(), "tmpfs", 0, nullptr) == 0;
    state.ResumeTiming();
    expect(state, searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
    log.str({});
  }
  if (mounted) ::umount(elsewhere.c_str());
  setCounters(state, library, atStart);
}

// Missed searches once warm, with one album folder that cannot be read.
void searchWithUnreadableFolder(benchmark::State& state, const Library& library) {
  sonvetta::LibraryAccess access;
  access.list = [](const fs::path& folder) -> std::optional<std::vector<platform::FolderEntry>> {
    if (folder.filename() == "Album 7") return std::nullopt;
    return platform::listFolder(folder);
  };
  repeatSearch(state, library, "Nobody", false, std::move(access));
}

// Missed searches once warm, with 2,000 links to files of the library in the
// second root.
void searchWithLinks(benchmark::State& state, const Library& library) {
  const fs::path links = library.home() / "Music" / "iTunes" / "iTunes Media" / "Music";
  fs::create_directories(links);
  for (int i = 0; i < 2000; ++i) {
    const std::string artist = "Artist " + std::to_string(i / (kFilesPerAlbum * kAlbumsPerArtist));
    const std::string album = "Album " + std::to_string(i / kFilesPerAlbum);
    fs::create_symlink(library.root() / artist / album / ("Track " + std::to_string(i) + ".mp3"),
                       links / ("Link " + std::to_string(i) + ".mp3"));
  }
  std::this_thread::sleep_for(platform::FileStamp::kSettlingTime);
  repeatSearch(state, library, "Nobody", false);
  fs::remove_all(library.home() / "Music" / "iTunes");
}

// From start-up until the search has the library in memory; with the
// watches that takes.
void warmUp(benchmark::State& state, const Library& library, Caches caches = Caches::warm) {
  const rusage atStart = processUsage();
  for (auto _ : state) {
    prepare(state, caches);
    std::ostringstream log;
    sonvetta::LibraryArtworkSearch searcher(log, library.home());
    searcher.warmUp();
    waitForWarmUp(searcher);
    state.counters["watches"] = watchesHeld();
  }
  setCounters(state, library, atStart);
}

// With both cores busy the warm-up at idle priority gets nothing: from
// start-up until the first search, which walks, leaves the library warm.
void warmUpWithBothCoresBusy(benchmark::State& state, const Library& library) {
  const BusyCores busy;
  const rusage atStart = processUsage();
  for (auto _ : state) {
    std::ostringstream log;
    sonvetta::LibraryArtworkSearch searcher(log, library.home());
    searcher.warmUp();
    expect(state, searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22), false);
    state.PauseTiming();
    // Served from memory, or the figure would mean nothing.
    const auto from = std::chrono::steady_clock::now();
    searcher.findArtworkInMusicLibrary("Nobody", "Nobody", "Nobody", 22);
    state.counters["nextSearchMs"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
    state.ResumeTiming();
  }
  setCounters(state, library, atStart);
}

void BM_Tiny_FloorStatWalk(benchmark::State& state) { floorWalk(state, tinyLibrary(), false); }
void BM_Tiny_FloorReadWalk(benchmark::State& state) { floorWalk(state, tinyLibrary(), true); }
void BM_Tiny_FirstSearch(benchmark::State& state) { firstSearch(state, tinyLibrary(), "Nobody", false); }
void BM_Tiny_RepeatSearch(benchmark::State& state) { repeatSearch(state, tinyLibrary(), "Nobody", false); }
void BM_Tiny_FirstSearchAtStartUp(benchmark::State& state) {
  firstSearchAfterStart(state, tinyLibrary(), std::chrono::seconds(0));
}
void BM_Tiny_FirstSearch15sAfterStartUp(benchmark::State& state) {
  firstSearchAfterStart(state, tinyLibrary(), std::chrono::seconds(15));
}
void BM_Tiny_SearchFromMemory(benchmark::State& state) { searchFromMemory(state, tinyLibrary()); }
void BM_Tiny_WarmUp(benchmark::State& state) { warmUp(state, tinyLibrary()); }
void BM_Tiny_WarmUpWithBothCoresBusy(benchmark::State& state) { warmUpWithBothCoresBusy(state, tinyLibrary()); }
void BM_Tiny_WalkKeepingNothing(benchmark::State& state) { notKeepingWalk(state, tinyLibrary()); }
void BM_Tiny_SearchAfterUnrelatedMount(benchmark::State& state) { searchAfterUnrelatedMount(state, tinyLibrary()); }
void BM_Tiny_SearchWithUnreadableFolder(benchmark::State& state) {
  searchWithUnreadableFolder(state, tinyLibrary());
}
void BM_Tiny_SearchWith2000Links(benchmark::State& state) { searchWithLinks(state, tinyLibrary()); }
void BM_TinyCold_FloorStatWalk(benchmark::State& state) {
  floorWalk(state, tinyLibrary(), false, Caches::dropped);
}
void BM_TinyCold_FloorReadWalk(benchmark::State& state) { floorWalk(state, tinyLibrary(), true, Caches::dropped); }
void BM_TinyCold_FirstSearch(benchmark::State& state) {
  firstSearch(state, tinyLibrary(), "Nobody", false, Caches::dropped);
}
void BM_TinyCold_SearchFromMemory(benchmark::State& state) {
  searchFromMemory(state, tinyLibrary(), Caches::dropped);
}
void BM_TinyCold_WarmUp(benchmark::State& state) { warmUp(state, tinyLibrary(), Caches::dropped); }
void BM_Tiny200k_FloorStatWalk(benchmark::State& state) { floorWalk(state, tiny200kLibrary(), false); }
void BM_Tiny200k_FloorReadWalk(benchmark::State& state) { floorWalk(state, tiny200kLibrary(), true); }
void BM_Tiny200k_FirstSearch(benchmark::State& state) { firstSearch(state, tiny200kLibrary(), "Nobody", false); }
void BM_Tiny200k_RepeatSearch(benchmark::State& state) {
  repeatSearch(state, tiny200kLibrary(), "Nobody", false);
}
void BM_Tiny200k_FirstSearchAtStartUp(benchmark::State& state) {
  firstSearchAfterStart(state, tiny200kLibrary(), std::chrono::seconds(0));
}
void BM_Tiny200k_FirstSearch15sAfterStartUp(benchmark::State& state) {
  firstSearchAfterStart(state, tiny200kLibrary(), std::chrono::seconds(15));
}
void BM_Tiny200k_SearchFromMemory(benchmark::State& state) { searchFromMemory(state, tiny200kLibrary()); }
void BM_Tiny200k_WarmUp(benchmark::State& state) { warmUp(state, tiny200kLibrary()); }
void BM_Tiny200k_WarmUpWithBothCoresBusy(benchmark::State& state) {
  warmUpWithBothCoresBusy(state, tiny200kLibrary());
}
void BM_Tiny200k_WalkKeepingNothing(benchmark::State& state) { notKeepingWalk(state, tiny200kLibrary()); }
void BM_Tiny200k_SearchAfterUnrelatedMount(benchmark::State& state) {
  searchAfterUnrelatedMount(state, tiny200kLibrary());
}
void BM_Tiny200k_SearchWithUnreadableFolder(benchmark::State& state) {
  searchWithUnreadableFolder(state, tiny200kLibrary());
}
void BM_Tiny200k_SearchWith2000Links(benchmark::State& state) { searchWithLinks(state, tiny200kLibrary()); }
void BM_Covers_FloorStatWalk(benchmark::State& state) { floorWalk(state, coversLibrary(), false); }
void BM_Covers_FloorReadWalk(benchmark::State& state) { floorWalk(state, coversLibrary(), true); }
void BM_Covers_FirstSearch(benchmark::State& state) { firstSearch(state, coversLibrary(), "Nobody", false); }
void BM_Covers_RepeatSearch(benchmark::State& state) { repeatSearch(state, coversLibrary(), "Nobody", false); }
void BM_Covers_RepeatSearchFindingLast(benchmark::State& state) {
  repeatSearch(state, coversLibrary(), "Wanted", true);
}

// Large blocks, such as a hash table's buckets, are mapped rather than taken
// from the heap.
std::size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// What the mirror of 200,000 files costs, in heap bytes a file: kept on this
// thread, whose heap the count sees.
void BM_MirrorBytesPerFile(benchmark::State& state) {
  const Library& library = tiny200kLibrary();
  for (auto _ : state) {
    const std::size_t before = heapInUse();
    auto access = std::make_shared<const sonvetta::LibraryAccess>();
    auto mirror = std::make_unique<sonvetta::LibraryMirror>(
        library.root(), access, std::make_shared<platform::WatchBudget>(access->watches));
    mirror->search([](const std::string&, const std::optional<sonvetta::TrackFingerprint>&) { return false; });
    if (!mirror->walkedThrough()) state.SkipWithError("not mirrored whole");
    state.counters["bytesPerFile"] = static_cast<double>(heapInUse() - before) / library.fileCount();
  }
}
BENCHMARK(BM_MirrorBytesPerFile)->Unit(benchmark::kMillisecond)->Iterations(1);

// Interleaved, so that a change in the machine's load falls on all of them alike.
#define SONVETTA_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2)
// Those that wait for seconds, or take them, a few times only.
#define SONVETTA_BENCH_TIMES(name, times) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(times)
SONVETTA_BENCH(BM_Tiny_FloorStatWalk);
SONVETTA_BENCH(BM_Tiny_FloorReadWalk);
SONVETTA_BENCH(BM_Tiny_FirstSearch);
SONVETTA_BENCH(BM_Tiny_RepeatSearch);
SONVETTA_BENCH(BM_Tiny_SearchFromMemory);
SONVETTA_BENCH_TIMES(BM_Tiny_FirstSearchAtStartUp, 3);
SONVETTA_BENCH_TIMES(BM_Tiny_FirstSearch15sAfterStartUp, 2);
SONVETTA_BENCH_TIMES(BM_Tiny_WarmUp, 3);
SONVETTA_BENCH_TIMES(BM_Tiny_WarmUpWithBothCoresBusy, 2);
SONVETTA_BENCH(BM_Tiny_WalkKeepingNothing);
SONVETTA_BENCH(BM_Tiny_SearchAfterUnrelatedMount);
SONVETTA_BENCH(BM_Tiny_SearchWithUnreadableFolder);
SONVETTA_BENCH(BM_Tiny_SearchWith2000Links);
SONVETTA_BENCH_TIMES(BM_TinyCold_FloorStatWalk, 3);
SONVETTA_BENCH_TIMES(BM_TinyCold_FloorReadWalk, 3);
SONVETTA_BENCH_TIMES(BM_TinyCold_FirstSearch, 3);
SONVETTA_BENCH_TIMES(BM_TinyCold_SearchFromMemory, 3);
SONVETTA_BENCH_TIMES(BM_TinyCold_WarmUp, 3);
SONVETTA_BENCH(BM_Tiny200k_FloorStatWalk);
SONVETTA_BENCH(BM_Tiny200k_FloorReadWalk);
SONVETTA_BENCH_TIMES(BM_Tiny200k_FirstSearch, 3);
SONVETTA_BENCH(BM_Tiny200k_RepeatSearch);
SONVETTA_BENCH(BM_Tiny200k_SearchFromMemory);
SONVETTA_BENCH_TIMES(BM_Tiny200k_FirstSearchAtStartUp, 2);
SONVETTA_BENCH_TIMES(BM_Tiny200k_FirstSearch15sAfterStartUp, 2);
SONVETTA_BENCH_TIMES(BM_Tiny200k_WarmUp, 2);
SONVETTA_BENCH_TIMES(BM_Tiny200k_WarmUpWithBothCoresBusy, 1);
SONVETTA_BENCH_TIMES(BM_Tiny200k_WalkKeepingNothing, 3);
SONVETTA_BENCH(BM_Tiny200k_SearchAfterUnrelatedMount);
SONVETTA_BENCH(BM_Tiny200k_SearchWithUnreadableFolder);
SONVETTA_BENCH(BM_Tiny200k_SearchWith2000Links);
SONVETTA_BENCH(BM_Covers_FloorStatWalk);
SONVETTA_BENCH(BM_Covers_FloorReadWalk);
SONVETTA_BENCH(BM_Covers_FirstSearch);
SONVETTA_BENCH(BM_Covers_RepeatSearch);
SONVETTA_BENCH(BM_Covers_RepeatSearchFindingLast);

}  // namespace
