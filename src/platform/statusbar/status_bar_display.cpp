#include "platform/statusbar/status_bar_display.h"

#include <QtGlobal>
#include <cstdio>
#include <memory>

#include "platform/statusbar/plain/plain_window.h"
#include "platform/statusbar/wayland/layer_shell_window.h"
#include "platform/statusbar/wayland/wayland_layer_surface.h"
#include "platform/statusbar/x11/x11_dock_window.h"

namespace platform {

namespace {

StatusBarDisplay probe() {
  const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    const std::unique_ptr<WaylandLayerSurface> surface = WaylandLayerSurface::connect();
    if (surface != nullptr && (surface->keepsClearOfPanels() || !x11)) {
      // The layer surface needs nothing of the toolkit's display; a user's
      // own choice of it stands.
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "wayland;xcb");
      return StatusBarDisplay::waylandLayerShell;
    }
    if (surface != nullptr) {
      // The compositor keeps X11 docks clear of its panels, and their
      // struts clear of windows.
      std::fputs("sonvetta: the Wayland compositor places its panels outside the layer shell; using X11 through "
                 "XWayland\n", stderr);
    } else if (x11) {
      std::fputs("sonvetta: the Wayland compositor cannot place a status bar; using X11 through XWayland\n", stderr);
    }
  }
  if (x11) {
    // The dock's window must be an X window, whatever Qt would prefer.
    qputenv("QT_QPA_PLATFORM", "xcb");
    return StatusBarDisplay::x11Dock;
  }
  std::fputs("sonvetta: the status bar cannot be placed on this display; it shows as a plain window\n", stderr);
  return StatusBarDisplay::plainWindow;
}

}  // namespace

StatusBarDisplay statusBarDisplay() {
  static const StatusBarDisplay display = probe();
  return display;
}

std::unique_ptr<StatusBarWindow> makeStatusBarWindow(const QString& title, std::function<void()> needsDrawing) {
  switch (statusBarDisplay()) {
    case StatusBarDisplay::waylandLayerShell:
      return std::make_unique<LayerShellWindow>();
    case StatusBarDisplay::x11Dock:
      return std::make_unique<X11DockWindow>(title, std::move(needsDrawing));
    case StatusBarDisplay::plainWindow:
      break;
  }
  return std::make_unique<PlainWindow>(title);
}

}  // namespace platform
