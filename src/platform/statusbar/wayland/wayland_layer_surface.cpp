#include "platform/statusbar/wayland/wayland_layer_surface.h"

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
#include "platform/statusbar/wayland/shm_buffer.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace platform {
namespace {

// The newest versions whose requests and events this code knows.
constexpr uint32_t compositorVersionKnown = 4;  // wl_surface.damage_buffer
constexpr uint32_t outputVersionKnown = 3;      // wl_output.release
constexpr uint32_t layerShellVersionKnown = 4;

const char* const layerNamespace = "sonvetta";

void releaseOutput(wl_output* output) {
  if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
    wl_output_release(output);
  } else {
    wl_output_destroy(output);
  }
}

}  // namespace

// The C callbacks of libwayland, each handing its event to the surface.
struct WaylandLayerSurface::Listeners {
  static WaylandLayerSurface& self(void* data) { return *static_cast<WaylandLayerSurface*>(data); }

  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    WaylandLayerSurface& surface = self(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
      surface.compositorVersion_ = std::min(version, compositorVersionKnown);
      surface.compositor_ = static_cast<wl_compositor*>(
          wl_registry_bind(registry, name, &wl_compositor_interface, surface.compositorVersion_));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
      surface.shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
      surface.layerShellVersion_ = std::min(version, layerShellVersionKnown);
      surface.layerShell_ = static_cast<zwlr_layer_shell_v1*>(
          wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, surface.layerShellVersion_));
    } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0) {
      surface.subcompositor_ =
          static_cast<wl_subcompositor*>(wl_registry_bind(registry, name, &wl_subcompositor_interface, 1));
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
      surface.viewporter_ = static_cast<wp_viewporter*>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
      surface.fractionalScaleManager_ = static_cast<wp_fractional_scale_manager_v1*>(
          wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
      surface.bindOutput(name, version);
    } else if (std::strcmp(interface, "org_kde_plasma_shell") == 0) {
      surface.placesPanelsItself_ = true;
    }
  }
  static void globalRemove(void* data, wl_registry*, uint32_t name) { self(data).forgetOutput(name); }

  static void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                             const char*, int32_t) {}
  static void outputMode(void* data, wl_output* proxy, uint32_t flags, int32_t, int32_t, int32_t refresh) {
    Output* output = self(data).findOutput(proxy);
    if (output != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0) output->refreshMillihertz = std::max(refresh, 0);
  }
  static void outputScale(void* data, wl_output* proxy, int32_t scale) {
    if (Output* output = self(data).findOutput(proxy)) output->pendingScale = std::max(scale, 1);
  }
  static void outputDone(void* data, wl_output* proxy) {
    WaylandLayerSurface& surface = self(data);
    if (Output* output = surface.findOutput(proxy)) {
      output->scale = output->pendingScale;
      surface.updateScale();
    }
  }
  static void outputName(void*, wl_output*, const char*) {}
  static void outputDescription(void*, wl_output*, const char*) {}

  static void surfaceEnter(void* data, wl_surface*, wl_output* proxy) { self(data).setShown(proxy, true); }
  static void surfaceLeave(void* data, wl_surface*, wl_output* proxy) { self(data).setShown(proxy, false); }

  static void configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t) {
    self(data).configure(serial);
  }
  static void closed(void* data, zwlr_layer_surface_v1*) { self(data).surfaceClosed(); }

  static void preferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    self(data).setPreferredScale(scale);
  }

  static void frameDone(void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    self(data).frameCallback_ = nullptr;
  }

  static constexpr wl_registry_listener registry = {&global, &globalRemove};
  static constexpr wl_output_listener output = {&outputGeometry, &outputMode,  &outputDone,
                                                &outputScale,    &outputName, &outputDescription};
  // The compositor is bound at a version that sends only these two events;
  // newer libwayland versions list more, which stay empty.
  static constexpr wl_surface_listener surface = [] {
    wl_surface_listener listener{};
    listener.enter = &surfaceEnter;
    listener.leave = &surfaceLeave;
    return listener;
  }();
  static constexpr zwlr_layer_surface_v1_listener layerSurface = {&configure, &closed};
  static constexpr wl_callback_listener frame = {&frameDone};
  static constexpr wp_fractional_scale_v1_listener fractionalScale = {&preferredScale};
};

std::unique_ptr<WaylandLayerSurface> WaylandLayerSurface::connect() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return nullptr;
  std::unique_ptr<WaylandLayerSurface> surface(new WaylandLayerSurface(display));
  // Listening before asking, so that a bar moved in between is not missed.
  surface->barChanges_ = SwayBarChanges::subscribe();
  surface->edge_ = stripEdgeBesideSwayBar();
  if (!surface->bindGlobals() || !surface->listen()) return nullptr;
  return surface;
}

