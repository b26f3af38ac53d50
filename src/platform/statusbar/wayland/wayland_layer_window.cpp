#include "platform/statusbar/wayland/wayland_layer_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/statusbar/wayland/sway_bar.h"
#include "platform/statusbar/wayland/wayland_presentation_surface.h"

namespace platform {

WaylandLayerWindow::WaylandLayerWindow(std::function<void()> needsDrawing) : swayBar_(SwayBarWatch::start()) {
  if (swayBar_ == nullptr) return;
  swaySaid_ = std::make_unique<QSocketNotifier>(swayBar_->descriptor(), QSocketNotifier::Read);
  QObject::connect(swaySaid_.get(), &QSocketNotifier::activated, [this, needsDrawing = std::move(needsDrawing)] {
    if (swayBar_->update()) needsDrawing();
    // sway has gone: nothing more comes from it.
    if (swayBar_->descriptor() < 0) swaySaid_->setEnabled(false);
  });
}

WaylandLayerWindow::~WaylandLayerWindow() = default;

// The surface takes its size from the frames presented to it.
void WaylandLayerWindow::show(QSizeF size, QColor) { size_ = size; }

double WaylandLayerWindow::devicePixelRatio() const { return qGuiApp->devicePixelRatio(); }

QRect WaylandLayerWindow::geometry() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->geometry() : QRect();
  const QSize size = size_.toSize();
  const int top = edgeTold_->edge == ScreenEdge::bottom ? area.bottom() + 1 - size.height() : area.top();
  return QRect(QPoint(area.right() + 1 - size.width(), top), size);
}

std::optional<QColor> WaylandLayerWindow::panelColor() const {
  return swayBar_ != nullptr && swayBar_->bar() ? swayBar_->bar()->background : std::nullopt;
}

std::function<std::unique_ptr<PresentationSurface>()> WaylandLayerWindow::surfaceMaker() const {
  return [told = edgeTold_.get()] {
    // Queued to the main thread; dropped once the window, and with it `told`, has gone.
    return WaylandPresentationSurface::connect(
        [told](ScreenEdge edge) { QMetaObject::invokeMethod(told, [told, edge] { told->edge = edge; }); });
  };
}

}  // namespace platform
