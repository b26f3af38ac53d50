#include "platform/statusbar/wayland/layer_bands_probe.h"

#include <wayland-client.h>

#include <QImage>
#include <algorithm>

#include "platform/statusbar/wayland/shm_buffer.h"
#include "platform/statusbar/wayland/strip_layer_surface.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace platform {

namespace {

// Farther beyond the probe than any output reaches.
constexpr int farAway = 1 << 20;

}  // namespace

EdgeDepths otherBands(const OutputFromProbe& output, EdgeDepths own) {
  return {std::max(0, -output.top - own.top), std::max(0, output.bottom - output.probeHeight - own.bottom)};
}

// A popup of the probe one point high, asked for far beyond its `edge` and
// slid back into the output: the compositor then has it touch the output's
// edge. It never gets a buffer, so nothing is shown.
class LayerBandsProbe::EdgeFinder {
 public:
  EdgeFinder(const LayerShellGlobals& globals, zwlr_layer_surface_v1* probe, ScreenEdge edge,
             std::function<void()> answered)
      : edge_(edge),
        answered_(std::move(answered)),
        surface_(wl_compositor_create_surface(globals.compositor)),
        xdgSurface_(xdg_wm_base_get_xdg_surface(globals.wmBase, surface_)) {
    xdg_positioner* positioner = xdg_wm_base_create_positioner(globals.wmBase);
    xdg_positioner_set_size(positioner, 1, 1);
    xdg_positioner_set_anchor_rect(positioner, 0, 0, 1, 1);
    const bool above = edge == ScreenEdge::top;
    xdg_positioner_set_anchor(positioner, above ? XDG_POSITIONER_ANCHOR_TOP : XDG_POSITIONER_ANCHOR_BOTTOM);
    xdg_positioner_set_gravity(positioner, above ? XDG_POSITIONER_GRAVITY_TOP : XDG_POSITIONER_GRAVITY_BOTTOM);
    xdg_positioner_set_offset(positioner, 0, above ? -farAway : farAway);
    xdg_positioner_set_constraint_adjustment(positioner, XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y);
    popup_ = xdg_surface_get_popup(xdgSurface_, nullptr, positioner);
    xdg_positioner_destroy(positioner);
    zwlr_layer_surface_v1_get_popup(probe, popup_);
    xdg_surface_add_listener(xdgSurface_, &surfaceListener, this);
    xdg_popup_add_listener(popup_, &popupListener, this);
    wl_surface_commit(surface_);
  }
  ~EdgeFinder() {
    xdg_popup_destroy(popup_);
    xdg_surface_destroy(xdgSurface_);
    wl_surface_destroy(surface_);
  }
  EdgeFinder(const EdgeFinder&) = delete;
  EdgeFinder& operator=(const EdgeFinder&) = delete;

  // The output's edge, measured from the probe's top; none until the
  // compositor has placed the popup.
  const std::optional<int>& edgeAt() const { return edgeAt_; }

 private:
  static EdgeFinder& self(void* data) { return *static_cast<EdgeFinder*>(data); }
  static void placed(void* data, xdg_popup*, int32_t, int32_t y, int32_t, int32_t height) {
    self(data).placedAt_ = self(data).edge_ == ScreenEdge::top ? y : y + height;
  }
  static void done(void*, xdg_popup*) {}
  static void repositioned(void*, xdg_popup*, uint32_t) {}
  // The placement holds once the configure sequence ends here; the last
  // thing done, as the probe may replace its finders as it hears it.
  static void configure(void* data, xdg_surface* surface, uint32_t serial) {
    EdgeFinder& finder = self(data);
    xdg_surface_ack_configure(surface, serial);
    finder.edgeAt_ = finder.placedAt_;
    if (finder.edgeAt_) finder.answered_();
  }
  static constexpr xdg_surface_listener surfaceListener = {&configure};
  static constexpr xdg_popup_listener popupListener = {&placed, &done, &repositioned};

  ScreenEdge edge_;
  std::function<void()> answered_;
  wl_surface* surface_;
  xdg_surface* xdgSurface_;
  xdg_popup* popup_ = nullptr;
  std::optional<int> placedAt_;
  std::optional<int> edgeAt_;
};

struct LayerBandsProbe::Listeners {
  static void configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t height) {
    static_cast<LayerBandsProbe*>(data)->configure(serial, static_cast<int>(height));
  }
  static void closed(void* data, zwlr_layer_surface_v1*) { static_cast<LayerBandsProbe*>(data)->close(); }
  static constexpr zwlr_layer_surface_v1_listener layerSurface = {&configure, &closed};
};

LayerBandsProbe::LayerBandsProbe(const LayerShellGlobals& globals, std::function<EdgeDepths()> ownBand,
                                 std::function<void()> changed)
    : globals_(globals),
      ownBand_(std::move(ownBand)),
      changed_(std::move(changed)),
      surface_(wl_compositor_create_surface(globals.compositor)),
      // In the background layer, as the strip's own band is: it takes
      // nothing from what the panels see.
      layerSurface_(zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, surface_, nullptr,
                                                          ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "sonvetta-probe")) {
  zwlr_layer_surface_v1_add_listener(layerSurface_, &Listeners::layerSurface, this);
  zwlr_layer_surface_v1_set_anchor(layerSurface_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  // Height 0: as high as the bands leave free.
  zwlr_layer_surface_v1_set_size(layerSurface_, 1, 0);
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, 0);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  wl_region* nothing = wl_compositor_create_region(globals.compositor);
  wl_surface_set_input_region(surface_, nothing);
  wl_region_destroy(nothing);
  wl_surface_commit(surface_);
}

LayerBandsProbe::~LayerBandsProbe() {
  above_.reset();
  below_.reset();
  close();
  wl_surface_destroy(surface_);
}

// Every configure may follow bands that moved, whether or not the height
// changed (a panel moved to the other edge leaves it as it was): the
// popups are asked for anew each time. A popup's parent must be mapped
// first, by a transparent pixel.
void LayerBandsProbe::configure(uint32_t serial, int height) {
  zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
  if (buffer_ == nullptr) {
    buffer_ = ShmBuffer::create(globals_.shm, QSize(1, 1));
    if (buffer_ == nullptr) return;
    QImage transparent(1, 1, QImage::Format_ARGB32_Premultiplied);
    transparent.fill(Qt::transparent);
    buffer_->fill(transparent);
    wl_surface_attach(surface_, buffer_->wlBuffer(), 0, 0);
    wl_surface_damage(surface_, 0, 0, 1, 1);
  }
  wl_surface_commit(surface_);
  height_ = height;
  ask();
}

// What the popups answer is measured against the probe and the strip's own
// band as they are now: both are taken along.
void LayerBandsProbe::ask() {
  ownWhenAsked_ = ownBand_();
  above_.reset();
  below_.reset();
  above_ = std::make_unique<EdgeFinder>(globals_, layerSurface_, ScreenEdge::top, [this] { answered(); });
  below_ = std::make_unique<EdgeFinder>(globals_, layerSurface_, ScreenEdge::bottom, [this] { answered(); });
}

void LayerBandsProbe::answered() {
  if (!above_->edgeAt() || !below_->edgeAt()) return;
  const EdgeDepths bands = otherBands({*above_->edgeAt(), *below_->edgeAt(), height_}, ownWhenAsked_);
  if (bands_ == bands) return;
  bands_ = bands;
  changed_();
}

void LayerBandsProbe::close() {
  above_.reset();
  below_.reset();
  if (layerSurface_ != nullptr) zwlr_layer_surface_v1_destroy(layerSurface_);
  layerSurface_ = nullptr;
}

}  // namespace platform
