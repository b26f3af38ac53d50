#include "platform/statusbar/wayland/strip_layer_surface.h"

#include <wayland-client.h>

#include "fractional-scale-v1-client-protocol.h"
#include "platform/statusbar/wayland/band_reservation.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace platform {

namespace {

const char* const layerNamespace = "sonvetta";

}  // namespace

// The C callbacks of libwayland, each handing its event on.
struct StripLayerSurface::Listeners {
  static StripLayerSurface& self(void* data) { return *static_cast<StripLayerSurface*>(data); }

  static void enter(void* data, wl_surface*, wl_output* output) { self(data).events_.shownOn(output, true); }
  static void leave(void* data, wl_surface*, wl_output* output) { self(data).events_.shownOn(output, false); }
  static void configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t) {
    self(data).configure(serial);
  }
  // Held here, as the surface may be destroyed while it is heard.
  static void closed(void* data, zwlr_layer_surface_v1*) {
    const std::function<void()> closed = self(data).events_.closed;
    closed();
  }
  // In 120ths, as the protocol sends it.
  static void preferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    if (scale != 0) self(data).events_.preferredScale(scale / 120.0);
  }

  // The compositor is bound at a version that sends only these two events;
  // newer libwayland versions list more, which stay empty.
  static constexpr wl_surface_listener surface = [] {
    wl_surface_listener listener{};
    listener.enter = &enter;
    listener.leave = &leave;
    return listener;
  }();
  static constexpr zwlr_layer_surface_v1_listener layerSurface = {&configure, &closed};
  static constexpr wp_fractional_scale_v1_listener fractionalScale = {&preferredScale};
};

StripLayerSurface::StripLayerSurface(const LayerShellGlobals& globals, ScreenEdge edge, bool ownBand, Events events)
    : edge_(edge),
      events_(std::move(events)),
      band_(ownBand ? std::make_unique<BandReservation>(globals.compositor, globals.shm, globals.layerShell, edge)
                    : nullptr),
      surface_(wl_compositor_create_surface(globals.compositor)),
      layerSurface_(zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, surface_, nullptr,
                                                          ZWLR_LAYER_SHELL_V1_LAYER_TOP, layerNamespace)) {
  wl_surface_add_listener(surface_, &Listeners::surface, this);
  zwlr_layer_surface_v1_add_listener(layerSurface_, &Listeners::layerSurface, this);
  zwlr_layer_surface_v1_set_anchor(layerSurface_, anchorAlong(edge_) | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  if (globals.viewporter != nullptr && globals.fractionalScaleManager != nullptr) {
    viewport_ = wp_viewporter_get_viewport(globals.viewporter, surface_);
    fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScaleManager, surface_);
    wp_fractional_scale_v1_add_listener(fractionalScale_, &Listeners::fractionalScale, this);
  }
  // Size and margin come with the first frame; until then nothing is
  // committed, as the compositor configures a layer surface on its first commit.
}

StripLayerSurface::~StripLayerSurface() {
  if (fractionalScale_ != nullptr) wp_fractional_scale_v1_destroy(fractionalScale_);
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  zwlr_layer_surface_v1_destroy(layerSurface_);
  wl_surface_destroy(surface_);
}

void StripLayerSurface::requestSize(QSize size) {
  requestedSize_ = size;
  configured_ = false;
  if (band_ != nullptr) band_->reserve(size.height());
  zwlr_layer_surface_v1_set_size(layerSurface_, static_cast<uint32_t>(size.width()),
                                 static_cast<uint32_t>(size.height()));
  // Exclusive zone 0 keeps the strip clear of every reserved band, its own
  // included, which ends the strip's height further from the edge: it moves
  // back by that height, into its own band.
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, 0);
  const int back = band_ != nullptr ? -size.height() : 0;
  zwlr_layer_surface_v1_set_margin(layerSurface_, edge_ == ScreenEdge::top ? back : 0, 0,
                                   edge_ == ScreenEdge::bottom ? back : 0, 0);
  wl_surface_commit(surface_);
}

EdgeDepths StripLayerSurface::ownBand() const {
  const int height = band_ != nullptr ? band_->height() : 0;
  return edge_ == ScreenEdge::top ? EdgeDepths{height, 0} : EdgeDepths{0, height};
}

void StripLayerSurface::configure(uint32_t serial) {
  zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
  configured_ = true;
  events_.configured();
}

}  // namespace platform
