#pragma once

#include <QColor>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

namespace platform {

// The colour of the panel beside the strip, read from the screen's own
// pixels: the band between the strip's window and the screen's nearer edge,
// across the window's columns, else across the screen. Read again when the
// desktop's colours change, and a little after every move until it holds
// still, since a panel that has just reserved its band may not have drawn
// it yet (or is fading in), and a window manager may put the window
// elsewhere than asked (i3). Where the root window holds no desktop pixels (a rootless XWayland), the shell's
// theme tells it, where it can; so it does for a translucent panel that a
// compositing manager blends over whatever is behind it.
class X11PanelColor final : public QObject {
 public:
  // `changed` hears when the colour read differs from the last.
  X11PanelColor(xcb_connection_t* connection, std::uint32_t window, std::function<void()> changed);

  // The window has moved on `screen`, in device pixels, beside the
  // translucent panel window `translucentPanel`, or none (0).
  void readBeside(const QRect& screen, std::uint32_t translucentPanel);
  // The panel may have been drawn anew where it stands.
  void readAgain() { readBeside(screen_, translucentPanel_); }
  // While a locker or a full-screen window covers the band, nothing is
  // read; uncovered, it is read again.
  void setCovered(bool covered);
  std::optional<QColor> color() const { return color_; }

 private:
  void read();
  void adopt(std::optional<QColor> color);

  xcb_connection_t* connection_;
  std::uint32_t window_;
  std::uint32_t root_;
  std::function<void()> changed_;
  bool rootHasDesktop_;
  QRect screen_;
  std::uint32_t translucentPanel_ = 0;
  bool covered_ = false;
  std::optional<QColor> color_;
  QTimer readAgain_;
};

}  // namespace platform
