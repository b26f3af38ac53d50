#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/compositor/presentation_surface.h"
#include "platform/statusbar/wayland/sway_bar.h"
#include "platform/statusbar/screen_edge.h"

struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_subcompositor;
struct wl_surface;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct wp_viewporter;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace platform {

class BandReservation;
class FilmWindow;
class ShmBufferPool;

// The status bar on a Wayland compositor with wlr-layer-shell: a layer
// surface in the top layer at the top-right corner of the output (or the
// bottom-right), as large as the frames presented to it, right next to the
// bands that panels reserve along that edge, never taking the keyboard; a
// BandReservation keeps its
// height free of windows. Frames are drawn at the scale the compositor
// prefers for the surface where it tells (fractional scales), else at the
// highest integer scale of the outputs it is shown on, into shared-memory
// buffers, and paced by the compositor's frame callbacks. A scrolling film
// slides behind its window in a subsurface of its own, so that a frame of
// scrolling is only a new position.
class WaylandLayerSurface final : public PresentationSurface {
 public:
  // A surface on the session's Wayland display, over a connection of its
  // own, at the top, or beside sway's bar where sway has one, following it
  // to the other edge. Null when there is no Wayland display, or when it
  // lacks the layer shell, shared memory or a compositor.
  static std::unique_ptr<WaylandLayerSurface> connect();
  ~WaylandLayerSurface() override;
  WaylandLayerSurface(const WaylandLayerSurface&) = delete;
  WaylandLayerSurface& operator=(const WaylandLayerSurface&) = delete;

  int eventDescriptor() const override;
  bool dispatchEvents() override;
  double devicePixelRatio() const override { return scale_; }
  bool needsRedraw() const override { return needsRedraw_; }
  bool readyForFrame() const override;
  // The refresh interval of the fastest output showing the strip: frame
  // callbacks come no sooner, so a frame waits for it without a wake-up.
  double minimumFrameInterval() const override;
  void present(const QImage& frame) override;
  void presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) override;

  // False on a compositor with Plasma's own shell (KWin), which places
  // Plasma's panels outside the layer shell: layer surfaces there do not
  // keep clear of them.
  bool keepsClearOfPanels() const { return !placesPanelsItself_; }

 private:
  struct Listeners;
  struct Output {
    wl_output* proxy;
    uint32_t name;
    int32_t scale = 1;
    int32_t pendingScale = 1;
    int32_t refreshMillihertz = 0;  // of its current mode; 0 where unknown
    bool showsSurface = false;
  };

  explicit WaylandLayerSurface(wl_display* display);
  bool bindGlobals();
  bool listen();
  bool handleEvents();
  void followBar();
  void bindOutput(uint32_t name, uint32_t version);
  void forgetOutput(uint32_t name);
  void reopenIfAwaited();
  Output* findOutput(const wl_output* proxy);
  void setShown(const wl_output* proxy, bool shown);
  void updateScale();
  void setPreferredScale(uint32_t scale);
  void createSurface();
  void destroySurface();
  void configure(uint32_t serial);
  void surfaceClosed();
  void reopen(bool atOnce);
  void requestSize(QSize size);
  void show(const std::shared_ptr<const RetainedFrame>& frame, int offset);
  bool attachStill(const QImage& still);
  void slide(const RetainedFrame& frame, int offset);
  void requestFrame(wl_surface* surface);

  wl_display* display_;
  std::unique_ptr<SwayBarChanges> barChanges_;
  ScreenEdge edge_ = ScreenEdge::top;
  // Readable when the display or sway has said something.
  int events_ = -1;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  uint32_t compositorVersion_ = 0;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  uint32_t layerShellVersion_ = 0;
  wl_subcompositor* subcompositor_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractionalScaleManager_ = nullptr;
  std::vector<Output> outputs_;

  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layerSurface_ = nullptr;
  std::unique_ptr<BandReservation> band_;
  // With fractional scales, the still's buffer is fitted to the surface's
  // size in points through this viewport rather than by a buffer scale.
  wp_viewport* viewport_ = nullptr;
  wp_fractional_scale_v1* fractionalScale_ = nullptr;
  std::unique_ptr<FilmWindow> film_;
  wl_callback* frameCallback_ = nullptr;
  std::unique_ptr<ShmBufferPool> stills_;

  QSize requestedSize_;
  bool configured_ = false;
  std::shared_ptr<const RetainedFrame> frameAwaitingConfigure_;
  int offsetAwaitingConfigure_ = 0;
  // The frame whose still the surface shows: its later steps only slide the film.
  std::shared_ptr<const RetainedFrame> shownFrame_;
  double preferredScale_ = 0.0;  // 0 until the compositor prefers one
  double scale_ = 1.0;
  bool needsRedraw_ = true;
  bool reopenOnOutputChange_ = false;
  bool lost_ = false;
  bool placesPanelsItself_ = false;
};

}  // namespace platform
