#include "platform/compositor/x11_presentation_surface.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// Where the server does not say how often its screen refreshes.
constexpr double commonRefreshRate = 60.0;

double refreshIntervalOf(xcb_connection_t* connection, xcb_window_t window) {
  xcb_randr_get_screen_info_reply_t* info =
      xcb_randr_get_screen_info_reply(connection, xcb_randr_get_screen_info(connection, window), nullptr);
  const double rate = info != nullptr && info->rate > 0 ? info->rate : commonRefreshRate;
  std::free(info);
  return 1.0 / rate;
}

}  // namespace

std::unique_ptr<X11PresentationSurface> X11PresentationSurface::connect(std::uint32_t window) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::unique_ptr<X11PresentationSurface>(new X11PresentationSurface(connection, window));
}

X11PresentationSurface::X11PresentationSurface(xcb_connection_t* connection, std::uint32_t window)
    : connection_(connection),
      window_(window),
      graphicsContext_(xcb_generate_id(connection)),
      frameInterval_(refreshIntervalOf(connection, window)) {
  const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection_, window_, XCB_CW_EVENT_MASK, &events);
  xcb_create_gc(connection_, graphicsContext_, window_, 0, nullptr);
  if (xcb_get_geometry_reply_t* geometry =
          xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr)) {
    depth_ = geometry->depth;
    windowWidth_ = geometry->width;
    std::free(geometry);
  }
  xcb_flush(connection_);
}

X11PresentationSurface::~X11PresentationSurface() { xcb_disconnect(connection_); }

int X11PresentationSurface::eventDescriptor() const { return xcb_get_file_descriptor(connection_); }

bool X11PresentationSurface::dispatchEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) handle(event);
  return window_ != XCB_NONE && xcb_flush(connection_) > 0 && !xcb_connection_has_error(connection_);
}

void X11PresentationSurface::handle(xcb_generic_event_t* event) {
  switch (event->response_type & 0x7f) {
    case XCB_EXPOSE:
    case XCB_MAP_NOTIFY:
      needsRedraw_ = true;
      break;
    case XCB_CONFIGURE_NOTIFY: {
      const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
      if (configure->window == window_ && configure->width != windowWidth_) {
        windowWidth_ = configure->width;
        needsRedraw_ = true;
      }
      break;
    }
    case XCB_DESTROY_NOTIFY:
      window_ = XCB_NONE;
      break;
  }
  std::free(event);
}

// xcb reads what the server has sent while it writes requests, into its own
// queue, and the connection then no longer signals it: whatever came in
// while a frame was put is handled right away. True when the window wants
// the frame again.
bool X11PresentationSurface::handleQueuedEvents() {
  needsRedraw_ = false;
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) handle(event);
  return needsRedraw_ && window_ != XCB_NONE;
}

void X11PresentationSurface::present(const QImage& frame) {
  devicePixelRatio_ = frame.devicePixelRatio();
  const QImage pixels = frame.format() == QImage::Format_ARGB32_Premultiplied || frame.format() == QImage::Format_RGB32
                            ? frame
                            : frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  handleQueuedEvents();
  do {
    put(pixels);
  } while (handleQueuedEvents());
}

void X11PresentationSurface::put(const QImage& pixels) {
  if (window_ == XCB_NONE) return;
  // A window manager that makes the window wider (i3 stretches docks over
  // the output) gets the strip at the right end; the window's background
  // fills the rest.
  const auto left = static_cast<std::int16_t>(std::max(0, windowWidth_ - pixels.width()));
  // A frame put before the window grew stays where it was: the server
  // paints the background there.
  if (left != drawnLeft_ && left > 0) xcb_clear_area(connection_, 0, window_, 0, 0, static_cast<std::uint16_t>(left), 0);
  drawnLeft_ = left;
  // Rows in pieces that fit into one request.
  const std::size_t rowBytes = static_cast<std::size_t>(pixels.bytesPerLine());
  const std::size_t requestBytes = std::size_t{xcb_get_maximum_request_length(connection_)} * 4 - 64;
  const int rowsPerRequest = std::max(1, static_cast<int>(requestBytes / std::max<std::size_t>(rowBytes, 1)));
  for (int top = 0; top < pixels.height(); top += rowsPerRequest) {
    const int rows = std::min(rowsPerRequest, pixels.height() - top);
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, graphicsContext_,
                  static_cast<std::uint16_t>(pixels.width()), static_cast<std::uint16_t>(rows), left,
                  static_cast<std::int16_t>(top), 0, depth_, static_cast<std::uint32_t>(rowBytes * rows),
                  pixels.constScanLine(top));
  }
  xcb_flush(connection_);
}

}  // namespace platform
