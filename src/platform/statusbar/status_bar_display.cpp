#include "platform/statusbar/status_bar_display.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/statusbar/plain/plain_window.h"
#include "platform/statusbar/wayland/wayland_layer_window.h"
#include "platform/statusbar/wayland/wayland_globals.h"
#include "platform/statusbar/x11/x11_dock_window.h"

namespace platform {

StatusBarChoice chooseStatusBar(const OfferedDisplays& offered) {
  if (offered.waylandGlobals) {
    const auto announces = [&](std::string_view interface) {
      return std::ranges::find(*offered.waylandGlobals, interface) != offered.waylandGlobals->end();
    };
    const bool layerShell = announces("wl_compositor") && announces("wl_shm") && announces("zwlr_layer_shell_v1");
    // KWin places Plasma's panels outside the layer shell: layer surfaces
    // there do not keep clear of them, while X11 docks and their struts do.
    if (layerShell && (!announces("org_kde_plasma_shell") || !offered.x11)) {
      // The layer surface needs nothing of the toolkit's display.
      return {StatusBarDisplay::waylandLayerShell, "wayland;xcb", true, ""};
    }
    if (layerShell) {
      return {StatusBarDisplay::x11Dock, "xcb", false,
              "sonvetta: the Wayland compositor places its panels outside the layer shell; using X11 through XWayland"};
    }
    if (offered.x11) {
      return {StatusBarDisplay::x11Dock, "xcb", false,
              "sonvetta: the Wayland compositor cannot place a status bar; using X11 through XWayland"};
    }
  }
  // The dock's window must be an X window, whatever Qt would prefer.
  if (offered.x11) return {StatusBarDisplay::x11Dock, "xcb", false, ""};
  return {StatusBarDisplay::plainWindow, "", false,
          "sonvetta: the status bar cannot be placed on this display; it shows as a plain window"};
}

OfferedDisplays offeredDisplays() {
  OfferedDisplays offered;
  offered.x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    offered.waylandGlobals = waylandGlobals().value_or(std::vector<std::string>());
  }
  return offered;
}

StatusBarDisplay prepareToolkitFor(const StatusBarChoice& choice) {
  if (*choice.toolkit != '\0' && (!choice.userToolkitStands || qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
    qputenv("QT_QPA_PLATFORM", choice.toolkit);
  }
  if (*choice.notice != '\0') std::fprintf(stderr, "%s\n", choice.notice);
  return choice.display;
}

std::unique_ptr<StatusBarWindow> makeStatusBarWindow(StatusBarDisplay display, const QString& title,
                                                     std::function<void()> needsDrawing) {
  switch (display) {
    case StatusBarDisplay::waylandLayerShell:
      return std::make_unique<WaylandLayerWindow>(std::move(needsDrawing));
    case StatusBarDisplay::x11Dock:
      return std::make_unique<X11DockWindow>(title, std::move(needsDrawing));
    case StatusBarDisplay::plainWindow:
      break;
  }
  return std::make_unique<PlainWindow>(title);
}

}  // namespace platform
