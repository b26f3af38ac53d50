#pragma once

#include "platform/appearance/sway_bar_color.h"
#include "platform/statusbar/status_bar_window.h"

namespace platform {

// The status bar on a Wayland compositor with the layer shell. The main
// thread keeps no window there: the compositor thread's layer surface is
// the bar, and the compositor places it.
class LayerShellWindow final : public StatusBarWindow {
 public:
  void show(QSizeF size, QColor background) override;
  double devicePixelRatio() const override;
  // At the top-right of the primary screen, its size in points: where the
  // compositor stands it unless a panel is there.
  QRect geometry() const override;
  // Below sway's bar, the colours sway tells.
  std::optional<QColor> panelColor() const override { return swayTopBarBackground(); }
  std::function<std::unique_ptr<PresentationSurface>()> surfaceMaker() const override;

 private:
  QSizeF size_;
};

}  // namespace platform
