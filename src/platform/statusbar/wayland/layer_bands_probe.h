#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/statusbar/screen_edge.h"

struct wl_surface;
struct zwlr_layer_surface_v1;

namespace platform {

class ShmBuffer;
struct LayerShellGlobals;

// Where the compositor has the output's edges, seen from the probe's top:
// how far above it the output begins, how far below it the output ends,
// and how high the probe is.
struct OutputFromProbe {
  int top;     // 0 or less
  int bottom;  // the probe's height or more
  int probeHeight;
  bool operator==(const OutputFromProbe&) const = default;
};

// How deep other surfaces' bands reach into the output: what lies between
// the probe and the output's edges, less the strip's own band there (`own`).
EdgeDepths otherBands(const OutputFromProbe& output, EdgeDepths own);

// The bands that other layer surfaces (panels, docks) keep along the top and
// the bottom of the output, learnt where no compositor tells: an invisible
// layer surface anchored to the top, the bottom and the right, with no band
// of its own, which the compositor stretches over what every band leaves
// free; and two popups of it, never shown, asked for far above and far below
// it and slid back by the compositor into the output, where they then stand
// at its edges. The compositor configures the probe anew whenever the bands
// change its height, and the popups are asked for anew then.
class LayerBandsProbe {
 public:
  // `ownBand` tells how deep the strip's own band reaches now, as last
  // committed; `changed` hears when bands() is another.
  LayerBandsProbe(const LayerShellGlobals& globals, std::function<EdgeDepths()> ownBand,
                  std::function<void()> changed);
  ~LayerBandsProbe();
  LayerBandsProbe(const LayerBandsProbe&) = delete;
  LayerBandsProbe& operator=(const LayerBandsProbe&) = delete;

  // None until the compositor has placed both popups.
  const std::optional<EdgeDepths>& bands() const { return bands_; }
  // False once the compositor has closed the probe (its output went away).
  bool open() const { return layerSurface_ != nullptr; }

 private:
  class EdgeFinder;
  struct Listeners;
  void configure(std::uint32_t serial, int height);
  void ask();
  void answered();
  void close();

  const LayerShellGlobals& globals_;
  std::function<EdgeDepths()> ownBand_;
  std::function<void()> changed_;
  wl_surface* surface_;
  zwlr_layer_surface_v1* layerSurface_;
  std::unique_ptr<ShmBuffer> buffer_;
  std::unique_ptr<EdgeFinder> above_;
  std::unique_ptr<EdgeFinder> below_;
  EdgeDepths ownWhenAsked_{0, 0};
  int height_ = -1;  // until first configured
  std::optional<EdgeDepths> bands_;
};

}  // namespace platform
