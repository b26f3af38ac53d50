#include "platform/statusbar/x11/x11_panel_color.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <algorithm>
#include <cstring>

#include "platform/appearance/panel_colors.h"
#include "platform/appearance/shell_panel_color.h"
#include "platform/statusbar/x11/x11_lookups.h"

namespace platform {
namespace {

// The rows between `strip` and the edge of `screen` it stands nearer to,
// across the screen: the panel it stands beside, empty where it stands at
// the edge.
QRect bandBeside(const QRect& strip, const QRect& screen) {
  if (strip.center().y() < screen.center().y()) {
    return QRect(QPoint(screen.left(), screen.top()), QPoint(screen.right(), strip.top() - 1));
  }
  return QRect(QPoint(screen.left(), strip.bottom() + 1), QPoint(screen.right(), screen.bottom()));
}

// The pixels of `area` of `drawable`, in its own coordinates; null where
// the server has none to give.
QImage pixelsOf(xcb_connection_t* connection, xcb_drawable_t drawable, const QRect& area) {
  if (area.isEmpty()) return {};
  const XcbReply<xcb_get_image_reply_t> image{xcb_get_image_reply(
      connection,
      xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(area.x()),
                    static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                    static_cast<std::uint16_t>(area.height()), ~0u),
      nullptr)};
  // Depths 24 and 32 come as four bytes a pixel, as QImage keeps RGB32.
  const auto bytes = static_cast<qsizetype>(area.width()) * area.height() * 4;
  if (image == nullptr || (image->depth != 24 && image->depth != 32) || xcb_get_image_data_length(image.get()) < bytes) {
    return {};
  }
  return QImage(xcb_get_image_data(image.get()), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
      .copy();
}

// XWayland's root window holds none of the desktop's pixels. Newer ones say
// so by an extension; older ones (22.1, Debian 12's) only by their outputs' names.
bool isRootless(xcb_connection_t* connection) {
  constexpr char name[] = "XWAYLAND";
  const XcbReply<xcb_query_extension_reply_t> reply{xcb_query_extension_reply(
      connection, xcb_query_extension(connection, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr)};
  if (reply != nullptr && reply->present) return true;
  const QList<QScreen*> screens = QGuiApplication::screens();
  return std::any_of(screens.begin(), screens.end(),
                     [](const QScreen* screen) { return screen->name().startsWith(QLatin1String("XWAYLAND")); });
}

}  // namespace

X11PanelColor::X11PanelColor(xcb_connection_t* connection, std::uint32_t window, std::function<void()> changed)
    : connection_(connection),
      window_(window),
      root_(rootWindow(connection)),
      changed_(std::move(changed)),
      rootHasDesktop_(!isRootless(connection)) {
  readAgain_.setSingleShot(true);
  readAgain_.setInterval(1000);
  // A panel still coming up (Cinnamon's fades in) reads differently each
  // time: read again until it holds still.
  connect(&readAgain_, &QTimer::timeout, this, [this] {
    const std::optional<QColor> before = color_;
    read();
    if (color_ != before) readAgain_.start();
  });
}

void X11PanelColor::readBeside(const QRect& screen, std::uint32_t translucentPanel) {
  screen_ = screen;
  translucentPanel_ = translucentPanel;
  if (!rootHasDesktop_) {
    readAgain_.stop();
    adopt(shellPanelColor(QDBusConnection::sessionBus()));
    return;
  }
  read();
  readAgain_.start();
}

void X11PanelColor::setCovered(bool covered) {
  covered_ = covered;
  if (covered) {
    readAgain_.stop();
  } else if (!screen_.isNull()) {
    readAgain();
  }
}

void X11PanelColor::read() {
  if (covered_) return;
  const QRect strip = windowGeometry(connection_, window_, root_);
  if (strip.isEmpty()) {
    adopt(std::nullopt);
    return;
  }
  // Read from `drawable`, whose top-left corner stands at `origin` on the
  // root window, over `area` of the root's.
  const auto colorIn = [&](xcb_drawable_t drawable, QPoint origin, const QRect& area) {
    const QRect stripColumns = QRect(strip.left(), area.top(), strip.width(), area.height()).intersected(area);
    return panelColorIn(pixelsOf(connection_, drawable, area.translated(-origin)), stripColumns.translated(-area.topLeft()));
  };
  const QRect band = bandBeside(strip, screen_);
  const std::optional<QColor> onScreen = colorIn(root_, QPoint(0, 0), band);
  if (translucentPanel_ == 0) {
    adopt(onScreen);
    return;
  }
  // The panel's own pixels over the band, as it drew them.
  const QRect panel = windowGeometry(connection_, translucentPanel_, root_);
  const std::optional<QColor> asDrawn = colorIn(translucentPanel_, panel.topLeft(), band.intersected(panel));
  adopt(translucentPanelColor(onScreen, asDrawn, shellPanelColor(QDBusConnection::sessionBus())));
}

void X11PanelColor::adopt(std::optional<QColor> color) {
  if (color == color_) return;
  color_ = color;
  changed_();
}

}  // namespace platform
