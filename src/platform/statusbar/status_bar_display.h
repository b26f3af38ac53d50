#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "platform/statusbar/status_bar_window.h"

namespace platform {

// Where the status bar can be shown on the session's display.
enum class StatusBarDisplay {
  // A Wayland compositor with the layer shell places it itself.
  waylandLayerShell,
  // An X11 display (XWayland included), where it is a dock window.
  x11Dock,
  // Nothing can place it: an ordinary window stands wherever it lands.
  plainWindow,
};

// Probes the session's displays once and keeps the answer. The first call
// must come before the QApplication exists, as it picks the toolkit's own
// display to match: X11 for the dock, Wayland or X11 beside a layer surface.
// Says once on standard error when the bar cannot be placed as it should.
StatusBarDisplay statusBarDisplay();

// The bar's window on the display chosen, kept by the main thread, once the
// QApplication exists, titled `title` where the display shows titles;
// `needsDrawing` hears when the window wants the strip drawn again (a new
// pixel density, a new panel colour beside it).
std::unique_ptr<StatusBarWindow> makeStatusBarWindow(const QString& title, std::function<void()> needsDrawing);

}  // namespace platform
