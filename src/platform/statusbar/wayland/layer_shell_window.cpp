#include "platform/statusbar/wayland/layer_shell_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/statusbar/wayland/wayland_layer_surface.h"

namespace platform {

// The surface takes its size from the frames presented to it.
void LayerShellWindow::show(QSizeF size, QColor) { size_ = size; }

double LayerShellWindow::devicePixelRatio() const { return qGuiApp->devicePixelRatio(); }

QRect LayerShellWindow::geometry() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->geometry() : QRect();
  const QSize size = size_.toSize();
  return QRect(QPoint(area.right() + 1 - size.width(), area.top()), size);
}

std::function<std::unique_ptr<PresentationSurface>()> LayerShellWindow::surfaceMaker() const {
  return [] { return WaylandLayerSurface::connect(); };
}

}  // namespace platform
