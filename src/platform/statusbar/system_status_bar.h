#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/statusbar/status_item.h"

namespace platform {

// The status bar of the desktop session: an undecorated, always-on-top
// window titled "Sonvetta status bar" at the top-right corner of the primary
// screen, 22 points high, holding its items from right to left. It draws the
// items' view trees at the screen's pixel density and repaints only when a
// tree changes or while an animation in it runs.
class SystemStatusBar final : public QWidget, public StatusBar {
 public:
  static constexpr double thickness = 22.0;

  // The one bar of the session, made on first use once the QApplication
  // exists. It lives until the process ends, as the desktop's bar would.
  static SystemStatusBar& shared();

  std::shared_ptr<StatusItem> statusItem(double length) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SystemStatusBar();
  std::vector<std::shared_ptr<StatusItem>> shownItems();
  void followPrimaryScreen(QScreen* screen);
  void placeAtTopRight();

  std::vector<std::weak_ptr<StatusItem>> items_;
  QTimer nextFrame_;
  QMetaObject::Connection primaryScreenGeometry_;
};

}  // namespace platform