WaylandLayerSurface::WaylandLayerSurface(wl_display* display) : display_(display) {}

WaylandLayerSurface::~WaylandLayerSurface() {
  destroySurface();
  for (const Output& output : outputs_) releaseOutput(output.proxy);
  if (layerShell_ != nullptr) {
    if (layerShellVersion_ >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
      zwlr_layer_shell_v1_destroy(layerShell_);
    } else {
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
    }
  }
  if (fractionalScaleManager_ != nullptr) wp_fractional_scale_manager_v1_destroy(fractionalScaleManager_);
  if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
  if (subcompositor_ != nullptr) wl_subcompositor_destroy(subcompositor_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
  if (events_ >= 0) close(events_);
}

bool WaylandLayerSurface::bindGlobals() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &Listeners::registry, this);
  // The first round trip announces the globals, the second the outputs' scales.
  if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) return false;
  if (compositor_ == nullptr || shm_ == nullptr || layerShell_ == nullptr) return false;
  createSurface();
  return wl_display_flush(display_) >= 0;
}

// One descriptor for the compositor thread to wait on, for the display and
// sway alike.
bool WaylandLayerSurface::listen() {
  events_ = epoll_create1(EPOLL_CLOEXEC);
  const auto add = [this](int descriptor) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = descriptor;
    return epoll_ctl(events_, EPOLL_CTL_ADD, descriptor, &event) == 0;
  };
  return events_ >= 0 && add(wl_display_get_fd(display_)) && (!barChanges_ || add(barChanges_->descriptor()));
}

void WaylandLayerSurface::bindOutput(uint32_t name, uint32_t version) {
  auto* proxy = static_cast<wl_output*>(
      wl_registry_bind(registry_, name, &wl_output_interface, std::min(version, outputVersionKnown)));
  wl_output_add_listener(proxy, &Listeners::output, this);
  outputs_.push_back(Output{proxy, name});
  reopenIfAwaited();
}

void WaylandLayerSurface::forgetOutput(uint32_t name) {
  const auto output =
      std::find_if(outputs_.begin(), outputs_.end(), [name](const Output& each) { return each.name == name; });
  if (output == outputs_.end()) return;
  const bool showedSurface = output->showsSurface;
  releaseOutput(output->proxy);
  outputs_.erase(output);
  // sway 1.10 neither closes a layer surface whose output goes nor says on
  // which output it stands, and puts it on no output that comes later: a
  // surface that may have stood on the output goes too, and comes back.
  const bool shownElsewhere =
      std::any_of(outputs_.begin(), outputs_.end(), [](const Output& each) { return each.showsSurface; });
  if (surface_ != nullptr && (showedSurface || !shownElsewhere)) reopen(true);
  updateScale();
  reopenIfAwaited();
}

// A surface closed while the compositor had no output for it comes back as
// soon as the outputs change and one is there: the one it was on may have
// been the last to go, or not yet gone from the list.
void WaylandLayerSurface::reopenIfAwaited() {
  if (!reopenOnOutputChange_ || outputs_.empty()) return;
  reopenOnOutputChange_ = false;
  createSurface();
}

WaylandLayerSurface::Output* WaylandLayerSurface::findOutput(const wl_output* proxy) {
  const auto output =
      std::find_if(outputs_.begin(), outputs_.end(), [proxy](const Output& each) { return each.proxy == proxy; });
  return output == outputs_.end() ? nullptr : &*output;
}

void WaylandLayerSurface::setShown(const wl_output* proxy, bool shown) {
  if (Output* output = findOutput(proxy)) {
    output->showsSurface = shown;
    updateScale();
  }
}

double WaylandLayerSurface::minimumFrameInterval() const {
  const bool shownAnywhere =
      std::any_of(outputs_.begin(), outputs_.end(), [](const Output& output) { return output.showsSurface; });
  int32_t fastest = 0;
  for (const Output& output : outputs_) {
    if (output.showsSurface || !shownAnywhere) fastest = std::max(fastest, output.refreshMillihertz);
  }
  return fastest > 0 ? 1000.0 / fastest : 0.0;
}

// The scale the compositor prefers for the strip where it says; else the
// highest scale of the outputs showing the strip, so that it is crisp on
// each, and before it is shown anywhere the highest of all.
void WaylandLayerSurface::updateScale() {
  const bool shownAnywhere =
      std::any_of(outputs_.begin(), outputs_.end(), [](const Output& output) { return output.showsSurface; });
  int outputScale = 1;
  for (const Output& output : outputs_) {
    if (output.showsSurface || !shownAnywhere) outputScale = std::max(outputScale, output.scale);
  }
  const double scale = preferredScale_ > 0.0 ? preferredScale_ : outputScale;
  if (scale == scale_) return;
  scale_ = scale;
  needsRedraw_ = true;
}

