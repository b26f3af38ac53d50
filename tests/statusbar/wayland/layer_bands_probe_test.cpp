#include "platform/statusbar/wayland/layer_bands_probe.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

// An output 800 high, as the probe sees it: the output's edges from its top
// and its own height, what the bands leave free between them.
OutputFromProbe probedBetween(int topBands, int bottomBands) {
  return {-topBands, 800 - topBands, 800 - topBands - bottomBands};
}

// What the popups answer, the strip's own band taken out, and the edge the
// strip then stands at.
TEST(LayerBandsProbeTest, FindsOtherSurfacesBandsAndStandsBesideThem) {
  const struct {
    const char* desktop;
    OutputFromProbe output;
    EdgeDepths own;
    EdgeDepths others;
    ScreenEdge edge;
  } rows[] = {
      {"no panel, no band of its own yet", probedBetween(0, 0), {0, 0}, {0, 0}, ScreenEdge::top},
      {"no panel, its own band at the top", probedBetween(22, 0), {22, 0}, {0, 0}, ScreenEdge::top},
      {"a bar along the top", probedBetween(23, 0), {0, 0}, {23, 0}, ScreenEdge::top},
      {"a bar along the top, its own band below it", probedBetween(45, 0), {22, 0}, {23, 0}, ScreenEdge::top},
      {"a panel along the bottom", probedBetween(0, 32), {0, 0}, {0, 32}, ScreenEdge::bottom},
      {"a panel along the bottom, its own band above it", probedBetween(0, 54), {0, 22}, {0, 32}, ScreenEdge::bottom},
      {"panels along both, its own band below the top one", probedBetween(47, 24), {22, 0}, {25, 24},
       ScreenEdge::top},
      {"its own band at the top, the panel along the bottom", probedBetween(22, 32), {22, 0}, {0, 32},
       ScreenEdge::bottom},
      {"the panel left the bottom, its own band still there", probedBetween(0, 22), {0, 22}, {0, 0},
       ScreenEdge::top},
      // Answers taken before its own band grew: never less than none.
      {"its band grown since asked", probedBetween(0, 22), {0, 44}, {0, 0}, ScreenEdge::top},
      {"a compositor that keeps popups in the free area", {0, 700, 700}, {0, 0}, {0, 0}, ScreenEdge::top},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.desktop);
    const EdgeDepths others = otherBands(row.output, row.own);
    EXPECT_EQ(others.top, row.others.top);
    EXPECT_EQ(others.bottom, row.others.bottom);
    EXPECT_EQ(edgeBeside(others), row.edge);
  }
}

}  // namespace
}  // namespace platform
