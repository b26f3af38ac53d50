#include "platform/statusbar/wayland/wayland_presentation_surface.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "platform/statusbar/wayland/band_reservation.h"
#include "platform/statusbar/wayland/film_window.h"
#include "platform/statusbar/wayland/layer_bands_probe.h"
#include "platform/statusbar/wayland/shm_buffer.h"
#include "platform/statusbar/wayland/sway_bar.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace platform {
namespace {

// The newest versions whose requests and events this code knows.
constexpr uint32_t compositorVersionKnown = 4;  // wl_surface.damage_buffer
constexpr uint32_t layerShellVersionKnown = 4;

template <typename Proxy>
Proxy* bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t version) {
  return static_cast<Proxy*>(wl_registry_bind(registry, name, &interface, version));
}

}  // namespace

// The C callbacks of libwayland, each handing its event to the surface.
struct WaylandPresentationSurface::Listeners {
  static WaylandPresentationSurface& self(void* data) { return *static_cast<WaylandPresentationSurface*>(data); }

  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    WaylandPresentationSurface& surface = self(data);
    LayerShellGlobals& globals = surface.globals_;
    surface.announced_.emplace_back(interface);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
      globals.compositorVersion = std::min(version, compositorVersionKnown);
      globals.compositor = bind<wl_compositor>(registry, name, wl_compositor_interface, globals.compositorVersion);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
      globals.shm = bind<wl_shm>(registry, name, wl_shm_interface, 1);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
      surface.layerShellVersion_ = std::min(version, layerShellVersionKnown);
      globals.layerShell =
          bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, surface.layerShellVersion_);
    } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0) {
      surface.subcompositor_ = bind<wl_subcompositor>(registry, name, wl_subcompositor_interface, 1);
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
      globals.viewporter = bind<wp_viewporter>(registry, name, wp_viewporter_interface, 1);
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
      globals.fractionalScaleManager =
          bind<wp_fractional_scale_manager_v1>(registry, name, wp_fractional_scale_manager_v1_interface, 1);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
      globals.wmBase = bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, 1);
      xdg_wm_base_add_listener(globals.wmBase, &wmBase, &surface);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
      surface.outputs_.bind(registry, name, version);
      surface.reopenIfAwaited();
    }
  }
  static void globalRemove(void* data, wl_registry*, uint32_t name) { self(data).forgetOutput(name); }

  static void frameDone(void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    self(data).frameCallback_ = nullptr;
  }

  // A client that does not answer is taken for hung.
  static void ping(void*, xdg_wm_base* wmBase, uint32_t serial) { xdg_wm_base_pong(wmBase, serial); }

  static constexpr wl_registry_listener registry = {&global, &globalRemove};
  static constexpr xdg_wm_base_listener wmBase = {&ping};
  static constexpr wl_callback_listener frame = {&frameDone};
};

std::unique_ptr<WaylandPresentationSurface> WaylandPresentationSurface::connect(
    std::function<void(ScreenEdge)> edgeChosen) {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return nullptr;
  std::unique_ptr<WaylandPresentationSurface> surface(new WaylandPresentationSurface(display));
  surface->swayBar_ = SwayBarWatch::start();
  if (surface->swayBar_ != nullptr) surface->edge_ = surface->swayBar_->stripEdge();
  if (!surface->bindGlobals() || !surface->listen()) return nullptr;
  surface->edgeChosen_ = std::move(edgeChosen);
  surface->edgeChosen_(surface->edge_);
  return surface;
}

WaylandPresentationSurface::WaylandPresentationSurface(wl_display* display)
    : display_(display), outputs_([this] { updateScale(); }) {}

