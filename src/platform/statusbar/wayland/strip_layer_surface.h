#pragma once

#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/statusbar/screen_edge.h"

struct wl_compositor;
struct wl_output;
struct wl_shm;
struct wl_surface;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct wp_viewporter;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace platform {

class BandReservation;

// What the strip's surfaces are made with; the optional ones may be null.
struct LayerShellGlobals {
  wl_compositor* compositor = nullptr;
  std::uint32_t compositorVersion = 0;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layerShell = nullptr;
  wp_viewporter* viewporter = nullptr;
  wp_fractional_scale_manager_v1* fractionalScaleManager = nullptr;
  xdg_wm_base* wmBase = nullptr;
};

// One life of the strip's layer surface, from its making until the
// compositor closes it or the strip moves to the other edge: a surface in
// the top layer at the right end of `edge`, never taking the keyboard, its
// band kept free of windows, where it has one (`ownBand`), by a
// BandReservation made first, so that the band is reserved before the strip
// is first shown. It is configured anew
// for every size asked for; with fractional scales, its buffers are fitted
// to its size in points through a viewport.
class StripLayerSurface {
 public:
  struct Events {
    std::function<void()> configured;
    // The compositor has closed it; it may be destroyed from here.
    std::function<void()> closed;
    std::function<void(const wl_output*, bool shown)> shownOn;
    std::function<void(double scale)> preferredScale;
  };

  StripLayerSurface(const LayerShellGlobals& globals, ScreenEdge edge, bool ownBand, Events events);
  ~StripLayerSurface();
  StripLayerSurface(const StripLayerSurface&) = delete;
  StripLayerSurface& operator=(const StripLayerSurface&) = delete;

  // Asks for `size`, in points, with a commit without a buffer, and
  // reserves as much along the edge; configured() is false until the
  // compositor has configured the surface for it.
  void requestSize(QSize size);
  QSize requestedSize() const { return requestedSize_; }
  bool configured() const { return configured_; }

  // How deep its own band reaches along each edge, as last committed.
  EdgeDepths ownBand() const;

  wl_surface* surface() const { return surface_; }
  // Null without fractional scales.
  wp_viewport* viewport() const { return viewport_; }

 private:
  struct Listeners;
  void configure(std::uint32_t serial);

  ScreenEdge edge_;
  Events events_;
  std::unique_ptr<BandReservation> band_;  // null without a band of its own
  wl_surface* surface_;
  zwlr_layer_surface_v1* layerSurface_;
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractionalScale_ = nullptr;
  QSize requestedSize_;
  bool configured_ = false;
};

}  // namespace platform
