// Runs the real sonvetta on a virtual X display with a real window manager
// (openbox) and panel (tint2 along the top) and checks that the status bar is
// a dock where a user expects it: below the panel at the right end, on every
// workspace, out of task lists, with its band kept clear of maximised windows.
#include <xcb/xcb.h>

#include <QColor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/marquee/marquee_view.h"
#include "app/vocabulary.h"
#include "app_under_test.h"
#include "platform/compositor/frame_composition.h"
#include "platform/notifications/dbus_post.h"
#include "platform/statusbar/x11/x11_presentation_surface.h"
#include "platform/text/text_measurer.h"
#include "session.h"
#include "x11_display.h"

namespace {

using namespace sonvetta::testdata;
using sonvetta::vocabulary::statusBarTitle;

// X alone, where the test starts openbox and tint2 as it needs them.
class X11DockTest : public testing::Test {
 protected:
  // Openbox has taken over the display, its work area not yet set.
  bool openboxManages() const {
    const std::vector<std::uint32_t> check = display.numbers(display.root(), "_NET_SUPPORTING_WM_CHECK");
    return !check.empty() && display.text(check[0], display.atom("_NET_WM_NAME")) == "Openbox" &&
           display.workAreaTop() == 0;
  }

  // Starts openbox and waits until it manages the display.
  void startOpenbox() {
    windowManager_ = start("openbox");
    ASSERT_TRUE(QTest::qWaitFor([&] { return openboxManages(); }, 10000)) << "openbox did not start";
  }

  // The bar's window, once the application has made it; none if it never does.
  xcb_window_t barWindow() const {
    xcb_window_t bar = XCB_NONE;
    return QTest::qWaitFor([&] { return (bar = display.clientTitled(statusBarTitle)) != XCB_NONE; }, 10000)
               ? bar
               : XCB_NONE;
  }

  std::unique_ptr<Program> start(const QString& program, const QStringList& arguments = {}) const {
    return std::make_unique<Program>(program, arguments, session.onDisplay());
  }