WaylandPresentationSurface::~WaylandPresentationSurface() {
  destroySurface();
  bands_.reset();
  if (globals_.wmBase != nullptr) xdg_wm_base_destroy(globals_.wmBase);
  if (globals_.layerShell != nullptr) {
    if (layerShellVersion_ >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
      zwlr_layer_shell_v1_destroy(globals_.layerShell);
    } else {
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals_.layerShell));
    }
  }
  if (globals_.fractionalScaleManager != nullptr) wp_fractional_scale_manager_v1_destroy(globals_.fractionalScaleManager);
  if (globals_.viewporter != nullptr) wp_viewporter_destroy(globals_.viewporter);
  if (subcompositor_ != nullptr) wl_subcompositor_destroy(subcompositor_);
  if (globals_.shm != nullptr) wl_shm_destroy(globals_.shm);
  if (globals_.compositor != nullptr) wl_compositor_destroy(globals_.compositor);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  if (events_ >= 0) close(events_);
}

void WaylandPresentationSurface::Disconnect::operator()(wl_display* display) const {
  wl_display_flush(display);
  wl_display_disconnect(display);
}

bool WaylandPresentationSurface::bindGlobals() {
  registry_ = wl_display_get_registry(display_.get());
  wl_registry_add_listener(registry_, &Listeners::registry, this);
  // The first round trip announces the globals, the second the outputs' scales.
  if (wl_display_roundtrip(display_.get()) < 0 || wl_display_roundtrip(display_.get()) < 0) return false;
  if (globals_.compositor == nullptr || globals_.shm == nullptr || globals_.layerShell == nullptr) return false;
  if (findsBands()) {
    // The strip shows up at the edge it stays at where the compositor
    // answers within a few round trips, else it moves there once it does.
    watchBands();
    for (int trip = 0; trip < 3 && !bands_->bands(); ++trip) {
      if (wl_display_roundtrip(display_.get()) < 0) return false;
    }
  }
  createSurface();
  return wl_display_flush(display_.get()) >= 0;
}

// One descriptor for the compositor thread to wait on, for the display and
// sway alike.
bool WaylandPresentationSurface::listen() {
  events_ = epoll_create1(EPOLL_CLOEXEC);
  const auto add = [this](int descriptor) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = descriptor;
    return epoll_ctl(events_, EPOLL_CTL_ADD, descriptor, &event) == 0;
  };
  return events_ >= 0 && add(wl_display_get_fd(display_.get())) && (!swayBar_ || add(swayBar_->descriptor()));
}

void WaylandPresentationSurface::forgetOutput(uint32_t name) {
  const std::optional<bool> showedSurface = outputs_.forget(name);
  if (!showedSurface) return;
  // sway 1.10 neither closes a layer surface whose output goes nor says on
  // which output it stands, and puts it on no output that comes later: a
  // surface that may have stood on the output goes too, and comes back.
  if (strip_ != nullptr && (*showedSurface || !outputs_.surfaceShown())) reopenElsewhere(true);
  updateScale();
  reopenIfAwaited();
}

// A surface closed while the compositor had no output for it comes back as
// soon as the outputs change and one is there: the one it was on may have
// been the last to go, or not yet gone from the list.
void WaylandPresentationSurface::reopenIfAwaited() {
  if (!reopenOnOutputChange_ || outputs_.empty()) return;
  reopenOnOutputChange_ = false;
  createSurface();
}

// The scale the compositor prefers for the strip where it says; else the
// outputs' scale.
void WaylandPresentationSurface::updateScale() {
  const double scale = preferredScale_ > 0.0 ? preferredScale_ : outputs_.scale();
  if (scale == scale_) return;
  scale_ = scale;
  needsRedraw_ = true;
}

void WaylandPresentationSurface::createSurface() {
  if (findsBands() && (bands_ == nullptr || !bands_->open())) watchBands();
  strip_ = std::make_unique<StripLayerSurface>(
      globals_, edge_, reservesOwnBand(announced_),
      StripLayerSurface::Events{
          .configured = [this] { configured(); },
          // The compositor closes a layer surface when its output goes away.
          // A strip that was shown comes back at once on the outputs that
          // remain; one closed before it was ever shown, as when the
          // compositor had no output left to put it on, comes back when the
          // outputs next change. Either way the strip outlives any number of
          // outputs coming and going.
          .closed = [this] { reopenElsewhere(strip_->configured()); },
          .shownOn =
              [this](const wl_output* output, bool shown) {
                outputs_.setShown(output, shown);
                updateScale();
              },
          .preferredScale =
              [this](double scale) {
                preferredScale_ = scale;
                updateScale();
              },
      });
  stills_ = std::make_unique<ShmBufferPool>(globals_.shm);
  needsRedraw_ = true;
}

