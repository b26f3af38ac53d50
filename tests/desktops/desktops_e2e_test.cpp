// Runs the real sonvetta on the desktops people use, each started headless
// by start-desktop, and checks what a user sees there: the strip at the right
// end of the screen right below what the desktop has along the top, its band
// kept clear of a maximised window, on every workspace, standing still, and
// its own pixels on the screen. One row a desktop: its name for start-desktop
// and what is expected there.
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "session.h"
#include "x11_display.h"

namespace {

using namespace sonvetta::testdata;

constexpr int placeTimeout = 20000;

// How the test sees the strip: as the X11 window the window manager
// manages, or, on a desktop without X, in the compositor's screenshots.
enum class Seen { asX11Window, inScreenshots };

struct DesktopCase {
  const char* name;        // as start-desktop knows it
  int panelBottom;         // the bottom of what the desktop has along the top
  QRect window;            // where the strip's window stands
  bool publishesWorkArea;  // the desktop says what maximised windows get
  QStringList switchToSecondWorkspace;
  QStringList restartWindowManager = {};  // none where the case does not restart it
  int scale = 1;                          // the toolkit's, for the application
  Seen seen = Seen::asX11Window;

  QRect strip() const { return QRect(window.right() + 1 - 200 * scale, window.top(), 200 * scale, 22 * scale); }
  std::string testName() const {
    std::string testName = name;
    std::replace(testName.begin(), testName.end(), '-', '_');
    return scale == 1 ? testName : testName.append("_").append(std::to_string(scale)).append("x");
  }
};

void PrintTo(const DesktopCase& desktop, std::ostream* out) { *out << desktop.testName(); }

const QStringList wmctrlSwitch = {"wmctrl", "-s", "1"};

const DesktopCase desktops[] = {
    {"openbox", 30, QRect(1080, 30, 200, 22), true, wmctrlSwitch},
    {"xfce", 31, QRect(1080, 31, 200, 22), true, wmctrlSwitch},
    // A panel of odd height: at 2x the strip still stands right below it.
    {"xfce", 31, QRect(880, 31, 400, 44), true, wmctrlSwitch, {}, 2},
    // i3 stretches every dock over the output, in its dock area below i3bar.
    {"i3", 21, QRect(0, 21, 1280, 22), false, {"i3-msg", "workspace", "number", "2"}, {"i3-msg", "restart"}},
    {"mutter", 0, QRect(1080, 0, 200, 22), true, wmctrlSwitch},
    {"gnome-x11", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch, {"gnome-shell", "--x11", "--replace", "--sm-disable"}},
    {"gnome-wayland", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch},
    {"kde-x11", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch, {"kwin_x11", "--replace"}},
    {"kde-wayland", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch},
    {"sway", 23, QRect(1080, 23, 200, 22), true, {"swaymsg", "workspace", "number", "2"}, {}, 1, Seen::inScreenshots},
};

std::vector<DesktopCase> restartingDesktops() {
  std::vector<DesktopCase> restarting;
  for (const DesktopCase& desktop : desktops) {
    if (!desktop.restartWindowManager.isEmpty()) restarting.push_back(desktop);
  }
  return restarting;
}

QString describe(const QRect& rect) {
  return QString("%1x%2+%3+%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
}

// The strip as the test sees it on one desktop.
class StripWatch {
 public:
  StripWatch(const Session& session, Seen seen) : session_(session) {
    if (seen != Seen::asX11Window) return;
    qputenv("XAUTHORITY", session.value("XAUTHORITY").toLocal8Bit());
    display_ = std::make_unique<X11Display>(session.value("DISPLAY").toLocal8Bit().constData());
  }

  bool connected() const { return !display_ || display_->connected(); }
  const X11Display* display() const { return display_.get(); }

  // Where the strip stands, empty while it is nowhere to be seen, and how it
  // looks there (in screenshots only; none where its window says where it is).
  struct Sight {
    QRect place;
    QImage pixels;
    bool operator==(const Sight&) const = default;
  };
  Sight sight() {
    if (display_) {
      if (bar_ == XCB_NONE) bar_ = display_->windowNamed(sonvetta::vocabulary::statusBarTitle);
      return {bar_ == XCB_NONE ? QRect() : display_->geometry(bar_), {}};
    }
    const QImage screen = session_.screenshot();
    const QRect place = stripIn(screen);
    return {place, screen.copy(place)};
  }
  QRect place() { return sight().place; }
  bool isShown() { return display_ ? bar_ != XCB_NONE && display_->isViewable(bar_) : !place().isEmpty(); }

  // Where windows start below what the desktop and the strip hold.
  int workAreaTop() const { return display_ ? display_->workAreaTop() : session_.workspaceArea().top(); }
  bool onSecondWorkspace() const {
    if (display_) return display_->numbers(display_->root(), "_NET_CURRENT_DESKTOP") == std::vector<std::uint32_t>{1};
    return session_.visibleWorkspace()["num"].toInt() == 2;
  }

 private:
  // sway's: below the bar at the top-right, whatever is not the bar's or
  // the background's colour.
  static QRect stripIn(const QImage& screen) {
    constexpr QRgb background = Screen::swayBackground;
    constexpr QRgb bar = Screen::swayBar;
    const int right = screen.width() - 1;
    int top = 0;
    while (top < screen.height() && screen.pixel(right, top) == bar) ++top;
    int bottom = top;
    while (bottom < screen.height() && screen.pixel(right, bottom) != background) ++bottom;
    if (bottom == top) return {};
    int left = right;
    while (left > 0 && screen.pixel(left - 1, bottom - 1) != background) --left;
    return QRect(QPoint(left, top), QPoint(right, bottom - 1));
  }

  const Session& session_;
  std::unique_ptr<X11Display> display_;
  xcb_window_t bar_ = XCB_NONE;
};

// True when `strip` shows its own pixels: one background down its right
// end, and the music note and its words on it.
bool showsStrip(const QImage& strip) {
  const QRgb background = strip.pixel(strip.width() - 1, 0);
  int differing = 0;
  for (int y = 0; y < strip.height(); ++y) {
    if (strip.pixel(strip.width() - 1, y) != background) return false;
    for (int x = 0; x < strip.width(); ++x) differing += strip.pixel(x, y) != background;
  }
  return differing > 100;
}

class DesktopTest : public testing::TestWithParam<DesktopCase> {
 protected:
  // Starts the case's desktop; false, having said why, where it cannot be
  // had here. A desktop that fails to start fails the test.
  bool startDesktop() {
    session_ = std::make_unique<Session>(GetParam().name);
    EXPECT_FALSE(session_->failed()) << GetParam().name << ": " << session_->unavailable().toStdString();
    if (session_->unavailable().isEmpty()) return true;
    std::cout << "desktop unavailable: " << GetParam().name << ": " << session_->unavailable().toStdString() << "\n";
    return false;
  }

  std::unique_ptr<Session> session_;
};

using RestartTest = DesktopTest;

TEST_P(DesktopTest, StripStandsBelowThePanelReservesItsBandOnEveryWorkspaceAndStaysPut) {
  const DesktopCase& desktopCase = GetParam();
  if (!startDesktop()) GTEST_SKIP() << session_->unavailable().toStdString();
  const Session& desktop = *session_;
  StripWatch watch(desktop, desktopCase.seen);
  ASSERT_TRUE(watch.connected());
  if (desktopCase.publishesWorkArea) {
    EXPECT_EQ(watch.workAreaTop(), desktopCase.panelBottom) << "the desktop's own band along the top";
  }

  QProcessEnvironment appEnvironment = desktop.environment();
  if (desktopCase.scale != 1) appEnvironment.insert("QT_SCALE_FACTOR", QString::number(desktopCase.scale));
  AppUnderTest app(appEnvironment);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !watch.place().isEmpty(); }, placeTimeout)) << "no strip";
  const QRect strip = desktopCase.strip();
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.place() == desktopCase.window; }, placeTimeout))
      << "its window stands at " << describe(watch.place()).toStdString();
  if (desktopCase.publishesWorkArea) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return watch.workAreaTop() == strip.bottom() + 1; }, placeTimeout))
        << "maximised windows get the area from " << watch.workAreaTop();
  }

  std::unique_ptr<Program> maximised;
  QRect maximisedWindow;
  if (const X11Display* display = watch.display()) {
    maximised = std::make_unique<Program>("xterm", QStringList{"-fa", "Monospace", "-T", "A maximised window"},
                                          desktop.environment());
    xcb_window_t window = XCB_NONE;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (window = display->windowNamed("A maximised window")) != XCB_NONE; },
                                placeTimeout));
    // Asked again until the window manager has taken the window on.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          desktop.run({"wmctrl", "-r", "A maximised window", "-b", "add,maximized_vert,maximized_horz"});
          maximisedWindow = display->geometry(window);
          return maximisedWindow.top() > strip.bottom() && maximisedWindow.height() > 500;
        },
        placeTimeout))
        << "the maximised window stands at " << describe(maximisedWindow).toStdString();
    EXPECT_EQ(display->numbers(display->windowNamed(sonvetta::vocabulary::statusBarTitle), "_NET_WM_DESKTOP"),
              std::vector<std::uint32_t>{0xFFFFFFFF});
  }

  // The rest, screenshot included, happens on the second workspace.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return desktop.run(desktopCase.switchToSecondWorkspace) && watch.onSecondWorkspace(); }, placeTimeout))
      << "the second workspace";
  EXPECT_TRUE(watch.isShown());
  const StripWatch::Sight standing = watch.sight();
  EXPECT_EQ(standing.place, desktopCase.window);

  // Standing still: not one move nor change, and no work once the
  // workspace switch, which it looks at, has passed.
  QTest::qWait(1000);
  const long cpuBefore = app.program().cpuMilliseconds();
  bool stood = true;
  for (int sample = 0; sample < 100 && stood; ++sample) {
    QTest::qWait(100);
    stood = watch.sight() == standing;
  }
  const long cpu = app.program().cpuMilliseconds() - cpuBefore;
  EXPECT_TRUE(stood) << "it moved to " << describe(watch.place()).toStdString() << " or changed";
  std::cout << "figures: " << desktopCase.testName() << ": strip " << describe(strip).toStdString() << ", panel bottom "
            << desktopCase.panelBottom << ", maximise area from "
            << (desktopCase.publishesWorkArea ? watch.workAreaTop() : maximisedWindow.top())
            << ", CPU over 10 s standing still " << cpu << " ms\n";

  const QImage screen = desktop.screenshot();
  ASSERT_FALSE(screen.isNull()) << "no screenshot";
  EXPECT_TRUE(showsStrip(screen.copy(strip))) << "the strip's own pixels at its place";
  const QRgb background = screen.pixel(strip.right(), strip.top());
  for (int x = desktopCase.window.left(); x < strip.left(); x += 10) {
    ASSERT_EQ(screen.pixel(x, strip.top() + 11), background) << "the band left of the strip, at " << x;
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// The window manager replaced by a new one, or restarting itself: while it
// is away the strip may vanish but never stands anywhere else, and it comes
// back to its place.
TEST_P(RestartTest, ComesBackToItsPlaceWhenTheWindowManagerRestarts) {
  const DesktopCase& desktopCase = GetParam();
  if (!startDesktop()) GTEST_SKIP() << session_->unavailable().toStdString();
  const Session& desktop = *session_;
  StripWatch watch(desktop, desktopCase.seen);
  AppUnderTest app(desktop.environment());
  ASSERT_TRUE(QTest::qWaitFor([&] { return watch.place() == desktopCase.window; }, placeTimeout));

  QProcessEnvironment environment = desktop.environment();
  environment.insert("KWIN_COMPOSE", "N");
  Program restarted(desktopCase.restartWindowManager.first(), desktopCase.restartWindowManager.mid(1), environment);
  QRect elsewhere;
  const auto placeOnceBack = [&] {
    const QRect now = watch.place();
    const bool shown = watch.isShown();
    if (shown && !now.isEmpty() && now != desktopCase.window) elsewhere = now;
    return now == desktopCase.window && shown &&
           (!desktopCase.publishesWorkArea || watch.workAreaTop() == desktopCase.strip().bottom() + 1);
  };
  // Through the restart and the seconds after it; gnome-shell takes half a
  // minute to come up again on a busy machine.
  QTest::qWait(1000);
  EXPECT_TRUE(QTest::qWaitFor(placeOnceBack, 3 * placeTimeout))
      << "it stands at " << describe(watch.place()).toStdString() << (watch.isShown() ? "" : ", unmapped")
      << ", the work area from " << watch.workAreaTop();
  for (int sample = 0; sample < 60; ++sample) {
    QTest::qWait(50);
    placeOnceBack();
  }
  EXPECT_TRUE(elsewhere.isNull()) << "it stood at " << describe(elsewhere).toStdString();
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

const auto caseName = [](const testing::TestParamInfo<DesktopCase>& info) { return info.param.testName(); };
INSTANTIATE_TEST_SUITE_P(Desktops, DesktopTest, testing::ValuesIn(desktops), caseName);
INSTANTIATE_TEST_SUITE_P(Desktops, RestartTest, testing::ValuesIn(restartingDesktops()), caseName);

}  // namespace
