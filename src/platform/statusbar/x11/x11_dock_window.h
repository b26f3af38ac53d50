#pragma once

#include <QAbstractNativeEventFilter>
#include <QColor>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/statusbar/status_bar_window.h"
#include "platform/statusbar/x11/cover_watch.h"
#include "platform/statusbar/x11/x11_panel_color.h"

struct xcb_connection_t;

namespace platform {

// The status bar's window on an X11 desktop, kept by the main thread: a dock
// on every workspace, never focused, absent from task lists and pagers, at
// the right end of the primary screen directly below the panels along its
// top, or above those along its bottom where it has none at the top,
// reserving its band at that edge so that maximised windows stay clear of
// it. It moves when the screens, the primary one, its geometry or scale,
// the panels, their settings or the work area change. It draws nothing itself: the
// compositor thread fills it, and learns from a property of the window what
// hides it without X saying so.
class X11DockWindow final : public QObject, public StatusBarWindow, private QAbstractNativeEventFilter {
 public:
  // `needsDrawing` is called when the strip needs drawing again: the window's
  // pixel density changed, or the colour of the panel beside it.
  X11DockWindow(const QString& title, std::function<void()> needsDrawing);
  ~X11DockWindow() override;

  void show(QSizeF size, QColor background) override;
  double devicePixelRatio() const override { return window_.devicePixelRatio(); }
  QRect geometry() const override { return window_.geometry(); }
  std::optional<QColor> panelColor() const override { return panel_->color(); }
  void desktopColorsChanged() override { panel_->readAgain(); }
  std::function<std::unique_ptr<PresentationSurface>()> surfaceMaker() const override;

 private:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  QScreen* barScreen() const;
  void followScreen(QScreen* screen);
  void setDockProperties();
  void place();
  void watchPanel(std::uint32_t window);
  std::optional<QRect> workArea(const QRect& nativeScreen) const;
  std::uint32_t windowId() const { return static_cast<std::uint32_t>(window_.winId()); }

  xcb_connection_t* connection_;
  std::uint32_t root_;
  std::vector<std::uint32_t> watchedAtoms_;  // the root's properties that can move the bar
  std::array<std::uint32_t, 2> strutAtoms_{};
  std::unordered_set<std::uint32_t> watchedPanels_;
  QWindow window_;
  std::function<void()> needsDrawing_;
  QSizeF size_;
  QColor background_;
  double placedDensity_ = 0.0;
  // What the desktop keeps along each edge outside any window's strut.
  int desktopTop_ = 0;
  int desktopBottom_ = 0;
  // The bar's reservation along each edge in force first (0 where it stands
  // at the other), then the one before.
  std::vector<int> ownTop_;
  std::vector<int> ownBottom_;
  std::array<std::uint32_t, 12> strut_{};  // the one written last
  QRect placed_;  // in device pixels
  QTimer placeSoon_;
  QFileSystemWatcher settingsWatch_;
  bool settingsSaved_ = false;  // since the bar was last placed
  QMetaObject::Connection screenChanges_[3];
  std::unique_ptr<X11PanelColor> panel_;
  std::unique_ptr<CoverWatch> cover_;
};

}  // namespace platform
