#include "platform/statusbar/wayland/layer_shell_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/statusbar/wayland/sway_bar.h"
#include "platform/statusbar/wayland/wayland_layer_surface.h"

namespace platform {

// The surface takes its size from the frames presented to it.
void LayerShellWindow::show(QSizeF size, QColor) { size_ = size; }

double LayerShellWindow::devicePixelRatio() const { return qGuiApp->devicePixelRatio(); }

QRect LayerShellWindow::geometry() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->geometry() : QRect();
  const QSize size = size_.toSize();
  // Above sway's bar where the strip's output has one along the bottom and
  // none along the top, as the surface stands.
  const int top = stripEdgeBesideSwayBar() == ScreenEdge::bottom ? area.bottom() + 1 - size.height() : area.top();
  return QRect(QPoint(area.right() + 1 - size.width(), top), size);
}

std::optional<QColor> LayerShellWindow::panelColor() const {
  const std::optional<SwayBar> bar = swayBarBesideStrip();
  return bar ? bar->background : std::nullopt;
}

std::function<std::unique_ptr<PresentationSurface>()> LayerShellWindow::surfaceMaker() const {
  return [] { return WaylandLayerSurface::connect(); };
}

}  // namespace platform
