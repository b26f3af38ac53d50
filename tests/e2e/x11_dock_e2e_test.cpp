// Runs the real sonvetta on a virtual X display with a real window manager
// (openbox) and panel (tint2 along the top) and checks that the status bar is
// a dock where a user expects it: below the panel at the right end, on every
// workspace, out of task lists, with its band kept clear of maximised windows.
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/marquee/marquee_view.h"
#include "event_loop_waits.h"
#include "platform/compositor/frame_composition.h"
#include "platform/statusbar/x11/x11_presentation_surface.h"
#include "x11_display.h"
#include "temporary_folder.h"

namespace {

using sonvetta::testdata::wait;
using sonvetta::testdata::waitFor;
using sonvetta::testdata::X11Display;

class DesktopProcess {
 public:
  explicit DesktopProcess(const QString& program, const QStringList& arguments = {},
                          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    process_.start(program, arguments);
    process_.waitForStarted(10000);
  }
  ~DesktopProcess() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
};

class X11DockTest : public testing::Test {
 protected:
  QProcessEnvironment appEnvironment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home_.path().string()));
    return environment;
  }

  // Openbox has taken over the display: the root's work area may still be
  // the one an earlier openbox left.
  bool openboxManages() const {
    const std::vector<std::uint32_t> check = display.numbers(display.root(), "_NET_SUPPORTING_WM_CHECK");
    return !check.empty() && display.text(check[0], display.atom("_NET_WM_NAME")) == "Openbox" &&
           display.workAreaTop() == 0;
  }

  X11Display display;
  sonvetta::testdata::TemporaryFolder home_;
};

TEST_F(X11DockTest, StandsRightBelowThePanelOnEveryWorkspaceAndKeepsMaximisedWindowsClear) {
  DesktopProcess windowManager(OPENBOX);
  ASSERT_TRUE(waitFor([&] { return openboxManages(); })) << "openbox did not start";
  DesktopProcess app(SONVETTA, {}, appEnvironment());
  xcb_window_t bar = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (bar = display.clientTitled("Sonvetta status bar")) != XCB_NONE; }));
  EXPECT_TRUE(waitFor([&] { return display.geometry(bar) == QRect(1080, 0, 200, 22); }))
      << "without a panel it stands at the very top";

  // A panel that comes later pushes the bar below it.
  DesktopProcess panel(TINT2, {"-c", TINT2RC});
  EXPECT_TRUE(waitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }))
      << "it stands at " << display.geometry(bar).x() << ", " << display.geometry(bar).y();
  EXPECT_TRUE(waitFor([&] { return display.workAreaTop() == 52; })) << "its band is reserved below the panel";
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
  QWindow window;
  window.setTitle("A maximised window");
  window.showMaximized();
  xcb_window_t maximised = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (maximised = display.clientTitled("A maximised window")) != XCB_NONE; }));
  EXPECT_TRUE(waitFor([&] { return display.geometry(maximised).top() >= 52 && display.geometry(maximised).height() > 600; }))
      << "the maximised window's top is at " << display.geometry(maximised).top();

  for (std::uint32_t workspace : {1u, 3u, 0u}) {
    display.switchToWorkspace(workspace);
    ASSERT_TRUE(waitFor([&] { return display.numbers(display.root(), "_NET_CURRENT_DESKTOP") == std::vector{workspace}; }));
    EXPECT_TRUE(display.isViewable(bar)) << "on workspace " << workspace;
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// A panel that goes away and comes back: the bar follows within a second
// each time and then stays, never stopping anywhere in between.
TEST_F(X11DockTest, FollowsAPanelThatGoesAwayAndComesBack) {
  DesktopProcess windowManager(OPENBOX);
  ASSERT_TRUE(waitFor([&] { return openboxManages(); })) << "openbox did not start";
  auto panel = std::make_unique<DesktopProcess>(TINT2, QStringList{"-c", TINT2RC});
  ASSERT_TRUE(waitFor([&] { return display.workAreaTop() == 30; })) << "tint2 did not start";
  DesktopProcess app(SONVETTA, {}, appEnvironment());
  xcb_window_t bar = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (bar = display.clientTitled("Sonvetta status bar")) != XCB_NONE; }));
  ASSERT_TRUE(waitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }));

  const auto followsTo = [&](const QRect& place) {
    QElapsedTimer timer;
    timer.start();
    if (!waitFor([&] { return display.geometry(bar) == place; }, 1000)) return false;
    const qint64 followedAfter = timer.elapsed();
    for (int sample = 0; sample < 40; ++sample) {
      wait(50);
      if (display.geometry(bar) != place) return false;
    }
    return followedAfter <= 1000 && display.workAreaTop() == place.bottom() + 1;
  };
  panel.reset();
  EXPECT_TRUE(followsTo(QRect(1080, 0, 200, 22))) << "the panel went away; it stands at " << display.geometry(bar).y();
  panel = std::make_unique<DesktopProcess>(TINT2, QStringList{"-c", TINT2RC});
  EXPECT_TRUE(waitFor([&] { return display.geometry(bar) == QRect(1080, 30, 200, 22); }, 5000))
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

