#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// What the session's displays offer the bar.
struct OfferedDisplays {
  bool x11 = false;  // DISPLAY names one
  // The interfaces the Wayland compositor announces; empty where it cannot
  // be reached, none where WAYLAND_DISPLAY names no display.
  std::optional<std::vector<std::string>> waylandGlobals;
};

// The display the bar is shown on, and what the toolkit is told to match.
struct StatusBarChoice {
  StatusBarDisplay display;
  // For QT_QPA_PLATFORM; empty where the toolkit chooses for itself.
  const char* toolkit = "";
  // Whether a user's own QT_QPA_PLATFORM stands over `toolkit`.
  bool userToolkitStands = false;
  // Why the bar cannot be placed as it should, for standard error; empty
  // where it can.
  const char* notice = "";
};

StatusBarChoice chooseStatusBar(const OfferedDisplays& offered);

// What the environment names, and the Wayland compositor's registry.
OfferedDisplays offeredDisplays();

// Sets the toolkit up for `choice`, which must come before the
// QApplication exists, and says its notice; returns its display.
StatusBarDisplay prepareToolkitFor(const StatusBarChoice& choice);

// The bar's window on `display`, kept by the main thread, once the
// QApplication exists, titled `title` where the display shows titles;
// `needsDrawing` hears when the window wants the strip drawn again (a new
// pixel density, a new panel colour beside it).
std::unique_ptr<StatusBarWindow> makeStatusBarWindow(StatusBarDisplay display, const QString& title,
                                                     std::function<void()> needsDrawing);

}  // namespace platform
