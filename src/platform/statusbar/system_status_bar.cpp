#include "platform/statusbar/system_status_bar.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/appearance/sway_bar_color.h"
#include "platform/statusbar/plain_window.h"
#include "platform/statusbar/status_bar_accessible.h"
#include "platform/statusbar/status_bar_display.h"
#include "platform/statusbar/x11_dock_window.h"
#include "platform/wayland/wayland_layer_surface.h"

namespace platform {

namespace {

// Both the toolkit's connection and the compositor's notice a display that
// goes away, in either order; the user hears of it once.
[[noreturn]] void endForLostDisplay() {
  static std::atomic_flag said;
  if (!said.test_and_set()) std::fputs("sonvetta: the display has gone away\n", stderr);
  std::_Exit(1);
}

QtMessageHandler toolkitMessageHandler = nullptr;

void interceptLostDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("X11 connection broke") || message.contains("Wayland connection broke")) endForLostDisplay();
  if (toolkitMessageHandler != nullptr) {
    toolkitMessageHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

// The window the bar keeps on the main thread; `rescaled` hears of a new
// pixel density where the window is what has one.
std::unique_ptr<StatusBarWindow> windowFor(StatusBarDisplay display, std::function<void()> rescaled) {
  switch (display) {
    case StatusBarDisplay::waylandLayerShell:
      return nullptr;
    case StatusBarDisplay::x11Dock:
      return std::make_unique<X11DockWindow>(std::move(rescaled));
    case StatusBarDisplay::plainWindow:
      return std::make_unique<PlainWindow>();
  }
  return nullptr;
}

}  // namespace

SystemStatusBar& SystemStatusBar::shared() {
  static auto* bar = new SystemStatusBar;
  return *bar;
}

SystemStatusBar::SystemStatusBar()
    : appearance_(QDBusConnection::sessionBus()), window_(windowFor(statusBarDisplay(), [this] { commitSoon_.start(); })) {
  commitSoon_.setSingleShot(true);
  connect(&commitSoon_, &QTimer::timeout, this, &SystemStatusBar::commit);
  connect(&appearance_, &DesktopAppearance::colorsChanged, &commitSoon_, qOverload<>(&QTimer::start));
  std::function<std::unique_ptr<PresentationSurface>()> makeSurface = [] { return WaylandLayerSurface::connect(); };
  if (window_) makeSurface = window_->surfaceMaker();
  compositor_ = std::make_unique<Compositor>(
      std::move(makeSurface),
      Compositor::Events{
          .densityChanged =
              [this](double density) {
                QMetaObject::invokeMethod(this, [this, density] { commitAtDensity(density); });
              },
          .displayLost = endForLostDisplay,
      });
  toolkitMessageHandler = qInstallMessageHandler(interceptLostDisplay);
  StatusBarAccessible::install(
      [this] { return placements(shownItems()); },
      [this] { return geometry(); });
}

std::shared_ptr<StatusItem> SystemStatusBar::statusItem(double length) {
  auto button = std::make_shared<View>(Rect(0.0, 0.0, length, thickness));
  // At once, not on the next turn of the event loop: a player notification
  // already queued behind this change may take a whole library search, and
  // the change would wait for it.
  button->setNeedsDisplayHandler([this] { commit(); });
  auto item = std::make_shared<StatusItem>(length, std::move(button));
  items_.push_back(item);
  commitSoon_.start();
  return item;
}

std::vector<std::shared_ptr<StatusItem>> SystemStatusBar::shownItems() {
  std::erase_if(items_, [](const std::weak_ptr<StatusItem>& item) { return item.expired(); });
  std::vector<std::shared_ptr<StatusItem>> shown;
  for (const auto& item : items_) shown.push_back(item.lock());
  return shown;
}

void SystemStatusBar::commitAtDensity(double density) {
  surfaceDensity_ = density;
  commit();
}

double SystemStatusBar::widthOf(const std::vector<std::shared_ptr<StatusItem>>& items) {
  double width = 0.0;
  for (const auto& item : items) width += item->length();
  return width;
}

// The first item stands at the right end, later ones to its left.
std::vector<LayerTree::Placement> SystemStatusBar::placements(const std::vector<std::shared_ptr<StatusItem>>& items) {
  std::vector<LayerTree::Placement> placed;
  double right = widthOf(items);
  for (const auto& item : items) {
    right -= item->length();
    if (const View* button = item->button()) placed.push_back({button, {right, 0.0}});
  }
  return placed;
}

QRect SystemStatusBar::geometry() {
  if (window_) return window_->geometry();
  // The compositor places the layer surface at the top-right and keeps its
  // place from clients; that is where it stands unless a panel is there.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->geometry() : QRect();
  const QSize size(static_cast<int>(widthOf(shownItems())), static_cast<int>(thickness));
  return QRect(QPoint(area.right() + 1 - size.width(), area.top()), size);
}

void SystemStatusBar::commit() {
  const std::vector<std::shared_ptr<StatusItem>> items = shownItems();
  const double width = widthOf(items);
  // A layer surface stands below sway's bar, whose colours sway tells.
  const StripColors colors = appearance_.colorsBeside(window_ ? window_->panelColor() : swayTopBarBackground());
  if (window_) window_->show(QSizeF(width, thickness), colors.background);
  const std::vector<LayerTree::Placement> placed = placements(items);
  double density = surfaceDensity_;
  if (density <= 0.0) density = window_ ? window_->devicePixelRatio() : qGuiApp->devicePixelRatio();
  compositor_->commit(
      std::make_shared<const LayerTree>(Size{width, thickness}, density, colors.background, placed, colors.text));
  // Nothing is read for assistive technology while none listens.
  if (QAccessible::isActive()) StatusBarAccessible::shared()->contentChanged();
}

}  // namespace platform