  Session session{"xvfb"};
  X11Display display{session.value("DISPLAY").toLocal8Bit().constData()};
  std::unique_ptr<Program> windowManager_;
};

TEST_F(X11DockTest, StandsRightBelowThePanelOnEveryWorkspaceAndKeepsMaximisedWindowsClear) {
  ASSERT_NO_FATAL_FAILURE(startOpenbox());
  AppUnderTest app(session.onDisplay());
  const xcb_window_t bar = barWindow();
  ASSERT_NE(bar, XCB_NONE) << "no bar window";
  EXPECT_TRUE(QTest::qWaitFor([&] { return display.geometry(bar) == QRect(1080, 0, 200, 22); }, 10000))
      << "without a panel it stands at the very top";

  // A panel that comes later pushes the bar below it.
  const auto panel = start("tint2", {"-c", TINT2RC});
  EXPECT_TRUE(QTest::qWaitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }, 10000))
      << "it stands at " << display.geometry(bar).x() << ", " << display.geometry(bar).y();
  EXPECT_TRUE(QTest::qWaitFor([&] { return display.workAreaTop() == 52; }, 10000))
      << "its band is reserved below the panel";
  const std::vector<std::uint32_t> strut = display.numbers(bar, "_NET_WM_STRUT_PARTIAL");
  EXPECT_EQ(strut, (std::vector<std::uint32_t>{0, 0, 52, 0, 0, 0, 0, 0, 1080, 1279, 0, 0}));

  EXPECT_EQ(display.numbers(bar, "_NET_WM_WINDOW_TYPE"),
            std::vector<std::uint32_t>{display.atom("_NET_WM_WINDOW_TYPE_DOCK")});
  EXPECT_EQ(display.numbers(bar, "_NET_WM_DESKTOP"), std::vector<std::uint32_t>{0xFFFFFFFF});
  const std::vector<std::uint32_t> state = display.numbers(bar, "_NET_WM_STATE");
  for (const char* flag : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
    EXPECT_NE(std::find(state.begin(), state.end(), display.atom(flag)), state.end()) << flag;
  }
  EXPECT_EQ(display.text(bar, XCB_ATOM_WM_CLASS), std::string("sonvetta\0sonvetta\0", 18));
  const std::vector<std::uint32_t> hints = display.numbers(bar, "WM_HINTS");
  ASSERT_GE(hints.size(), 2u);
  EXPECT_TRUE((hints[0] & 1) != 0 && hints[1] == 0) << "it never takes the keyboard focus";

  // A maximised window keeps clear of the panel and the bar.
  const auto window = start("xterm", {"-fa", "Monospace", "-T", "A maximised window"});
  xcb_window_t maximised = XCB_NONE;
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return (maximised = display.windowNamed("A maximised window")) != XCB_NONE; }, 10000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        session.run({"wmctrl", "-r", "A maximised window", "-b", "add,maximized_vert,maximized_horz"});
        return display.geometry(maximised).top() >= 52 && display.geometry(maximised).height() > 600;
      },
      10000))
      << "the maximised window's top is at " << display.geometry(maximised).top();

  for (std::uint32_t workspace : {1u, 3u, 0u}) {
    display.switchToWorkspace(workspace);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return display.numbers(display.root(), "_NET_CURRENT_DESKTOP") == std::vector{workspace}; }, 10000));
    EXPECT_TRUE(display.isViewable(bar)) << "on workspace " << workspace;
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// A panel that goes away and comes back: the bar follows within a second
// each time and then stays, never stopping anywhere in between.
TEST_F(X11DockTest, FollowsAPanelThatGoesAwayAndComesBack) {
  ASSERT_NO_FATAL_FAILURE(startOpenbox());
  auto panel = start("tint2", {"-c", TINT2RC});
  ASSERT_TRUE(QTest::qWaitFor([&] { return display.workAreaTop() == 30; }, 10000)) << "tint2 did not start";
  AppUnderTest app(session.onDisplay());
  const xcb_window_t bar = barWindow();
  ASSERT_NE(bar, XCB_NONE) << "no bar window";
  ASSERT_TRUE(QTest::qWaitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }, 10000));

  const auto followsTo = [&](const QRect& place) {
    QElapsedTimer timer;
    timer.start();
    if (!QTest::qWaitFor([&] { return display.geometry(bar) == place; }, 1000)) return false;
    const qint64 followedAfter = timer.elapsed();
    for (int sample = 0; sample < 40; ++sample) {
      QTest::qWait(50);
      if (display.geometry(bar) != place) return false;
    }
    return followedAfter <= 1000 && display.workAreaTop() == place.bottom() + 1;
  };
  panel.reset();
  EXPECT_TRUE(followsTo(QRect(1080, 0, 200, 22))) << "the panel went away; it stands at " << display.geometry(bar).y();
  panel = start("tint2", {"-c", TINT2RC});
  EXPECT_TRUE(QTest::qWaitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }, 5000))
      << "the panel came back; it stands at " << display.geometry(bar).y();
  EXPECT_TRUE(followsTo(QRect(1080, 30, 200, 22)));
}

