// The status bar's Wayland surface on headless sway: the cost of presenting
// one frame (copying it into shared memory and committing it), and the CPU
// the process spends presenting a new frame at every frame callback, at
// scale 1 and 2. Run by hand; skips where headless sway cannot be had.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>

#include "platform/statusbar/wayland/wayland_presentation_surface.h"
#include "session.h"

namespace {

using Clock = std::chrono::steady_clock;

sonvetta::testdata::Session* sway = nullptr;

QImage frameAt(int scale, int shade) {
  QImage frame(QSize(200, 22) * scale, QImage::Format_ARGB32_Premultiplied);
  frame.fill(QColor(shade, 0x80, 0x40));
  frame.setDevicePixelRatio(scale);
  return frame;
}

double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool waitUntilReady(platform::WaylandPresentationSurface& surface) {
  while (!surface.readyForFrame()) {
    pollfd events{surface.eventDescriptor(), POLLIN, 0};
    poll(&events, 1, 100);
    if (!surface.dispatchEvents()) return false;
  }
  return true;
}

std::unique_ptr<platform::WaylandPresentationSurface> surfaceAtScale(benchmark::State& state, int scale) {
  sway->run({"swaymsg", "output", "HEADLESS-1", "scale", QString::number(scale)});
  auto surface = platform::WaylandPresentationSurface::connect([](platform::ScreenEdge) {});
  if (surface == nullptr) {
    state.SkipWithError("no layer-shell surface");
    return nullptr;
  }
  surface->present(frameAt(scale, 0));
  if (!waitUntilReady(*surface) || surface->devicePixelRatio() != scale) {
    state.SkipWithError("the surface did not come up at the asked scale");
    return nullptr;
  }
  return surface;
}

// One present(): the frame copied into a released buffer and committed.
void BM_Present(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const auto surface = surfaceAtScale(state, scale);
  if (surface == nullptr) return;
  const QImage frames[2] = {frameAt(scale, 0x20), frameAt(scale, 0xe0)};
  int next = 0;
  for (auto _ : state) {
    if (!waitUntilReady(*surface)) {
      state.SkipWithError("the compositor went away");
      return;
    }
    const auto start = Clock::now();
    surface->present(frames[next]);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    next ^= 1;
  }
}
BENCHMARK(BM_Present)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Ten seconds of a new frame at every frame callback (the compositor's
// 60 Hz): the share of one core this process spends, waiting included.
void BM_TenSecondsOfFrames(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  const auto surface = surfaceAtScale(state, scale);
  if (surface == nullptr) return;
  const QImage frames[2] = {frameAt(scale, 0x20), frameAt(scale, 0xe0)};
  for (auto _ : state) {
    int shown = 0;
    const double cpuBefore = processCpuSeconds();
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
      if (!waitUntilReady(*surface)) {
        state.SkipWithError("the compositor went away");
        return;
      }
      surface->present(frames[shown % 2]);
      ++shown;
    }
    state.counters["cpu_percent_of_a_core"] = (processCpuSeconds() - cpuBefore) / 10.0 * 100.0;
    state.counters["frames_per_second"] = shown / 10.0;
  }
}
BENCHMARK(BM_TenSecondsOfFrames)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  sonvetta::testdata::Session headlessSway("sway");
  if (!headlessSway.unavailable().isEmpty()) {
    std::cerr << "headless sway: " << headlessSway.unavailable().toStdString() << "\n";
    return 0;
  }
  headlessSway.enter();
  sway = &headlessSway;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