// In 120ths, as the protocol sends it.
void WaylandLayerSurface::setPreferredScale(uint32_t scale) {
  if (scale == 0) return;
  preferredScale_ = scale / 120.0;
  updateScale();
}

void WaylandLayerSurface::createSurface() {
  // The band first, so that it is reserved before the strip is first shown.
  band_ = std::make_unique<BandReservation>(compositor_, shm_, layerShell_, edge_);
  surface_ = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(surface_, &Listeners::surface, this);
  layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(layerShell_, surface_, nullptr,
                                                        ZWLR_LAYER_SHELL_V1_LAYER_TOP, layerNamespace);
  zwlr_layer_surface_v1_add_listener(layerSurface_, &Listeners::layerSurface, this);
  zwlr_layer_surface_v1_set_anchor(layerSurface_, anchorAlong(edge_) | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_,
                                                   ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  stills_ = std::make_unique<ShmBufferPool>(shm_);
  if (viewporter_ != nullptr && fractionalScaleManager_ != nullptr) {
    viewport_ = wp_viewporter_get_viewport(viewporter_, surface_);
    fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalScaleManager_, surface_);
    wp_fractional_scale_v1_add_listener(fractionalScale_, &Listeners::fractionalScale, this);
  }
  // Size and margin come with the first frame; until then nothing is
  // committed, as the compositor configures a layer surface on its first commit.
  requestedSize_ = QSize();
  configured_ = false;
  needsRedraw_ = true;
}

void WaylandLayerSurface::destroySurface() {
  shownFrame_.reset();
  film_.reset();
  if (fractionalScale_ != nullptr) wp_fractional_scale_v1_destroy(fractionalScale_);
  fractionalScale_ = nullptr;
  if (viewport_ != nullptr) wp_viewport_destroy(viewport_);
  viewport_ = nullptr;
  stills_.reset();
  if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
  frameCallback_ = nullptr;
  if (layerSurface_ != nullptr) zwlr_layer_surface_v1_destroy(layerSurface_);
  layerSurface_ = nullptr;
  if (surface_ != nullptr) wl_surface_destroy(surface_);
  surface_ = nullptr;
  band_.reset();
  for (Output& output : outputs_) output.showsSurface = false;
}

void WaylandLayerSurface::configure(uint32_t serial) {
  zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
  configured_ = true;
  if (frameAwaitingConfigure_ != nullptr) {
    show(frameAwaitingConfigure_, offsetAwaitingConfigure_);
    frameAwaitingConfigure_.reset();
  } else {
    // The size is ours to choose, so a later configure changes nothing
    // drawn: the acknowledgement goes out with the frame already shown.
    wl_surface_commit(surface_);
  }
}

// The compositor closes a layer surface when its output goes away. A strip
// that was shown comes back at once on the outputs that remain; one closed
// before it was ever shown, as when the compositor had no output left to
// put it on, comes back when the outputs next change. Either way the strip
// outlives any number of outputs coming and going.
void WaylandLayerSurface::surfaceClosed() { reopen(configured_); }

// Made anew at once where `atOnce` and an output is there, else when the
// outputs next change.
void WaylandLayerSurface::reopen(bool atOnce) {
  destroySurface();
  frameAwaitingConfigure_.reset();
  if (atOnce && !outputs_.empty()) {
    createSurface();
  } else {
    reopenOnOutputChange_ = true;
  }
}

int WaylandLayerSurface::eventDescriptor() const { return events_; }

bool WaylandLayerSurface::dispatchEvents() {
  if (!lost_ && barChanges_ && barChanges_->barsChanged()) followBar();
  if (!lost_ && !handleEvents()) lost_ = true;
  return !lost_;
}

// A bar moved to the other edge takes the strip, and its band, along.
void WaylandLayerSurface::followBar() {
  const ScreenEdge edge = stripEdgeBesideSwayBar();
  if (edge == edge_) return;
  edge_ = edge;
  if (surface_ != nullptr) reopen(true);
}

// Reads what has arrived without waiting for more, and sends what is queued.
bool WaylandLayerSurface::handleEvents() {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) return false;
  }
  pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
  if (poll(&readable, 1, 0) > 0) {
    if (wl_display_read_events(display_) < 0) return false;
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) return false;
  return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

bool WaylandLayerSurface::readyForFrame() const {
  if (lost_ || surface_ == nullptr || frameCallback_ != nullptr) return false;
  return configured_ || requestedSize_.isEmpty();
}

void WaylandLayerSurface::present(const QImage& frame) {
  presentRetained(std::make_shared<const RetainedFrame>(RetainedFrame{frame, QRect(), QImage()}), 0);
}