// How often the application's compositor thread has woken up so far.
long compositorWakeUps(qint64 process) {
  for (const QString& thread : QDir(QString("/proc/%1/task").arg(process)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString task = QString("/proc/%1/task/%2/").arg(process).arg(thread);
    QFile name(task + "comm");
    if (!name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != "compositor") continue;
    QFile status(task + "status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (line.startsWith("voluntary_ctxt_switches:")) return line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
  }
  return -1;
}

// How often the application's compositor thread wakes up over a second,
// once a change it was just told of has passed.
long compositorWakeUpsOverASecond(AppUnderTest& app) {
  QTest::qWait(300);  // the change itself may take a frame or two
  const long before = compositorWakeUps(app.process().processId());
  QTest::qWait(1000);
  return compositorWakeUps(app.process().processId()) - before;
}

// Says a track plays whose line is too long for the strip.
void postLongTrack() {
  namespace words = sonvetta::vocabulary;
  platform::postNotification(QDBusConnection::sessionBus(), words::spotifyNotification,
                             {{words::spotifyStateKey, words::playing},
                              {words::artistKey, "An Artist With A Long Name"},
                              {words::albumKey, "An Album With A Long Name"},
                              {words::titleKey, "A Long Title"}});
}

// Says on the session bus, as a desktop's locker does, that it is up or down.
void announceActive(const char* path, const char* interface, bool active) {
  QDBusMessage activeChanged = QDBusMessage::createSignal(path, interface, "ActiveChanged");
  activeChanged << active;
  QDBusConnection::sessionBus().send(activeChanged);
}

// The desktop's locker, up since before the application started: it says
// so when asked, as KDE's does.
class LockedScreenSaver final : public QDBusVirtualObject {
 public:
  LockedScreenSaver() {
    QDBusConnection::sessionBus().registerVirtualObject(path, this);
    QDBusConnection::sessionBus().registerService(service);
  }
  ~LockedScreenSaver() override {
    QDBusConnection::sessionBus().unregisterService(service);
    QDBusConnection::sessionBus().unregisterObject(path);
  }

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != "GetActive") return false;
    connection.send(message.createReply(true));
    return true;
  }
  static void unlock() { announceActive(path, service, false); }

 private:
  static constexpr const char* service = "org.freedesktop.ScreenSaver";
  static constexpr const char* path = "/org/freedesktop/ScreenSaver";
};

// A scrolling line that nobody can see costs nothing: while a locker's
// window covers the screen, the screen saver has blanked it, or the
// desktop's locker says on the session bus that it is up, the compositor
// sleeps; then the line goes on scrolling where it is shown.
TEST_F(X11DockTest, AScrollThatCannotBeSeenWakesNothing) {
  ASSERT_NO_FATAL_FAILURE(startOpenbox());
  AppUnderTest app(session.onDisplay());
  ASSERT_NE(barWindow(), XCB_NONE) << "no bar window";
  const auto wakeUpsOverASecond = [&] { return compositorWakeUpsOverASecond(app); };
  // Posted again until the application, still starting, has heard it.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        postLongTrack();
        return wakeUpsOverASecond() > 10;
      },
      10000))
      << "it scrolls";

  xcb_connection_t* connection = xcb_connect(session.value("DISPLAY").toLocal8Bit().constData(), nullptr);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t locker = xcb_generate_id(connection);
  const std::uint32_t attributes[] = {0x000000, 1};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, locker, screen->root, 0, 0, screen->width_in_pixels,
                    screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, attributes);
  xcb_map_window(connection, locker);
  xcb_flush(connection);
  EXPECT_LE(wakeUpsOverASecond(), 1) << "covered by a locker's window";
  xcb_destroy_window(connection, locker);
  xcb_flush(connection);
  EXPECT_GT(wakeUpsOverASecond(), 10) << "uncovered";

  xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_ACTIVE);
  xcb_flush(connection);
  EXPECT_LE(wakeUpsOverASecond(), 1) << "blanked by the screen saver";
  xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
  xcb_flush(connection);
  EXPECT_GT(wakeUpsOverASecond(), 10) << "the screen saver ended";
  xcb_disconnect(connection);

  // A compositing window manager's locker is nothing X knows of: the
  // desktop's locker says so on the session bus, each desktop's on an
  // interface of its own.
  for (const auto& [path, interface] : {std::pair{"/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
                                        std::pair{"/ScreenSaver", "org.freedesktop.ScreenSaver"},
                                        std::pair{"/org/cinnamon/ScreenSaver", "org.cinnamon.ScreenSaver"},
                                        std::pair{"/org/mate/ScreenSaver", "org.mate.ScreenSaver"},
                                        std::pair{"/org/xfce/ScreenSaver", "org.xfce.ScreenSaver"}}) {
    announceActive(path, interface, true);
    EXPECT_LE(wakeUpsOverASecond(), 1) << interface << " locked the screen";
    announceActive(path, interface, false);
    EXPECT_GT(wakeUpsOverASecond(), 10) << interface << " unlocked it";
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// Started behind the locker, it scrolls nothing until the screen is
// unlocked.
TEST_F(X11DockTest, StartedWhileLockedWakesNothingUntilTheUnlock) {
  const LockedScreenSaver locker;
  ASSERT_NO_FATAL_FAILURE(startOpenbox());
  AppUnderTest app(session.onDisplay());
  ASSERT_NE(barWindow(), XCB_NONE) << "no bar window";
  // Posted for a while, until the application, still starting, has surely heard it.
  for (int time = 0; time < 2000; time += 500) {
    postLongTrack();
    QTest::qWait(500);
  }
  EXPECT_LE(compositorWakeUpsOverASecond(app), 1) << "locked since before it started";
  LockedScreenSaver::unlock();
  EXPECT_GT(compositorWakeUpsOverASecond(app), 10) << "unlocked";
}

// A window of the test's own on X alone, shown by a surface as the status
// bar's window is.
class X11PresentationSurfaceTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t windowBackground = 0xeeeeee;

  // The surface connects to the display this process names.
  X11PresentationSurfaceTest() { session.enter(); }
  void SetUp() override { ASSERT_EQ(xcb_connection_has_error(connection), 0); }
  void TearDown() override { xcb_disconnect(connection); }

  std::unique_ptr<platform::X11PresentationSurface> surfaceOfWidth(int width) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    window = xcb_generate_id(connection);
    const std::uint32_t attributes[] = {windowBackground, 1};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 21, static_cast<std::uint16_t>(width),
                      44, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, attributes);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    return platform::X11PresentationSurface::connect(window);
  }

  // What the window shows in `area`, as opaque pixels.
  QImage shown(QRect area) const { return display.image(window, area); }

  Session session{"xvfb"};
  const X11Display display{session.value("DISPLAY").toLocal8Bit().constData()};
  xcb_connection_t* connection = xcb_connect(session.value("DISPLAY").toLocal8Bit().constData(), nullptr);
  xcb_window_t window = XCB_NONE;
};

// i3 stretches a dock over the whole output: the strip is shown at the
// right end of the band it gives, the window's background in the rest.
TEST_F(X11PresentationSurfaceTest, ShowsTheStripAtTheRightEndOfAWiderWindow) {
  const std::unique_ptr<platform::X11PresentationSurface> surface = surfaceOfWidth(1280);
  ASSERT_NE(surface, nullptr);
  QImage frame(200, 22, QImage::Format_RGB32);
  frame.fill(QColor(0xff, 0x00, 0xff));
  const auto pixelAt = [&](int x) { return shown({x, 11, 1, 1}).pixel(0, 0) & 0xffffffu; };
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        surface->dispatchEvents();
        surface->present(frame);
        return pixelAt(1080) == 0xff00ff;
      },
      10000))
      << "at the right end";
  EXPECT_EQ(pixelAt(1279), 0xff00ffu);
  EXPECT_EQ(pixelAt(1079), windowBackground) << "the rest in the strip's background";
  EXPECT_EQ(pixelAt(0), windowBackground);
}

// A scrolling line goes to the server once, and every frame of its scroll,
// past the part of the film the server held first too, shows exactly the
// composited frame.
TEST_F(X11PresentationSurfaceTest, AKeptScrollShowsTheCompositedFrames) {
  const std::unique_ptr<platform::X11PresentationSurface> surface = surfaceOfWidth(600);
  ASSERT_NE(surface, nullptr);
  const platform::QtTextMeasurer measurer;
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), measurer);
  marquee.update(nullptr, std::string(1000, 'w') + " - An Album - An Artist");
  const platform::LayerTree::Placement placement{&marquee, {0.0, 0.0}};
  const platform::LayerTree tree(marquee.bounds().size, 2.0, Qt::white, {&placement, 1}, Qt::black);
  const std::optional<platform::Retention> retention = platform::retain(tree);
  ASSERT_TRUE(retention);
  ASSERT_GT(retention->frame->lastOffset(), 2 * platform::FilmSlice::step);
  const double begin = marquee.subviews().at(0)->layer()->animation("marqueeAnimation")->beginTime;
  const double pixelsPerSecond = 37.0 * 2.0;
  for (const double pixels : {0.0, 1.0, 150.0, 4095.0, 4096.0, 4300.0, 9000.0, 151.0}) {
    SCOPED_TRACE(testing::Message() << "after " << pixels << " pixels");
    const std::vector<int> shifts = platform::layerShiftsAt(tree, begin + (pixels + 0.1) / pixelsPerSecond);
    const QImage expected = platform::compositeFrame(tree, shifts).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          surface->dispatchEvents();
          surface->presentRetained(retention->frame, retention->offsetAt(shifts));
          return shown({200, 0, 400, 44}) == expected;
        },
        10000));
  }
}

// Covered whole, unmapped or blanked by the screen saver, the window takes
// no frames; back in sight it takes a whole one. Half covered, it still
// shows.
TEST_F(X11PresentationSurfaceTest, TakesNoFramesWhileItCannotBeSeen) {
  const std::unique_ptr<platform::X11PresentationSurface> surface = surfaceOfWidth(200);
  ASSERT_NE(surface, nullptr);
  const auto becomes = [&](bool ready) {
    return QTest::qWaitFor(
        [&] {
          surface->dispatchEvents();
          return surface->readyForFrame() == ready && (!ready || surface->needsRedraw());
        },
        10000);
  };
  QImage frame(200, 22, QImage::Format_RGB32);
  frame.fill(Qt::red);
  ASSERT_TRUE(becomes(true));
  surface->present(frame);

  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const auto coverOf = [&](std::uint16_t width) {
    const xcb_window_t cover = xcb_generate_id(connection);
    const std::uint32_t attributes[] = {0x000000, 1};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, cover, screen->root, 0, 0, width, screen->height_in_pixels, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                      attributes);
    xcb_map_window(connection, cover);
    xcb_flush(connection);
    return cover;
  };
  const xcb_window_t halfCover = coverOf(100);
  QTest::qWait(300);
  surface->dispatchEvents();
  EXPECT_TRUE(surface->readyForFrame()) << "half covered";
  // Each way of hiding it holds frames back, and its end lets them through.
  const auto holdsFramesWhile = [&](const std::function<void()>& hide, const std::function<void()>& show,
                                    const char* hidden, const char* shown) {
    hide();
    xcb_flush(connection);
    EXPECT_TRUE(becomes(false)) << hidden;
    show();
    xcb_flush(connection);
    EXPECT_TRUE(becomes(true)) << shown;
    surface->present(frame);
  };
  xcb_window_t cover = 0;
  holdsFramesWhile([&] { cover = coverOf(screen->width_in_pixels); },
                   [&] {
                     xcb_destroy_window(connection, cover);
                     xcb_destroy_window(connection, halfCover);
                   },
                   "covered by a window over the whole screen", "uncovered");
  holdsFramesWhile([&] { xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_ACTIVE); },
                   [&] { xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET); },
                   "the screen saver blanked the screen", "the screen saver ended");
  holdsFramesWhile([&] { xcb_unmap_window(connection, window); }, [&] { xcb_map_window(connection, window); },
                   "unmapped", "mapped again");
  const auto sayLocked = [&](std::uint32_t locked) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, display.atom(platform::hiddenProperty),
                        XCB_ATOM_CARDINAL, 32, 1, &locked);
  };
  holdsFramesWhile([&] { sayLocked(1); }, [&] { sayLocked(0); }, "the screen locked", "unlocked");
}

TEST_F(X11DockTest, TheDisplayGoingAwayEndsTheProgramWithOneLine) {
  AppUnderTest app(session.onDisplay());
  QTest::qWait(1500);
  const qsizetype starting = app.standardError().size();  // whatever the toolkit says while starting
  session.kill();
  ASSERT_TRUE(app.process().waitForFinished(10000)) << "it outlived its display";
  EXPECT_NE(app.process().exitCode(), 0);
  const QStringList lines = QString::fromUtf8(app.standardError().mid(starting)).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(lines, QStringList{"sonvetta: the display has gone away"});
}

}  // namespace
