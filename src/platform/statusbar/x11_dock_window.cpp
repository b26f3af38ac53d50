#include "platform/statusbar/x11_dock_window.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/compositor/x11_presentation_surface.h"
#include "platform/statusbar/dock_placement.h"

namespace platform {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
  const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return found;
}

// The 32-bit items of `window`'s property `name`; empty when it has none.
std::vector<std::uint32_t> windowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name) {
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, atom(connection, name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
      nullptr);
  std::vector<std::uint32_t> items;
  if (reply != nullptr && reply->format == 32) {
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    items.assign(values, values + xcb_get_property_value_length(reply) / 4);
  }
  std::free(reply);
  return items;
}

void setWindowProperty(xcb_connection_t* connection, xcb_window_t window, std::string_view name, xcb_atom_t type,
                       const std::vector<std::uint32_t>& items) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, name), type, 32,
                      static_cast<std::uint32_t>(items.size()), items.data());
}

// The top bands that the other windows the window manager lists reserve.
std::vector<TopReservation> otherReservations(xcb_connection_t* connection, xcb_window_t root, xcb_window_t own) {
  std::vector<TopReservation> reservations;
  for (const std::uint32_t window : windowProperty(connection, root, "_NET_CLIENT_LIST")) {
    if (window == own) continue;
    const std::vector<std::uint32_t> partial = windowProperty(connection, window, "_NET_WM_STRUT_PARTIAL");
    if (partial.size() >= 12 && partial[2] > 0) {
      reservations.push_back({static_cast<int>(partial[2]), static_cast<int>(partial[8]), static_cast<int>(partial[9])});
      continue;
    }
    const std::vector<std::uint32_t> strut = windowProperty(connection, window, "_NET_WM_STRUT");
    if (strut.size() >= 4 && strut[2] > 0) reservations.push_back({static_cast<int>(strut[2]), 0, 1 << 30});
  }
  return reservations;
}

}  // namespace

X11DockWindow::X11DockWindow(std::function<void()> rescaled) : rescaled_(std::move(rescaled)) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) {
    std::fputs("sonvetta: the status bar needs an X11 display\n", stderr);
    std::exit(1);
  }
  connection_ = x11->connection();
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  for (const char* name : {"_NET_WORKAREA", "_GTK_WORKAREAS_D0", "_NET_CLIENT_LIST", "_NET_CURRENT_DESKTOP"}) {
    watchedAtoms_.push_back(atom(connection_, name));
  }
  // A panel that comes, goes or changes its band changes the root's
  // properties; Qt may listen to the root already, so add rather than replace.
  if (xcb_get_window_attributes_reply_t* attributes =
          xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, root_), nullptr)) {
    const std::uint32_t events = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);
    std::free(attributes);
  }

  window_.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
  window_.setTitle("Sonvetta status bar");
  window_.create();
  setDockProperties();
  panel_ = std::make_unique<X11PanelColor>(connection_, windowId(), rescaled_);

  // Window managers change their work area and client list in bursts
  // (several panels at start, a restart); the bar moves once they settle.
  placeSoon_.setSingleShot(true);
  placeSoon_.setInterval(250);
  connect(&placeSoon_, &QTimer::timeout, this, &X11DockWindow::place);
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &X11DockWindow::followPrimaryScreen);
  followPrimaryScreen(QGuiApplication::primaryScreen());
  qGuiApp->installNativeEventFilter(this);
}

X11DockWindow::~X11DockWindow() { qGuiApp->removeNativeEventFilter(this); }

// Qt 6.4 keeps none of these for a window of its own, so they go straight
// to the display, before the window is first shown.
void X11DockWindow::setDockProperties() {
  const xcb_window_t window = windowId();
  setWindowProperty(connection_, window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {atom(connection_, "_NET_WM_WINDOW_TYPE_DOCK")});
  setWindowProperty(connection_, window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, {0xFFFFFFFF});
  setWindowProperty(connection_, window, "_NET_WM_STATE", XCB_ATOM_ATOM,
              {atom(connection_, "_NET_WM_STATE_STICKY"), atom(connection_, "_NET_WM_STATE_SKIP_TASKBAR"),
               atom(connection_, "_NET_WM_STATE_SKIP_PAGER"), atom(connection_, "_NET_WM_STATE_ABOVE")});
  constexpr std::string_view wmClass("sonvetta\0sonvetta\0", 18);
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      wmClass.size(), wmClass.data());
}

void X11DockWindow::followPrimaryScreen(QScreen* screen) {
  for (const QMetaObject::Connection& connection : screenChanges_) disconnect(connection);
  if (screen != nullptr) {
    const auto placeSoon = [this] { placeSoon_.start(); };
    screenChanges_[0] = connect(screen, &QScreen::geometryChanged, this, placeSoon);
    screenChanges_[1] = connect(screen, &QScreen::logicalDotsPerInchChanged, this, placeSoon);
    screenChanges_[2] = connect(screen, &QScreen::physicalDotsPerInchChanged, this, placeSoon);
  }
  placeSoon_.start();
}