void WaylandLayerSurface::presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  const QSize size = frame->still.deviceIndependentSize().toSize();
  if (lost_ || surface_ == nullptr || size.isEmpty()) return;
  const bool stillShown = frame == shownFrame_ && !needsRedraw_;
  needsRedraw_ = false;
  if (size != requestedSize_ || !configured_) {
    if (size != requestedSize_) requestSize(size);
    frameAwaitingConfigure_ = frame;
    offsetAwaitingConfigure_ = offset;
  } else if (stillShown && film_ != nullptr && film_->showsFilm()) {
    slide(*frame, offset);
  } else {
    show(frame, offset);
  }
  wl_display_flush(display_);
}

// A new size is asked for with a commit without a buffer; the frame follows
// once the compositor has configured the surface for it.
void WaylandLayerSurface::requestSize(QSize size) {
  requestedSize_ = size;
  configured_ = false;
  band_->reserve(size.height());
  zwlr_layer_surface_v1_set_size(layerSurface_, static_cast<uint32_t>(size.width()),
                                 static_cast<uint32_t>(size.height()));
  // Exclusive zone 0 keeps the strip clear of every reserved band, its own
  // included, which ends the strip's height further from the edge: it moves
  // back by that height, into its own band.
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, 0);
  const int back = -size.height();
  zwlr_layer_surface_v1_set_margin(layerSurface_, edge_ == ScreenEdge::top ? back : 0, 0,
                                   edge_ == ScreenEdge::bottom ? back : 0, 0);
  wl_surface_commit(surface_);
}

// The still goes to the strip's surface, and the film, where there is one
// and the window can stand on the subsurface, with it in the same commit;
// elsewhere the film is painted into the still at the offset.
void WaylandLayerSurface::show(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  shownFrame_.reset();
  // Made only once the surface is configured: sway follows the subsurfaces
  // of a layer surface made after its first commit, and no others.
  if (film_ == nullptr && viewporter_ != nullptr && subcompositor_ != nullptr) {
    film_ = std::make_unique<FilmWindow>(compositor_, subcompositor_, viewporter_, shm_, surface_);
  }
  const bool filmed = film_ != nullptr && FilmWindow::fits(*frame);
  const bool filmChanges = filmed || (film_ != nullptr && film_->showsFilm());
  if (filmChanges && !film_->showWithParent(filmed ? frame.get() : nullptr, offset)) needsRedraw_ = true;
  if (!attachStill(filmed || frame->window.isEmpty() ? frame->still : frame->shownAt(offset))) {
    // Out of shared memory: this frame is lost, the next one tries again.
    needsRedraw_ = true;
    return;
  }
  requestFrame(surface_);
  wl_surface_commit(surface_);
  if (filmChanges) film_->goOnAlone();
  shownFrame_ = frame;
}

bool WaylandLayerSurface::attachStill(const QImage& still) {
  ShmBuffer* buffer = stills_->freeBuffer(still.size());
  if (buffer == nullptr) return false;
  buffer->fill(still);
  if (viewport_ != nullptr) {
    // Drawn at the preferred scale, whole or not, one pixel to a pixel.
    const QSize size = still.deviceIndependentSize().toSize();
    wp_viewport_set_destination(viewport_, size.width(), size.height());
  } else {
    // A buffer's size must be a whole multiple of its scale.
    int bufferScale = std::max(1, static_cast<int>(std::lround(still.devicePixelRatio())));
    if (still.width() % bufferScale != 0 || still.height() % bufferScale != 0) bufferScale = 1;
    wl_surface_set_buffer_scale(surface_, bufferScale);
  }
  wl_surface_attach(surface_, buffer->wlBuffer(), 0, 0);
  if (compositorVersion_ >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(surface_, 0, 0, still.width(), still.height());
  } else {
    wl_surface_damage(surface_, 0, 0, still.width(), still.height());
  }
  return true;
}

// A step of the scroll: the film slides, the still stays as it is.
void WaylandLayerSurface::slide(const RetainedFrame& frame, int offset) {
  if (!film_->slideTo(frame, offset)) {
    needsRedraw_ = true;
    return;
  }
  requestFrame(film_->surface());
  wl_surface_commit(film_->surface());
}

// One frame callback at a time: readyForFrame() waits for it, whichever
// surface the last commit was on.
void WaylandLayerSurface::requestFrame(wl_surface* surface) {
  if (frameCallback_ != nullptr) wl_callback_destroy(frameCallback_);
  frameCallback_ = wl_surface_frame(surface);
  wl_callback_add_listener(frameCallback_, &Listeners::frame, this);
}

}  // namespace platform
