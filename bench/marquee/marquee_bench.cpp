#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/marquee/marquee_view.h"
#include "platform/render/renderer.h"
#include "platform/text/text_measurer.h"
#include "platform/view/media_clock.h"
#include "../../tests/render/solid_image.h"

namespace {

const platform::QtTextMeasurer textMeasurer;

std::string trackLine(char variant, std::size_t length) {
  std::string line = "Title " + std::string(1, variant) + " - Some Album Name - Some Artist ";
  while (line.size() < length) line += line;
  line.resize(length);
  return line;
}

// Alternates between two texts so that no update is skipped as a repeat.
void BM_UpdateWithNewText(benchmark::State& state) {
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  const auto artwork = std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::red);
  const std::string texts[2] = {trackLine('A', 100), trackLine('B', 100)};
  std::size_t next = 0;
  for (auto _ : state) {
    marquee.update(artwork, texts[next]);
    next ^= 1;
  }
}
BENCHMARK(BM_UpdateWithNewText);

void BM_RenderScrollingFrameAt2x(benchmark::State& state) {
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), textMeasurer);
  marquee.update(std::make_shared<platform::SolidImage>(platform::Size{22, 22}, Qt::red),
                 trackLine('A', static_cast<std::size_t>(state.range(0))));
  double time = platform::currentMediaTime();
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::renderViewTree(marquee, time, 2.0, Qt::black));
    time += 1.0 / 60.0;
  }
}
BENCHMARK(BM_RenderScrollingFrameAt2x)->Arg(200)->Arg(100'000)->Unit(benchmark::kMicrosecond);

}  // namespace
