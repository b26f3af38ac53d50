#include "platform/statusbar/x11/x11_presentation_surface.h"

#include <xcb/randr.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <algorithm>

#include "platform/statusbar/x11/x11_lookups.h"

namespace platform {

namespace {

// Where the server does not say how often its screen refreshes.
constexpr double commonRefreshRate = 60.0;

double refreshIntervalOf(xcb_connection_t* connection, xcb_window_t window) {
  const XcbReply<xcb_randr_get_screen_info_reply_t> info{
      xcb_randr_get_screen_info_reply(connection, xcb_randr_get_screen_info(connection, window), nullptr)};
  const double rate = info != nullptr && info->rate > 0 ? info->rate : commonRefreshRate;
  return 1.0 / rate;
}

bool screenBlank(std::uint8_t state) {
  return state == XCB_SCREENSAVER_STATE_ON || state == XCB_SCREENSAVER_STATE_CYCLE;
}

}  // namespace

X11WindowSight::X11WindowSight(xcb_connection_t* connection, xcb_window_t window) {
  // Heard before the window's state is asked, so no change falls in between.
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &events);
  hiddenAtom_ = internAtom(connection, hiddenProperty);
  hidden_ = hiddenPropertyOf(connection, window);
  if (const XcbReply<xcb_get_window_attributes_reply_t> attributes{
          xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr)}) {
    mapped_ = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
  }
  const xcb_query_extension_reply_t* screenSaver = xcb_get_extension_data(connection, &xcb_screensaver_id);
  if (screenSaver == nullptr || !screenSaver->present) return;
  screenSaverNotify_ = static_cast<std::uint8_t>(screenSaver->first_event + XCB_SCREENSAVER_NOTIFY);
  const xcb_window_t root = rootWindow(connection);
  xcb_screensaver_select_input(connection, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK | XCB_SCREENSAVER_EVENT_CYCLE_MASK);
  if (const XcbReply<xcb_screensaver_query_info_reply_t> info{
          xcb_screensaver_query_info_reply(connection, xcb_screensaver_query_info(connection, root), nullptr)}) {
    blanked_ = screenBlank(info->state);
  }
}

bool X11WindowSight::hiddenPropertyOf(xcb_connection_t* connection, xcb_window_t window) const {
  return hiddenAtom_ != XCB_ATOM_NONE && windowProperty(connection, window, hiddenAtom_) == std::vector<std::uint32_t>{1};
}

bool X11WindowSight::handle(xcb_connection_t* connection, const xcb_generic_event_t& event) {
  const bool wasSeen = seen();
  const std::uint8_t type = event.response_type & 0x7f;
  if (type == XCB_MAP_NOTIFY) {
    // Mapped again, as when a window manager takes it over, it is told its
    // visibility anew; what it was told before no longer holds.
    mapped_ = true;
    covered_ = false;
  } else if (type == XCB_UNMAP_NOTIFY) {
    mapped_ = false;
  } else if (type == XCB_VISIBILITY_NOTIFY) {
    covered_ = reinterpret_cast<const xcb_visibility_notify_event_t*>(&event)->state ==
               XCB_VISIBILITY_FULLY_OBSCURED;
  } else if (type == XCB_PROPERTY_NOTIFY) {
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(&event);
    if (change->atom == hiddenAtom_) hidden_ = hiddenPropertyOf(connection, change->window);
  } else if (screenSaverNotify_ != 0 && type == screenSaverNotify_) {
    blanked_ = screenBlank(reinterpret_cast<const xcb_screensaver_notify_event_t*>(&event)->state);
  }
  return !wasSeen && seen();
}

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
      frameInterval_(refreshIntervalOf(connection, window)),
      sight_(connection, window) {
  const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | X11WindowSight::events;
  xcb_change_window_attributes(connection_, window_, XCB_CW_EVENT_MASK, &events);
  // Copies from the film's pixmap never lack a source: without exposure
  // events for them the server sends nothing back for a frame.
  const std::uint32_t noExposures = 0;
  xcb_create_gc(connection_, graphicsContext_, window_, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
  if (const XcbReply<xcb_get_geometry_reply_t> geometry{
          xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr)}) {
    depth_ = geometry->depth;
    windowWidth_ = geometry->width;
  }
  xcb_flush(connection_);
}

X11PresentationSurface::~X11PresentationSurface() {
  if (filmPixmap_ != 0) xcb_free_pixmap(connection_, filmPixmap_);
  xcb_disconnect(connection_);
}

int X11PresentationSurface::eventDescriptor() const { return xcb_get_file_descriptor(connection_); }

bool X11PresentationSurface::dispatchEvents() {
  while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) handle(*event);
  return window_ != XCB_NONE && xcb_flush(connection_) > 0 && !xcb_connection_has_error(connection_);
}

