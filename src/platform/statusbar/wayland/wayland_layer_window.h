#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "platform/statusbar/screen_edge.h"
#include "platform/statusbar/status_bar_window.h"

namespace platform {

class SwayBarWatch;

// The status bar on a Wayland compositor with the layer shell. The main
// thread keeps no window there: the compositor thread's layer surface is
// the bar, and the compositor places it. A layer-shell client learns sizes,
// never places: the surface finds the edge that holds the panels there
// (from sway, or from the bands the compositor leaves free) and tells it
// here.
class WaylandLayerWindow final : public StatusBarWindow {
 public:
  // `needsDrawing` hears when sway's bar beside the strip changes.
  explicit WaylandLayerWindow(std::function<void()> needsDrawing);
  ~WaylandLayerWindow() override;

  void show(QSizeF size, QColor background) override;
  double devicePixelRatio() const override;
  // At the top-right (or the bottom-right) of the primary screen, its size
  // in points, at the edge the surface last told: where the compositor
  // stands it but for the bands of other surfaces along that edge.
  QRect geometry() const override;
  // Beside sway's bar, the colours sway tells.
  std::optional<QColor> panelColor() const override;
  std::function<std::unique_ptr<PresentationSurface>()> surfaceMaker() const override;

 private:
  // Where the surface stands, told from the compositor thread through the
  // main thread's event queue.
  struct EdgeTold : QObject {
    ScreenEdge edge = ScreenEdge::top;
  };

  QSizeF size_;
  std::unique_ptr<EdgeTold> edgeTold_ = std::make_unique<EdgeTold>();
  std::unique_ptr<SwayBarWatch> swayBar_;  // null outside sway
  std::unique_ptr<QSocketNotifier> swaySaid_;
};

}  // namespace platform
