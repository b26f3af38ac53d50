#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

#include "platform/appearance/desktop_appearance.h"
#include "platform/compositor/compositor.h"
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

  // The one bar of the session, made on first use once the QApplication
  // exists, its window titled `title` for window managers and screen
  // readers alike. It lives until the process ends, as the desktop's bar
  // would, so later calls get it with its first title.
  static SystemStatusBar& shared(const QString& title);

  std::shared_ptr<StatusItem> statusItem(double length) override;

 private:
  explicit SystemStatusBar(const QString& title);
  std::vector<std::shared_ptr<StatusItem>> shownItems();
  static double widthOf(const std::vector<std::shared_ptr<StatusItem>>& items);
  // The buttons of `items`, the first at the right end, later ones to its left.
  static std::vector<LayerTree::Placement> placements(const std::vector<std::shared_ptr<StatusItem>>& items);
  // Where the strip stands on screen, in points.
  QRect geometry();
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