void X11PresentationSurface::handle(const xcb_generic_event_t& event) {
  // What it showed before it was hidden is gone, and the scroll has moved on.
  if (sight_.handle(connection_, event)) needsRedraw_ = true;
  switch (event.response_type & 0x7f) {
    case XCB_EXPOSE:
    case XCB_MAP_NOTIFY:
    // Taken into a window manager's frame, the window keeps none of its pixels.
    case XCB_REPARENT_NOTIFY:
      needsRedraw_ = true;
      break;
    case XCB_CONFIGURE_NOTIFY: {
      const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(&event);
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
}

// xcb reads what the server has sent while it writes requests, into its own
// queue, and the connection then no longer signals it: whatever came in
// while a frame was put is handled right away. True when the window wants
// the frame again.
bool X11PresentationSurface::handleQueuedEvents() {
  needsRedraw_ = false;
  while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_queued_event(connection_)}) handle(*event);
  return needsRedraw_ && window_ != XCB_NONE;
}

void X11PresentationSurface::present(const QImage& frame) {
  devicePixelRatio_ = frame.devicePixelRatio();
  shown_.reset();
  const QImage pixels = frame.format() == QImage::Format_ARGB32_Premultiplied || frame.format() == QImage::Format_RGB32
                            ? frame
                            : frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  handleQueuedEvents();
  do {
    put(pixels);
  } while (handleQueuedEvents());
}

void X11PresentationSurface::presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  if (frame->window.isEmpty()) {
    present(frame->still);
    return;
  }
  devicePixelRatio_ = frame->still.devicePixelRatio();
  const bool stillShown = frame == shown_ && !needsRedraw_;
  handleQueuedEvents();
  if (stillShown) {
    showFilm(*frame, offset);
    return;
  }
  shown_ = frame;
  heldSlice_ = {0, 0};
  do {
    put(frame->still.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    showFilm(*frame, offset);
  } while (handleQueuedEvents());
}

void X11PresentationSurface::showFilm(const RetainedFrame& frame, int offset) {
  if (window_ == XCB_NONE) return;
  offset = std::clamp(offset, 0, frame.lastOffset());
  if (!heldSlice_.holds(frame, offset)) holdFilm(frame, offset);
  if (filmPixmap_ == 0) return;
  xcb_copy_area(connection_, filmPixmap_, window_, graphicsContext_, static_cast<std::int16_t>(offset - heldSlice_.start),
                0, static_cast<std::int16_t>(drawnLeft_ + frame.window.x()), static_cast<std::int16_t>(frame.window.y()),
                static_cast<std::uint16_t>(frame.window.width()), static_cast<std::uint16_t>(frame.window.height()));
  xcb_flush(connection_);
}

void X11PresentationSurface::holdFilm(const RetainedFrame& frame, int offset) {
  const FilmSlice slice = FilmSlice::around(frame, offset);
  const QImage pixels = frame.film.copy(slice.start, 0, slice.width, frame.film.height());
  if (filmPixmap_ == 0 || filmPixmapSize_ != pixels.size()) {
    if (filmPixmap_ != 0) xcb_free_pixmap(connection_, filmPixmap_);
    filmPixmap_ = xcb_generate_id(connection_);
    filmPixmapSize_ = pixels.size();
    xcb_create_pixmap(connection_, depth_, filmPixmap_, window_, static_cast<std::uint16_t>(pixels.width()),
                      static_cast<std::uint16_t>(pixels.height()));
  }
  putImage(filmPixmap_, pixels, 0);
  heldSlice_ = slice;
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
  putImage(window_, pixels, left);
  xcb_flush(connection_);
}

void X11PresentationSurface::putImage(std::uint32_t drawable, const QImage& pixels, std::int16_t left) {
  // Rows in pieces that fit into one request.
  const std::size_t rowBytes = static_cast<std::size_t>(pixels.bytesPerLine());
  const std::size_t requestBytes = std::size_t{xcb_get_maximum_request_length(connection_)} * 4 - 64;
  const int rowsPerRequest = std::max(1, static_cast<int>(requestBytes / std::max<std::size_t>(rowBytes, 1)));
  for (int top = 0; top < pixels.height(); top += rowsPerRequest) {
    const int rows = std::min(rowsPerRequest, pixels.height() - top);
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, graphicsContext_,
                  static_cast<std::uint16_t>(pixels.width()), static_cast<std::uint16_t>(rows), left,
                  static_cast<std::int16_t>(top), 0, depth_, static_cast<std::uint32_t>(rowBytes * rows),
                  pixels.constScanLine(top));
  }
}

}  // namespace platform
