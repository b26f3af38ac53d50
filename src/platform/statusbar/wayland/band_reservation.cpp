#include "platform/statusbar/wayland/band_reservation.h"

#include <wayland-client.h>

#include <QSize>
#include <algorithm>

#include "platform/statusbar/wayland/shm_buffer.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace platform {

struct BandReservation::Listeners {
  static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width, std::uint32_t) {
    static_cast<BandReservation*>(data)->configure(serial, static_cast<int>(width));
  }
  static void closed(void* data, zwlr_layer_surface_v1*) { static_cast<BandReservation*>(data)->close(); }
  static constexpr zwlr_layer_surface_v1_listener layerSurface = {&configure, &closed};
};

bool reservesOwnBand(std::span<const std::string> globals) {
  return std::ranges::none_of(globals, [](const std::string& global) { return global.starts_with("hyprland_"); });
}

std::uint32_t anchorAlong(ScreenEdge edge) {
  return edge == ScreenEdge::bottom ? ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP;
}

BandReservation::BandReservation(wl_compositor* compositor, wl_shm* shm, zwlr_layer_shell_v1* layerShell,
                                 ScreenEdge edge)
    : compositor_(compositor),
      shm_(shm),
      surface_(wl_compositor_create_surface(compositor)),
      layerSurface_(zwlr_layer_shell_v1_get_layer_surface(layerShell, surface_, nullptr,
                                                          ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "sonvetta-band")) {
  zwlr_layer_surface_v1_add_listener(layerSurface_, &Listeners::layerSurface, this);
  // Only a surface along a whole edge reserves a band.
  zwlr_layer_surface_v1_set_anchor(
      layerSurface_, anchorAlong(edge) | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_,
                                                   ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  wl_region* nothing = wl_compositor_create_region(compositor_);
  wl_surface_set_input_region(surface_, nothing);
  wl_region_destroy(nothing);
}

BandReservation::~BandReservation() {
  close();
  wl_surface_destroy(surface_);
}

void BandReservation::reserve(int height) {
  if (layerSurface_ == nullptr || height == height_) return;
  height_ = height;
  zwlr_layer_surface_v1_set_size(layerSurface_, 0, static_cast<std::uint32_t>(height));
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, height);
  wl_surface_commit(surface_);
}

// A new shared-memory buffer is all transparent; it is never drawn into.
void BandReservation::configure(std::uint32_t serial, int width) {
  zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
  const QSize size(std::max(width, 1), std::max(height_, 1));
  if (buffer_ == nullptr || buffer_->pixelSize() != size) {
    std::unique_ptr<ShmBuffer> buffer = ShmBuffer::create(shm_, size);
    if (buffer != nullptr) buffer_ = std::move(buffer);
  }
  if (buffer_ != nullptr) {
    wl_surface_attach(surface_, buffer_->wlBuffer(), 0, 0);
    wl_surface_damage(surface_, 0, 0, size.width(), size.height());
  }
  wl_surface_commit(surface_);
}

void BandReservation::close() {
  if (layerSurface_ != nullptr) zwlr_layer_surface_v1_destroy(layerSurface_);
  layerSurface_ = nullptr;
}

}  // namespace platform