void WaylandPresentationSurface::destroySurface() {
  shownFrame_.reset();
  film_.reset();
  stills_.reset();
  if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
  frameCallback_ = nullptr;
  strip_.reset();
  outputs_.hideSurface();
}

void WaylandPresentationSurface::configured() {
  if (frameAwaitingConfigure_ != nullptr) {
    show(frameAwaitingConfigure_, offsetAwaitingConfigure_);
    frameAwaitingConfigure_.reset();
  } else {
    // The size is ours to choose, so a later configure changes nothing
    // drawn: the acknowledgement goes out with the frame already shown.
    wl_surface_commit(strip_->surface());
  }
}

// Made anew at once where `atOnce` and an output is there, else when the
// outputs next change.
void WaylandPresentationSurface::reopen(bool atOnce) {
  destroySurface();
  frameAwaitingConfigure_.reset();
  if (atOnce && !outputs_.empty()) {
    createSurface();
  } else {
    reopenOnOutputChange_ = true;
  }
}

bool WaylandPresentationSurface::dispatchEvents() {
  if (!lost_ && swayBar_ && swayBar_->update()) followBar();
  if (!lost_ && !handleEvents()) lost_ = true;
  return !lost_;
}

void WaylandPresentationSurface::followBar() { standAt(swayBar_->stripEdge()); }

// A strip whose output went comes back on another, whose bands are asked
// about anew: the probe goes too, as the compositor may keep it on none
// (sway 1.10).
void WaylandPresentationSurface::reopenElsewhere(bool atOnce) {
  bands_.reset();
  reopen(atOnce);
}

bool WaylandPresentationSurface::findsBands() const { return swayBar_ == nullptr && globals_.wmBase != nullptr; }

void WaylandPresentationSurface::watchBands() {
  bands_ = std::make_unique<LayerBandsProbe>(
      globals_, [this] { return strip_ != nullptr ? strip_->ownBand() : EdgeDepths{0, 0}; },
      [this] { standAt(edgeBeside(*bands_->bands())); });
}

// A bar or bands moved to the other edge take the strip, and its band, along.
void WaylandPresentationSurface::standAt(ScreenEdge edge) {
  if (edge == edge_) return;
  edge_ = edge;
  if (edgeChosen_) edgeChosen_(edge);
  if (strip_ != nullptr) reopen(true);
}

// Reads what has arrived without waiting for more, and sends what is queued.
bool WaylandPresentationSurface::handleEvents() {
  while (wl_display_prepare_read(display_.get()) != 0) {
    if (wl_display_dispatch_pending(display_.get()) < 0) return false;
  }
  pollfd readable{wl_display_get_fd(display_.get()), POLLIN, 0};
  if (poll(&readable, 1, 0) > 0) {
    if (wl_display_read_events(display_.get()) < 0) return false;
  } else {
    wl_display_cancel_read(display_.get());
  }
  if (wl_display_dispatch_pending(display_.get()) < 0) return false;
  return wl_display_flush(display_.get()) >= 0 || errno == EAGAIN;
}

bool WaylandPresentationSurface::readyForFrame() const {
  if (lost_ || strip_ == nullptr || frameCallback_ != nullptr) return false;
  return strip_->configured() || strip_->requestedSize().isEmpty();
}

void WaylandPresentationSurface::present(const QImage& frame) {
  presentRetained(std::make_shared<const RetainedFrame>(RetainedFrame{frame, QRect(), QImage()}), 0);
}

