#pragma once

#include <QColor>
#include <QRect>
#include <QSizeF>
#include <functional>
#include <memory>
#include <optional>

#include "platform/compositor/presentation_surface.h"

namespace platform {

// The status bar's window as the main thread sees it, one kind for each
// way a display can show it (a Wayland layer surface, an X11 dock, a plain
// window). It draws nothing itself: the compositor thread fills it through
// the surface it makes.
class StatusBarWindow {
 public:
  virtual ~StatusBarWindow() = default;

  // Gives the window `size` points and shows it at its place; where the
  // desktop makes the window larger, the rest shows `background`.
  virtual void show(QSizeF size, QColor background) = 0;
  virtual double devicePixelRatio() const = 0;
  // Where the window stands on screen, in points.
  virtual QRect geometry() const = 0;
  // The background of the panel the window stands beside, where the
  // display shows it.
  virtual std::optional<QColor> panelColor() const { return std::nullopt; }
  // The desktop's theme or colour scheme changed: the panel may wear other
  // colours now.
  virtual void desktopColorsChanged() {}
  // Makes, on the compositor thread, the surface that shows frames in this
  // window; null when the display cannot be reached.
  virtual std::function<std::unique_ptr<PresentationSurface>()> surfaceMaker() const = 0;
};

}  // namespace platform
