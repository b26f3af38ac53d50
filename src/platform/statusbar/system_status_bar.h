#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/appearance/desktop_appearance.h"
#include "platform/compositor/compositor.h"
#include "platform/statusbar/status_bar_display.h"
#include "platform/statusbar/status_bar_window.h"
#include "platform/statusbar/status_item.h"

namespace platform {

// The status bar of the desktop session: a strip at the top-right of the
// primary screen, 22 points high, in the desktop's light or dark colours,
// holding its items from right to left. On Wayland it is a layer surface,
// on X11 a dock window. Whenever an item's view
// tree or the colours change, the main thread draws the trees' layers once
// at the surface's pixel density and commits them; the compositor thread
// shows them and plays their animations, so nothing runs on the main thread
// while an item scrolls.
class SystemStatusBar final : public QObject, public StatusBar {
 public:
  static constexpr double thickness = 22.0;

  // The session's bar on `display`, once the QApplication exists, its
  // window titled `title` for window managers; `displayLost` is called, on
  // the compositor thread, when the display can no longer be reached.
  SystemStatusBar(StatusBarDisplay display, const QString& title, std::function<void()> displayLost);

  std::shared_ptr<StatusItem> statusItem(double length) override;

  // The buttons of the items shown, each where it stands in the strip.
  std::vector<LayerTree::Placement> placements();
  // Where the strip stands on screen, in points.
  QRect geometry() const { return window_->geometry(); }

 private:
  std::vector<std::shared_ptr<StatusItem>> shownItems();
  static double widthOf(const std::vector<std::shared_ptr<StatusItem>>& items);
  // The buttons of `items`, the first at the right end, later ones to its left.
  static std::vector<LayerTree::Placement> placementsOf(const std::vector<std::shared_ptr<StatusItem>>& items);
  void commit();
  void commitAtDensity(double density);

  std::vector<std::weak_ptr<StatusItem>> items_;
  DesktopAppearance appearance_;
  std::unique_ptr<StatusBarWindow> window_;
  std::unique_ptr<Compositor> compositor_;
  // Gathers the colour and density changes of one turn of the event loop
  // into one commit.
  QTimer commitSoon_;
  double surfaceDensity_ = 0.0;  // what the compositor's surface asked for; 0 until it asks
};

}  // namespace platform
