// What the compositor costs: drawing a tree's layers once (the main thread's
// part of a change), compositing one frame of a scroll (the compositor
// thread's part of a frame), the frames a scroll gets while the main
// thread searches a library of 60,000 files, and the time from a track's
// notification to the first frame that shows its line, once that library is
// in memory.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "../../tests/render/solid_image.h"
#include "app/artwork/library_artwork_search.h"
#include "app/marquee/marquee_view.h"
#include "platform/compositor/compositor.h"
#include "platform/compositor/frame_composition.h"
#include "platform/text/text_measurer.h"
#include "platform/view/media_clock.h"
#include "tagged_audio.h"

namespace {

const platform::QtTextMeasurer textMeasurer;

namespace fs = std::filesystem;

const std::string longLine = "A Song That Scrolls - An Album Whose Name Does Not Fit - An Artist With A Rather Long Name";

std::shared_ptr<const platform::LayerTree> treeOf(const platform::View& root, double density) {
  const platform::LayerTree::Placement placement{&root, {0.0, 0.0}};
  return std::make_shared<const platform::LayerTree>(root.bounds().size, density, Qt::white,
                                                      std::span(&placement, 1), Qt::black);
}

void BM_DrawLayersOfAScrollingMarquee(benchmark::State& state) {
  const double density = static_cast<double>(state.range(0));
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  marquee.update(std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::red), longLine);
  for (auto _ : state) benchmark::DoNotOptimize(treeOf(marquee, density));
}
BENCHMARK(BM_DrawLayersOfAScrollingMarquee)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_CompositeOneScrollingFrame(benchmark::State& state) {
  const double density = static_cast<double>(state.range(0));
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  marquee.update(std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::red), longLine);
  const auto tree = treeOf(marquee, density);
  double time = platform::currentMediaTime();
  for (auto _ : state) {
    const std::vector<int> shifts = platform::layerShiftsAt(*tree, time);
    benchmark::DoNotOptimize(platform::compositeFrame(*tree, shifts));
    time += 1.0 / 60.0;
  }
}
BENCHMARK(BM_CompositeOneScrollingFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Counts the frames, as a display that takes 60 a second would show them.
class CountingSurface final : public platform::PresentationSurface {
 public:
  explicit CountingSurface(std::atomic<int>& frames) : frames_(frames) {}
  int eventDescriptor() const override { return -1; }
  bool dispatchEvents() override { return true; }
  double devicePixelRatio() const override { return 1.0; }
  bool needsRedraw() const override { return false; }
  bool readyForFrame() const override { return true; }
  double minimumFrameInterval() const override { return 1.0 / 60.0; }
  void present(const QImage&) override { ++frames_; }

 private:
  std::atomic<int>& frames_;
};

// Tagged files without pictures: the search reads every one's tags and
// finds nothing, which is its longest road.
class Library {
 public:
  static constexpr int fileCount = 60'000;

  Library() {
    for (int i = 0; i < fileCount; ++i) {
      const std::string album = "Album " + std::to_string(i / 10);
      const fs::path folder = home_ / "Music" / "Music" / ("Artist " + std::to_string(i / 100)) / album;
      if (i % 10 == 0) fs::create_directories(folder);
      sonvetta::testdata::writeTaggedAudio(folder / ("Track " + std::to_string(i) + ".mp3"),
                                           sonvetta::testdata::AudioFormat::mp3ID3v24,
                                           sonvetta::testdata::trackTags("Artist", album, std::to_string(i)));
    }
  }
  fs::path home() const { return home_; }

 private:
  QTemporaryDir temporaryHome_;
  const fs::path home_{temporaryHome_.path().toStdString()};
};

void BM_ScrollWhileSearchingALibrary(benchmark::State& state) {
  static const Library library;
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  marquee.update(std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::red), longLine);
  std::atomic<int> frames{0};
  platform::Compositor compositor([&frames] { return std::make_unique<CountingSurface>(frames); }, {});
  compositor.commit(treeOf(marquee, 1.0));
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch search(log, library.home());
  double searching = 0.0;
  int framesWhileSearching = 0;
  for (auto _ : state) {
    const int before = frames;
    const double start = platform::currentMediaTime();
    benchmark::DoNotOptimize(search.findArtworkInMusicLibrary("Nobody", "Nothing", "None", 22));
    searching += platform::currentMediaTime() - start;
    framesWhileSearching += frames - before;
  }
  state.counters["search_s"] = searching / static_cast<double>(state.iterations());
  state.counters["frames/s"] = framesWhileSearching / searching;
  state.counters["pixel_moves/s"] = 37.0;  // what a smooth scroll at 1x needs
}
BENCHMARK(BM_ScrollWhileSearchingALibrary)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// What the application does for a track's notification, search included, up
// to the compositor presenting the line: the track is not in the library, so
// the whole of it is gone through.
void BM_TrackChangeToPresented(benchmark::State& state) {
  static const Library library;
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  std::atomic<int> frames{0};
  platform::Compositor compositor([&frames] { return std::make_unique<CountingSurface>(frames); }, {});
  std::ostringstream log;
  sonvetta::LibraryArtworkSearch search(log, library.home());
  // A first search walks the library and keeps it in memory, as after start-up.
  search.findArtworkInMusicLibrary("Nobody", "Nothing", "Warming up", 22);
  const auto symbol = std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::gray);
  int track = 0;
  for (auto _ : state) {
    // Tracks change seconds apart, not within the frame after the last one.
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state.ResumeTiming();
    const int before = frames;
    const std::string title = "Track " + std::to_string(track++);
    platform::ImageRef artwork = search.findArtworkInMusicLibrary("Nobody", "Nothing", title, 22);
    marquee.update(artwork ? artwork : symbol, title + " - Nothing - Nobody");
    compositor.commit(treeOf(marquee, 1.0));
    while (frames == before) std::this_thread::yield();
    log.str({});
  }
}
BENCHMARK(BM_TrackChangeToPresented)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace
