#include "platform/statusbar/x11/x11_dock_window.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/statusbar/lost_display.h"
#include "platform/statusbar/x11/x11_presentation_surface.h"
#include "platform/statusbar/x11/x11_lookups.h"
#include "platform/statusbar/x11/dock_placement.h"
#include "platform/statusbar/x11/plasma_panels.h"

namespace platform {

namespace {

// Whether a compositing manager blends windows with an alpha channel over
// what is behind them; without one they show as they are drawn.
bool compositing(xcb_connection_t* connection) { return selectionOwner(connection, "_NET_WM_CM_S0") != XCB_NONE; }

// What `window` reserves and where it stands; none where it reserves nothing.
std::optional<PanelWindow> panelOf(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root) {
  std::vector<std::uint32_t> strut = windowProperty(connection, window, "_NET_WM_STRUT_PARTIAL");
  if (strut.size() < 12) {
    const std::vector<std::uint32_t> edges = windowProperty(connection, window, "_NET_WM_STRUT");
    if (edges.size() < 4) return std::nullopt;
    constexpr std::uint32_t wholeEdge = 1u << 30;
    strut = {edges[0], edges[1], edges[2], edges[3], 0, wholeEdge, 0, wholeEdge, 0, wholeEdge, 0, wholeEdge};
  }
  PanelWindow panel{{}, windowGeometry(connection, window, root),
                    windowDepth(connection, window) == 32 && compositing(connection)};
  std::copy_n(strut.begin(), panel.strut.size(), panel.strut.begin());
  panel.id = window;
  return panel;
}

// RandR's primary output, when one is set.
bool hasPrimaryOutput(xcb_connection_t* connection, xcb_window_t root) {
  const XcbReply<xcb_randr_get_output_primary_reply_t> primary{
      xcb_randr_get_output_primary_reply(connection, xcb_randr_get_output_primary(connection, root), nullptr)};
  return primary != nullptr && primary->output != XCB_NONE;
}

// Keeps the newest of the bar's reservations along one edge first and the
// one before it second.
void remember(std::vector<int>& reservations, int newest) {
  if (!reservations.empty() && reservations.front() == newest) return;
  reservations.insert(reservations.begin(), newest);
  reservations.resize(std::min<std::size_t>(reservations.size(), 2));
}

}  // namespace

X11DockWindow::X11DockWindow(const QString& title, std::function<void()> needsDrawing)
    : needsDrawing_(std::move(needsDrawing)) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  // The toolkit was told to use X11; without its connection there is no display.
  if (x11 == nullptr || x11->connection() == nullptr) endForLostDisplay();
  connection_ = x11->connection();
  root_ = rootWindow(connection_);
  for (const char* name : {"_NET_WORKAREA", "_GTK_WORKAREAS_D0", "_NET_CLIENT_LIST", "_NET_CURRENT_DESKTOP"}) {
    watchedAtoms_.push_back(internAtom(connection_, name));
  }
  strutAtoms_ = {internAtom(connection_, "_NET_WM_STRUT_PARTIAL"), internAtom(connection_, "_NET_WM_STRUT")};
  // A panel that comes, goes or changes its band changes the root's
  // properties; Qt may listen to the root already, so add rather than replace.
  if (const XcbReply<xcb_get_window_attributes_reply_t> attributes{
          xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, root_), nullptr)}) {
    const std::uint32_t events = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);
  }

  window_.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
  window_.setTitle(title);
  window_.create();
  setDockProperties();
  panel_ = std::make_unique<X11PanelColor>(connection_, windowId(), needsDrawing_);
  // What covers the strip is no panel to take the colour of.
  cover_ = std::make_unique<CoverWatch>(connection_, windowId(), [this](bool hidden) { panel_->setCovered(hidden); });

  // Window managers change their work area and client list in bursts
  // (several panels at start, a restart); the bar moves once they settle.
  placeSoon_.setSingleShot(true);
  placeSoon_.setInterval(250);
  connect(&placeSoon_, &QTimer::timeout, this, &X11DockWindow::place);
  // Plasma's panels on Wayland are no X windows: only their settings, saved
  // anew (a new file renamed over the old) when one moves, floats or is
  // resized, tell where they are. A colour scheme applied is saved there
  // too (kdeglobals), and the panel, drawn in it, is read again as the bar
  // is placed.
  settingsWatch_.addPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  connect(&settingsWatch_, &QFileSystemWatcher::directoryChanged, this, [this] {
    settingsSaved_ = true;
    placeSoon_.start();
  });
  // A monitor plugged in or out can change which screen the bar belongs
  // on, whether or not it changes the primary one.
  const auto followBarScreen = [this] { followScreen(barScreen()); };
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, followBarScreen);
  connect(qGuiApp, &QGuiApplication::screenAdded, this, followBarScreen);
  connect(qGuiApp, &QGuiApplication::screenRemoved, this, followBarScreen);
  followScreen(barScreen());
  qGuiApp->installNativeEventFilter(this);
}

X11DockWindow::~X11DockWindow() { qGuiApp->removeNativeEventFilter(this); }

// Qt 6.4 keeps none of these for a window of its own, so they go straight
// to the display, before the window is first shown.
void X11DockWindow::setDockProperties() {
  const xcb_window_t window = windowId();
  setWindowProperty(connection_, window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {internAtom(connection_, "_NET_WM_WINDOW_TYPE_DOCK")});
  setWindowProperty(connection_, window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, {0xFFFFFFFF});
  setWindowProperty(connection_, window, "_NET_WM_STATE", XCB_ATOM_ATOM,
              {internAtom(connection_, "_NET_WM_STATE_STICKY"), internAtom(connection_, "_NET_WM_STATE_SKIP_TASKBAR"),
               internAtom(connection_, "_NET_WM_STATE_SKIP_PAGER"), internAtom(connection_, "_NET_WM_STATE_ABOVE")});
  // The strip is drawn outside the toolkit, which so never says when a frame
  // the window manager asked for is drawn: GNOME Shell would go on showing
  // the window as it was when it asked (blank), until some later change.
  std::vector<std::uint32_t> protocols = windowProperty(connection_, window, "WM_PROTOCOLS");
  std::erase(protocols, internAtom(connection_, "_NET_WM_SYNC_REQUEST"));
  setWindowProperty(connection_, window, "WM_PROTOCOLS", XCB_ATOM_ATOM, protocols);
  xcb_delete_property(connection_, window, internAtom(connection_, "_NET_WM_SYNC_REQUEST_COUNTER"));
  constexpr std::string_view wmClass("sonvetta\0sonvetta\0", 18);
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                      wmClass.size(), wmClass.data());
}

// RandR's primary output; where none is set, the screen at the origin.
QScreen* X11DockWindow::barScreen() const {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (!hasPrimaryOutput(connection_, root_)) {
    std::vector<QRect> geometries;
    for (const QScreen* screen : screens) geometries.push_back(screen->geometry());
    if (const std::optional<std::size_t> atOrigin = screenAtOrigin(geometries)) return screens[*atOrigin];
  }
  return QGuiApplication::primaryScreen();
}

void X11DockWindow::followScreen(QScreen* screen) {
  for (const QMetaObject::Connection& connection : screenChanges_) disconnect(connection);
  if (screen != nullptr) {
    const auto placeSoon = [this] { placeSoon_.start(); };
    screenChanges_[0] = connect(screen, &QScreen::geometryChanged, this, placeSoon);
    screenChanges_[1] = connect(screen, &QScreen::logicalDotsPerInchChanged, this, placeSoon);
    screenChanges_[2] = connect(screen, &QScreen::physicalDotsPerInchChanged, this, placeSoon);
  }
  placeSoon_.start();
}

// A panel's own struts and window are watched too: one that floats or
// docks, or grows or shrinks by a few rows, changes nothing of the root's.
void X11DockWindow::watchPanel(std::uint32_t window) {
  if (!watchedPanels_.insert(window).second) return;
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &events);
}

bool X11DockWindow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  cover_->handle(*event);
  const std::uint8_t type = event->response_type & 0x7f;
  if (type == XCB_PROPERTY_NOTIFY) {
    const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
    const bool rootChange =
        change->window == root_ && std::ranges::find(watchedAtoms_, change->atom) != watchedAtoms_.end();
    const bool panelChange = watchedPanels_.contains(change->window) &&
                             std::ranges::find(strutAtoms_, change->atom) != strutAtoms_.end();
    if (rootChange || panelChange) placeSoon_.start();
  } else if (type == XCB_CONFIGURE_NOTIFY) {
    if (watchedPanels_.contains(static_cast<const xcb_configure_notify_event_t*>(message)->window)) placeSoon_.start();
  } else if (type == XCB_DESTROY_NOTIFY) {
    watchedPanels_.erase(static_cast<const xcb_destroy_notify_event_t*>(message)->window);
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
  const QScreen* screen = barScreen();
  if (screen == nullptr || size_.isEmpty()) return;
  // The display counts device pixels; Qt keeps a screen's top-left corner
  // and counts points from there.
  const double ratio = screen->devicePixelRatio();
  const QRect logicalScreen = screen->geometry();
  const QRect nativeScreen(logicalScreen.topLeft(), (QSizeF(logicalScreen.size()) * ratio).toSize());
  const QSize nativeSize(static_cast<int>(std::ceil(size_.width() * ratio)),
                         static_cast<int>(std::ceil(size_.height() * ratio)));
  const QSize root = windowGeometry(connection_, root_, root_).size();
  if (root.isEmpty()) return;
  std::vector<PanelWindow> panels;
  const xcb_window_t tray = topLevelOf(connection_, selectionOwner(connection_, "_NET_SYSTEM_TRAY_S0"), root_);
  for (const std::uint32_t window : windowProperty(connection_, root_, "_NET_CLIENT_LIST")) {
    if (window == windowId()) continue;
    if (std::optional<PanelWindow> panel = panelOf(connection_, window, root_)) {
      watchPanel(window);
      panel->holdsTray = tray != XCB_NONE && topLevelOf(connection_, window, root_) == tray;
      panels.push_back(*panel);
    }
  }
  const PanelBands bands = bandsOf(panels, root);
  const std::optional<QRect> workArea = this->workArea(nativeScreen);
  // Plasma's panels on Wayland are no X windows, and the band one reserves
  // may be less deep than its window reaches (it floats): only its
  // settings tell.
  const QDBusConnectionInterface* names = QDBusConnection::sessionBus().interface();
  const bool plasmaRuns = names != nullptr && names->isServiceRegistered("org.kde.plasmashell").value();
  const PlasmaPanelDepths plasma = plasmaRuns ? plasmaPanelDepths() : PlasmaPanelDepths{};
  // Saved only some seconds after a panel moves, the settings are the
  // newer word only just after they are saved.
  const bool plasmaSaidLast = plasmaRuns && std::exchange(settingsSaved_, false);
  const auto reservedAlong = [&](ScreenEdge edge, int& learnt, const std::vector<int>& own) {
    const int othersDepth = reservationsDepth(edge, nativeScreen, root, bands.edges);
    const int plasmaDepth = static_cast<int>(std::lround((edge == ScreenEdge::top ? plasma.top : plasma.bottom) * ratio));
    // A panel that left an edge where the strip's own band stays leaves the
    // work area as it was: its settings tell that it went.
    if (plasmaSaidLast && plasmaDepth == 0) learnt = 0;
    learnt = desktopReservationDepth(learnt, workArea ? std::optional(depthOf(edge, *workArea, root)) : std::nullopt,
                                     own, othersDepth);
    return std::max(learnt > 0 ? std::max(learnt, plasmaDepth) : 0, othersDepth);
  };
  const EdgeDepths reserved{reservedAlong(ScreenEdge::top, desktopTop_, ownTop_),
                            reservedAlong(ScreenEdge::bottom, desktopBottom_, ownBottom_)};
  const ScreenEdge edge = dockEdge(nativeScreen, root, reserved, bands.verticalTray);
  const QRect native =
      dockGeometry(nativeScreen, root, reserved, nativeSize, rightInset(nativeScreen, root, bands.right),
                   bands.verticalTray);

  // Writing the same strut again would have some window managers publish
  // their work area again, and the bar hear of it again, without end.
  const auto strut = strutFor(edge, native, root);
  if (strut != strut_) {
    strut_ = strut;
    setWindowProperty(connection_, windowId(), "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, {strut.begin(), strut.end()});
    setWindowProperty(connection_, windowId(), "_NET_WM_STRUT", XCB_ATOM_CARDINAL, {0, 0, strut[2], strut[3]});
    remember(ownTop_, static_cast<int>(strut[2]));
    remember(ownBottom_, static_cast<int>(strut[3]));
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
  const PanelWindow* translucent = translucentPanelBeside(edge, native, panels, root);
  panel_->readBeside(nativeScreen, translucent == nullptr ? 0 : translucent->id);
  cover_->stripMoved(native);
  if (placedDensity_ != 0.0 && ratio != placedDensity_) needsDrawing_();
  placedDensity_ = ratio;
}

std::optional<QRect> X11DockWindow::workArea(const QRect& nativeScreen) const {
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
  return workAreaOver(nativeScreen, monitorAreas, desktopArea);
}

}  // namespace platform