// A scrolling line that nobody can see costs nothing: while a locker's
// window covers the screen, or the screen saver has blanked it, the
// compositor sleeps; then the line goes on scrolling where it is shown.
TEST_F(X11DockTest, AScrollThatCannotBeSeenWakesNothing) {
  DesktopProcess windowManager(OPENBOX);
  ASSERT_TRUE(waitFor([&] { return openboxManages(); })) << "openbox did not start";
  DesktopProcess app(SONVETTA, {}, appEnvironment());
  xcb_window_t bar = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (bar = display.clientTitled("Sonvetta status bar")) != XCB_NONE; }));
  const qint64 pid = app.process().processId();
  const auto wakeUpsOverASecond = [&] {
    wait(300);  // the change itself may take a frame or two
    const long before = compositorWakeUps(pid);
    wait(1000);
    return compositorWakeUps(pid) - before;
  };
  // Posted again until the application, still starting, has heard it.
  ASSERT_TRUE(waitFor([&] {
    QProcess::execute(SONVETTA_POST, {"com.spotify.client.PlaybackStateChanged", "PlayerState=Playing",
                                      "Artist=An Artist With A Long Name", "Album=An Album With A Long Name",
                                      "Name=A Long Title"});
    return wakeUpsOverASecond() > 10;
  })) << "it scrolls";

  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
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
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// A window of the test's own on the display, shown by a surface as the
// status bar's window is.
class X11PresentationSurfaceTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t windowBackground = 0xeeeeee;

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
  QImage shown(QRect area) const {
    QImage pixels(area.size(), QImage::Format_RGB32);
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(area.x()),
                      static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                      static_cast<std::uint16_t>(area.height()), ~0u),
        nullptr);
    if (image == nullptr) return {};
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    for (int y = 0; y < area.height(); ++y) {
      for (int x = 0; x < area.width(); ++x) pixels.setPixel(x, y, data[y * area.width() + x] | 0xff000000u);
    }
    std::free(image);
    return pixels;
  }

  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
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
  EXPECT_TRUE(waitFor([&] {
    surface->dispatchEvents();
    surface->present(frame);
    return pixelAt(1080) == 0xff00ff;
  })) << "at the right end";
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
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22));
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
    EXPECT_TRUE(waitFor([&] {
      surface->dispatchEvents();
      surface->presentRetained(retention->frame, retention->offsetAt(shifts));
      return shown({200, 0, 400, 44}) == expected;
    }));
  }
}

// Covered whole, unmapped or blanked by the screen saver, the window takes
// no frames; back in sight it takes a whole one. Half covered, it still
// shows.
TEST_F(X11PresentationSurfaceTest, TakesNoFramesWhileItCannotBeSeen) {
  const std::unique_ptr<platform::X11PresentationSurface> surface = surfaceOfWidth(200);
  ASSERT_NE(surface, nullptr);
  const auto becomes = [&](bool ready) {
    return waitFor([&] {
      surface->dispatchEvents();
      return surface->readyForFrame() == ready && (!ready || surface->needsRedraw());
    });
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
  wait(300);
  surface->dispatchEvents();
  EXPECT_TRUE(surface->readyForFrame()) << "half covered";
  const xcb_window_t cover = coverOf(screen->width_in_pixels);
  EXPECT_TRUE(becomes(false)) << "covered by a window over the whole screen";
  xcb_destroy_window(connection, cover);
  xcb_destroy_window(connection, halfCover);
  xcb_flush(connection);
  EXPECT_TRUE(becomes(true)) << "uncovered";
  surface->present(frame);

  xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_ACTIVE);
  xcb_flush(connection);
  EXPECT_TRUE(becomes(false)) << "the screen saver blanked the screen";
  xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
  xcb_flush(connection);
  EXPECT_TRUE(becomes(true)) << "the screen saver ended";
  surface->present(frame);

  xcb_unmap_window(connection, window);
  xcb_flush(connection);
  EXPECT_TRUE(becomes(false)) << "unmapped";
  xcb_map_window(connection, window);
  xcb_flush(connection);
  EXPECT_TRUE(becomes(true)) << "mapped again";
}

TEST_F(X11DockTest, TheDisplayGoingAwayEndsTheProgramWithOneLine) {
  QProcess server;
  server.start(XVFB, {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
  ASSERT_TRUE(server.waitForReadyRead(10000));
  const QString number = QString::fromUtf8(server.readAllStandardOutput()).trimmed();
  QProcessEnvironment environment = appEnvironment();
  environment.insert("DISPLAY", ":" + number);
  QProcess app;
  app.setProcessEnvironment(environment);
  app.start(SONVETTA, {});
  ASSERT_TRUE(app.waitForStarted(10000));
  wait(1500);
  app.readAllStandardError();  // whatever the toolkit says while starting
  server.kill();
  server.waitForFinished(5000);
  ASSERT_TRUE(app.waitForFinished(10000)) << "it outlived its display";
  EXPECT_NE(app.exitCode(), 0);
  const QStringList lines = QString::fromUtf8(app.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(lines, QStringList{"sonvetta: the display has gone away"});
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