void WaylandPresentationSurface::presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  const QSize size = frame->still.deviceIndependentSize().toSize();
  if (lost_ || strip_ == nullptr || size.isEmpty()) return;
  const bool stillShown = frame == shownFrame_ && !needsRedraw_;
  needsRedraw_ = false;
  if (size != strip_->requestedSize() || !strip_->configured()) {
    // A new size is asked for first; the frame follows once the compositor
    // has configured the surface for it.
    if (size != strip_->requestedSize()) strip_->requestSize(size);
    frameAwaitingConfigure_ = frame;
    offsetAwaitingConfigure_ = offset;
  } else if (stillShown && film_ != nullptr && film_->showsFilm()) {
    slide(*frame, offset);
  } else {
    show(frame, offset);
  }
  wl_display_flush(display_.get());
}

// The still goes to the strip's surface, and the film, where there is one
// and the window can stand on the subsurface, with it in the same commit;
// elsewhere the film is painted into the still at the offset.
void WaylandPresentationSurface::show(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  shownFrame_.reset();
  // Made only once the surface is configured: sway follows the subsurfaces
  // of a layer surface made after its first commit, and no others.
  if (film_ == nullptr && globals_.viewporter != nullptr && subcompositor_ != nullptr) {
    film_ = std::make_unique<FilmWindow>(globals_.compositor, subcompositor_, globals_.viewporter, globals_.shm,
                                         strip_->surface());
  }
  const bool filmed = film_ != nullptr && FilmWindow::fits(*frame);
  const bool filmChanges = filmed || (film_ != nullptr && film_->showsFilm());
  if (filmChanges && !film_->showWithParent(filmed ? frame.get() : nullptr, offset)) needsRedraw_ = true;
  if (!attachStill(filmed || frame->window.isEmpty() ? frame->still : frame->shownAt(offset))) {
    // Out of shared memory: this frame is lost, the next one tries again.
    needsRedraw_ = true;
    return;
  }
  requestFrame(strip_->surface());
  wl_surface_commit(strip_->surface());
  if (filmChanges) film_->goOnAlone();
  shownFrame_ = frame;
}

bool WaylandPresentationSurface::attachStill(const QImage& still) {
  ShmBuffer* buffer = stills_->freeBuffer(still.size());
  if (buffer == nullptr) return false;
  buffer->fill(still);
  wl_surface* surface = strip_->surface();
  if (strip_->viewport() != nullptr) {
    // Drawn at the preferred scale, whole or not, one pixel to a pixel.
    const QSize size = still.deviceIndependentSize().toSize();
    wp_viewport_set_destination(strip_->viewport(), size.width(), size.height());
  } else {
    // A buffer's size must be a whole multiple of its scale.
    int bufferScale = std::max(1, static_cast<int>(std::lround(still.devicePixelRatio())));
    if (still.width() % bufferScale != 0 || still.height() % bufferScale != 0) bufferScale = 1;
    wl_surface_set_buffer_scale(surface, bufferScale);
  }
  wl_surface_attach(surface, buffer->wlBuffer(), 0, 0);
  if (globals_.compositorVersion >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(surface, 0, 0, still.width(), still.height());
  } else {
    wl_surface_damage(surface, 0, 0, still.width(), still.height());
  }
  return true;
}

// A step of the scroll: the film slides, the still stays as it is.
void WaylandPresentationSurface::slide(const RetainedFrame& frame, int offset) {
  if (!film_->slideTo(frame, offset)) {
    needsRedraw_ = true;
    return;
  }
  requestFrame(film_->surface());
  wl_surface_commit(film_->surface());
}

// One frame callback at a time: readyForFrame() waits for it, whichever
// surface the last commit was on.
void WaylandPresentationSurface::requestFrame(wl_surface* surface) {
  if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
  frameCallback_ = wl_surface_frame(surface);
  wl_callback_add_listener(frameCallback_, &Listeners::frame, this);
}

}  // namespace platform
