#include "platform/wayland/wayland_layer_surface.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/wayland/band_reservation.h"
#include "platform/wayland/shm_buffer.h"
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
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
      surface.bindOutput(name, version);
    } else if (std::strcmp(interface, "org_kde_plasma_shell") == 0) {
      surface.placesPanelsItself_ = true;
    }
  }
  static void globalRemove(void* data, wl_registry*, uint32_t name) { self(data).forgetOutput(name); }

  static void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                             const char*, int32_t) {}
  static void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
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
};

std::unique_ptr<WaylandLayerSurface> WaylandLayerSurface::connect() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return nullptr;
  std::unique_ptr<WaylandLayerSurface> surface(new WaylandLayerSurface(display));
  if (!surface->bindGlobals()) return nullptr;
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
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
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

void WaylandLayerSurface::bindOutput(uint32_t name, uint32_t version) {
  auto* proxy = static_cast<wl_output*>(
      wl_registry_bind(registry_, name, &wl_output_interface, std::min(version, outputVersionKnown)));
  wl_output_add_listener(proxy, &Listeners::output, this);
  outputs_.push_back(Output{proxy, name});
  if (reopenOnNextOutput_) {
    reopenOnNextOutput_ = false;
    createSurface();
  }
}

void WaylandLayerSurface::forgetOutput(uint32_t name) {
  const auto output =
      std::find_if(outputs_.begin(), outputs_.end(), [name](const Output& each) { return each.name == name; });
  if (output == outputs_.end()) return;
  releaseOutput(output->proxy);
  outputs_.erase(output);
  updateScale();
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

// The highest scale of the outputs showing the strip, so that it is crisp on
// each; before it is shown anywhere, the highest of all.
void WaylandLayerSurface::updateScale() {
  const bool shownAnywhere =
      std::any_of(outputs_.begin(), outputs_.end(), [](const Output& output) { return output.showsSurface; });
  int scale = 1;
  for (const Output& output : outputs_) {
    if (output.showsSurface || !shownAnywhere) scale = std::max(scale, output.scale);
  }
  if (scale == scale_) return;
  scale_ = scale;
  needsRedraw_ = true;
}

void WaylandLayerSurface::createSurface() {
  // The band first, so that it is reserved before the strip is first shown.
  band_ = std::make_unique<BandReservation>(compositor_, shm_, layerShell_);
  surface_ = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(surface_, &Listeners::surface, this);
  layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(layerShell_, surface_, nullptr,
                                                        ZWLR_LAYER_SHELL_V1_LAYER_TOP, layerNamespace);
  zwlr_layer_surface_v1_add_listener(layerSurface_, &Listeners::layerSurface, this);
  zwlr_layer_surface_v1_set_anchor(layerSurface_,
                                   ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_,
                                                   ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  // Size and margin come with the first frame; until then nothing is
  // committed, as the compositor configures a layer surface on its first commit.
  requestedSize_ = QSize();
  configured_ = false;
  needsRedraw_ = true;
}

void WaylandLayerSurface::destroySurface() {
  buffers_.clear();
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
  if (!frameAwaitingConfigure_.isNull()) {
    show(frameAwaitingConfigure_);
    frameAwaitingConfigure_ = QImage();
  } else {
    // The size is ours to choose, so a later configure changes nothing
    // drawn: the acknowledgement goes out with the frame already shown.
    wl_surface_commit(surface_);
  }
}

// The compositor closes a layer surface when its output goes away. A strip
// that was shown comes back on the outputs that remain (or on the next one
// added); one closed before it was ever shown is refused, and stays closed.
void WaylandLayerSurface::surfaceClosed() {
  const bool wasShown = configured_;
  destroySurface();
  frameAwaitingConfigure_ = QImage();
  if (!wasShown) {
    lost_ = true;
  } else if (outputs_.empty()) {
    reopenOnNextOutput_ = true;
  } else {
    createSurface();
  }
}

int WaylandLayerSurface::eventDescriptor() const { return wl_display_get_fd(display_); }

bool WaylandLayerSurface::dispatchEvents() {
  if (!lost_ && !handleEvents()) lost_ = true;
  return !lost_;
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
  const QSize size = frame.deviceIndependentSize().toSize();
  if (lost_ || surface_ == nullptr || size.isEmpty()) return;
  needsRedraw_ = false;
  if (size != requestedSize_) {
    requestSize(size);
    frameAwaitingConfigure_ = frame;
  } else if (!configured_) {
    frameAwaitingConfigure_ = frame;
  } else {
    show(frame);
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
  // included, which ends the strip's height further down: it moves back up
  // by that height, to the top of its own band.
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, 0);
  zwlr_layer_surface_v1_set_margin(layerSurface_, -size.height(), 0, 0, 0);
  wl_surface_commit(surface_);
}

void WaylandLayerSurface::show(const QImage& frame) {
  // A buffer's size must be a whole multiple of its scale.
  int bufferScale = std::max(1, static_cast<int>(std::lround(frame.devicePixelRatio())));
  if (frame.width() % bufferScale != 0 || frame.height() % bufferScale != 0) bufferScale = 1;
  ShmBuffer* buffer = freeBuffer(frame.size());
  if (buffer == nullptr) {
    // Out of shared memory: this frame is lost, the next one tries again.
    needsRedraw_ = true;
    return;
  }
  buffer->fill(frame);
  wl_surface_set_buffer_scale(surface_, bufferScale);
  wl_surface_attach(surface_, buffer->wlBuffer(), 0, 0);
  if (compositorVersion_ >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
    wl_surface_damage_buffer(surface_, 0, 0, frame.width(), frame.height());
  } else {
    wl_surface_damage(surface_, 0, 0, frame.width(), frame.height());
  }
  frameCallback_ = wl_surface_frame(surface_);
  wl_callback_add_listener(frameCallback_, &Listeners::frame, this);
  wl_surface_commit(surface_);
}

// Buffers are reused once the compositor releases them; two suffice while
// frames wait for frame callbacks, a third only when the compositor holds on.
ShmBuffer* WaylandLayerSurface::freeBuffer(QSize pixelSize) {
  std::erase_if(buffers_, [pixelSize](const auto& buffer) {
    return !buffer->busy() && buffer->pixelSize() != pixelSize;
  });
  for (const auto& buffer : buffers_) {
    if (!buffer->busy() && buffer->pixelSize() == pixelSize) return buffer.get();
  }
  std::unique_ptr<ShmBuffer> buffer = ShmBuffer::create(shm_, pixelSize);
  if (buffer == nullptr) return nullptr;
  buffers_.push_back(std::move(buffer));
  return buffers_.back().get();
}

}  // namespace platform