bool X11DockWindow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
  if (change->window == root_ && std::ranges::find(watchedAtoms_, change->atom) != watchedAtoms_.end()) {
    placeSoon_.start();
  }
  return false;
}

std::function<std::unique_ptr<PresentationSurface>()> X11DockWindow::surfaceMaker() const {
  return [window = windowId()] { return X11PresentationSurface::connect(window); };
}

void X11DockWindow::show(QSizeF size, QColor background) {
  // i3 stretches a dock over its whole dock area; the compositor draws the
  // strip at the right end, and the server fills the rest in its background.
  if (background != background_) {
    background_ = background;
    const std::uint32_t pixel = background.rgb() & 0xFFFFFFu;
    xcb_change_window_attributes(connection_, windowId(), XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection_, 1, windowId(), 0, 0, 0, 0);
    xcb_flush(connection_);
  }
  if (size == size_ && window_.isVisible()) return;
  size_ = size;
  place();
  window_.show();
}

void X11DockWindow::place() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || size_.isEmpty()) return;
  // The display counts device pixels; Qt keeps a screen's top-left corner
  // and counts points from there.
  const double ratio = screen->devicePixelRatio();
  const QRect logicalScreen = screen->geometry();
  const QRect nativeScreen(logicalScreen.topLeft(), (QSizeF(logicalScreen.size()) * ratio).toSize());
  const QSize nativeSize(static_cast<int>(std::ceil(size_.width() * ratio)),
                         static_cast<int>(std::ceil(size_.height() * ratio)));
  const std::vector<TopReservation> others = otherReservations(connection_, root_, windowId());
  desktopReservation_ = desktopReservationBottom(desktopReservation_, workAreaTop(nativeScreen), ownReservations_,
                                                 reservationsBottom(nativeScreen, others));
  const QRect native(nativeScreen.right() + 1 - nativeSize.width(), dockTop(nativeScreen, desktopReservation_, others),
                     nativeSize.width(), nativeSize.height());

  // Writing the same strut again would have some window managers publish
  // their work area again, and the bar hear of it again, without end.
  const auto strut = topStrutFor(native);
  const int reserved = static_cast<int>(strut[2]);
  if (ownReservations_.empty() || ownReservations_.front() != reserved) {
    setWindowProperty(connection_, windowId(), "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, {strut.begin(), strut.end()});
    setWindowProperty(connection_, windowId(), "_NET_WM_STRUT", XCB_ATOM_CARDINAL, {0, 0, strut[2], 0});
    ownReservations_.insert(ownReservations_.begin(), reserved);
    ownReservations_.resize(std::min<std::size_t>(ownReservations_.size(), 2));
  }
  if (native != placed_) {
    // The toolkit keeps its own idea of the place, in points; the display is
    // told the place to the device pixel, which points cannot always say
    // (below a panel of odd height at 2x).
    const QPointF logicalTopLeft =
        QPointF(logicalScreen.topLeft()) + QPointF(native.topLeft() - nativeScreen.topLeft()) / ratio;
    window_.setGeometry(QRect(logicalTopLeft.toPoint(), size_.toSize()));
    const std::uint32_t exactly[] = {static_cast<std::uint32_t>(native.x()), static_cast<std::uint32_t>(native.y()),
                                     static_cast<std::uint32_t>(native.width()),
                                     static_cast<std::uint32_t>(native.height())};
    xcb_configure_window(connection_, windowId(),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         exactly);
  }
  placed_ = native;
  xcb_flush(connection_);
  panel_->readBeside(nativeScreen);
  if (placedDensity_ != 0.0 && ratio != placedDensity_) rescaled_();
  placedDensity_ = ratio;
}

std::optional<int> X11DockWindow::workAreaTop(const QRect& nativeScreen) const {
  const std::vector<std::uint32_t> current = windowProperty(connection_, root_, "_NET_CURRENT_DESKTOP");
  const std::size_t desktop = current.empty() ? 0 : current.front();
  const auto rectangleAt = [](const std::vector<std::uint32_t>& items, std::size_t index) {
    return QRect(static_cast<int>(items[index]), static_cast<int>(items[index + 1]), static_cast<int>(items[index + 2]),
                 static_cast<int>(items[index + 3]));
  };
  const std::vector<std::uint32_t> perMonitor =
      windowProperty(connection_, root_, "_GTK_WORKAREAS_D" + std::to_string(desktop));
  std::vector<QRect> monitorAreas;
  for (std::size_t index = 0; index + 4 <= perMonitor.size(); index += 4) monitorAreas.push_back(rectangleAt(perMonitor, index));
  const std::vector<std::uint32_t> workAreas = windowProperty(connection_, root_, "_NET_WORKAREA");
  std::optional<QRect> desktopArea;
  if (workAreas.size() >= 4 * (desktop + 1)) desktopArea = rectangleAt(workAreas, 4 * desktop);
  return workAreaTopOver(nativeScreen, monitorAreas, desktopArea);
}

}  // namespace platform
