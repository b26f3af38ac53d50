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

// The band between `strip` and the edge of `screen` it stands nearer to:
// the panel it stands beside, empty where it stands at the edge.
QRect bandBeside(const QRect& strip, const QRect& screen) {
  if (strip.center().y() < screen.center().y()) {
    return QRect(QPoint(strip.left(), screen.top()), QPoint(strip.right(), strip.top() - 1));
  }
  return QRect(QPoint(strip.left(), strip.bottom() + 1), QPoint(strip.right(), screen.bottom()));
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
  connect(&readAgain_, &QTimer::timeout, this, &X11PanelColor::read);
}

void X11PanelColor::readBeside(const QRect& screen, bool translucent) {
  screen_ = screen;
  translucent_ = translucent;
  if (!rootHasDesktop_ || translucent) {
    const std::optional<QColor> themes = shellPanelColor(QDBusConnection::sessionBus());
    if (themes || !rootHasDesktop_) {
      readAgain_.stop();
      adopt(themes);
      return;
    }
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
  const QRect band = strip.isEmpty() ? QRect() : bandBeside(strip, screen_);
  std::optional<QColor> color;
  const XcbReply<xcb_get_image_reply_t> image{
      band.isEmpty() ? nullptr
                     : xcb_get_image_reply(connection_,
                                           xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_,
                                                         static_cast<std::int16_t>(band.x()),
                                                         static_cast<std::int16_t>(band.y()),
                                                         static_cast<std::uint16_t>(band.width()),
                                                         static_cast<std::uint16_t>(band.height()), ~0u),
                                           nullptr)};
  // Depths 24 and 32 come as four bytes a pixel, as QImage keeps RGB32.
  const auto bytes = static_cast<qsizetype>(band.width()) * band.height() * 4;
  if (image != nullptr && (image->depth == 24 || image->depth == 32) && xcb_get_image_data_length(image.get()) >= bytes) {
    const QImage pixels(xcb_get_image_data(image.get()), band.width(), band.height(), band.width() * 4,
                        QImage::Format_RGB32);
    color = plainColorOf(pixels);
  }
  adopt(color);
}

void X11PanelColor::adopt(std::optional<QColor> color) {
  if (color == color_) return;
  color_ = color;
  changed_();
}

}  // namespace platform
