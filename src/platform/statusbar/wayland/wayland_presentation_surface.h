#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/compositor/presentation_surface.h"
#include "platform/statusbar/screen_edge.h"
#include "platform/statusbar/wayland/strip_layer_surface.h"
#include "platform/statusbar/wayland/wayland_outputs.h"

struct wl_callback;
struct wl_display;
struct wl_registry;
struct wl_subcompositor;

namespace platform {

class FilmWindow;
class LayerBandsProbe;
class ShmBufferPool;
class SwayBarWatch;

// The status bar on a Wayland compositor with wlr-layer-shell, over a
// connection of its own: a StripLayerSurface at the right end of the
// output, beside sway's bar where sway tells of one, elsewhere beside the
// bands that a LayerBandsProbe finds, following them to the other edge, and
// made anew whenever the compositor closes it. Frames are
// drawn at the scale the compositor prefers for the surface where it tells
// (fractional scales), else at the outputs' scale, into shared-memory
// buffers, and paced by the compositor's frame callbacks. A scrolling film
// slides behind its window in a subsurface of its own, so that a frame of
// scrolling is only a new position.
class WaylandPresentationSurface final : public PresentationSurface {
 public:
  // Null when there is no Wayland display, or when it lacks the layer
  // shell, shared memory or a compositor. `edgeChosen` hears, on this
  // thread, the edge the strip stands at, first and whenever it moves.
  static std::unique_ptr<WaylandPresentationSurface> connect(std::function<void(ScreenEdge)> edgeChosen);
  ~WaylandPresentationSurface() override;
  WaylandPresentationSurface(const WaylandPresentationSurface&) = delete;
  WaylandPresentationSurface& operator=(const WaylandPresentationSurface&) = delete;

  int eventDescriptor() const override { return events_; }
  bool dispatchEvents() override;
  double devicePixelRatio() const override { return scale_; }
  bool needsRedraw() const override { return needsRedraw_; }
  bool readyForFrame() const override;
  double minimumFrameInterval() const override { return outputs_.minimumFrameInterval(); }
  void present(const QImage& frame) override;
  void presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) override;

 private:
  struct Listeners;

  explicit WaylandPresentationSurface(wl_display* display);
  bool bindGlobals();
  bool listen();
  bool handleEvents();
  void followBar();
  bool findsBands() const;
  void watchBands();
  void standAt(ScreenEdge edge);
  void forgetOutput(uint32_t name);
  void reopenIfAwaited();
  void updateScale();
  void createSurface();
  void destroySurface();
  void configured();
  void reopen(bool atOnce);
  void reopenElsewhere(bool atOnce);
  void show(const std::shared_ptr<const RetainedFrame>& frame, int offset);
  bool attachStill(const QImage& still);
  void slide(const RetainedFrame& frame, int offset);
  void requestFrame(wl_surface* surface);

  struct Disconnect {
    void operator()(wl_display* display) const;
  };
  // First, so that it goes last, after everything made over it.
  std::unique_ptr<wl_display, Disconnect> display_;
  std::unique_ptr<SwayBarWatch> swayBar_;
  std::unique_ptr<LayerBandsProbe> bands_;  // null where sway tells
  ScreenEdge edge_ = ScreenEdge::top;
  std::function<void(ScreenEdge)> edgeChosen_;
  // Readable when the display or sway has said something.
  int events_ = -1;
  wl_registry* registry_ = nullptr;
  LayerShellGlobals globals_;
  uint32_t layerShellVersion_ = 0;
  wl_subcompositor* subcompositor_ = nullptr;
  WaylandOutputs outputs_;
  std::vector<std::string> announced_;  // the interfaces of the registry's globals

  std::unique_ptr<StripLayerSurface> strip_;
  std::unique_ptr<FilmWindow> film_;
  std::unique_ptr<ShmBufferPool> stills_;
  wl_callback* frameCallback_ = nullptr;

  std::shared_ptr<const RetainedFrame> frameAwaitingConfigure_;
  int offsetAwaitingConfigure_ = 0;
  // The frame whose still the surface shows: its later steps only slide the film.
  std::shared_ptr<const RetainedFrame> shownFrame_;
  double preferredScale_ = 0.0;  // 0 until the compositor prefers one
  double scale_ = 1.0;
  bool needsRedraw_ = true;
  bool reopenOnOutputChange_ = false;
  bool lost_ = false;
};

}  // namespace platform
