#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/statusbar/screen_edge.h"

struct wl_compositor;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace platform {

class ShmBuffer;

// Whether the strip reserves a band of its own on a compositor that
// announces `globals`: not where the compositor lays out the background
// layer's bands before the others' (Hyprland), which would move every
// panel's band by the strip's.
bool reservesOwnBand(std::span<const std::string> globals);

// The layer-shell anchor that holds a surface against `edge`.
std::uint32_t anchorAlong(ScreenEdge edge);

// The band along the top or the bottom of the output that the status bar
// keeps for itself: an invisible layer surface across the output's width that only
// reserves its height and lets all input through. The compositor reserves
// the bands of a layer in turn, layers nearer the viewer first, so it lives
// in the background layer, whose bands come after every panel's: its band
// starts right next to them, where the strip is then shown.
class BandReservation {
 public:
  BandReservation(wl_compositor* compositor, wl_shm* shm, zwlr_layer_shell_v1* layerShell, ScreenEdge edge);
  ~BandReservation();
  BandReservation(const BandReservation&) = delete;
  BandReservation& operator=(const BandReservation&) = delete;

  // Reserves `height` points from now on.
  void reserve(int height);
  // False once the compositor has closed the surface (its output went away).
  bool open() const { return layerSurface_ != nullptr; }
  // What it reserves now, as last committed.
  int height() const { return open() ? height_ : 0; }

 private:
  struct Listeners;
  void configure(std::uint32_t serial, int width);
  void close();

  wl_compositor* compositor_;
  wl_shm* shm_;
  wl_surface* surface_;
  zwlr_layer_surface_v1* layerSurface_;
  std::unique_ptr<ShmBuffer> buffer_;
  int height_ = 0;
};

}  // namespace platform
