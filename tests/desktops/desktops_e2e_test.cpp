// Runs the real sonvetta on the desktops people use, each started headless
// by start-desktop, and checks what a user sees there: the strip at the right
// end of the screen right below what the desktop has along the top, or right
// above its panel along the bottom where it has none at the top, no panel
// covered, its band kept clear of a maximised window, on every workspace,
// standing still, and its own pixels and colours on the screen. One row a
// desktop: its name and options for start-desktop and what is expected
// there. Then screens and panels that change under the running strip.
#include <QColor>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "session.h"
#include "x11_display.h"

namespace {

using namespace sonvetta::testdata;

constexpr int placeTimeout = 20000;

// What the strip wears beside the desktop's panel.
enum class Wears {
  panelColors,     // the panel's own background
  panelDeepened,   // the panel's hue, darker, for its light text's contrast
  desktopPalette,  // the panel's colours are not to be had: the desktop's light ones
};

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
  std::vector<QRect> panels = {};         // none of them to be covered
  Wears wears = Wears::desktopPalette;
  Seen seen = Seen::asX11Window;
  int outputs = 1;  // side by side, the strip on the first

  QRect strip() const { return QRect(window.right() + 1 - 200 * scale, window.top(), 200 * scale, 22 * scale); }
  // A strip along the bottom keeps its band there: maximised windows end
  // right above it.
  bool alongBottom() const { return window.top() > 400; }
  // What start-desktop is told after the desktop's name.
  QStringList options() const {
    if (outputs == 1) return {};
    const QString count = QString::number(outputs);
    return std::string(name) == "kwin" ? QStringList{"1", count} : QStringList{count};
  }
  std::string testName() const {
    std::string testName = name;
    std::replace(testName.begin(), testName.end(), '-', '_');
    if (outputs != 1) testName.append("_").append(std::to_string(outputs)).append("_outputs");
    return scale == 1 ? testName : testName.append("_").append(std::to_string(scale)).append("x");
  }
};

void PrintTo(const DesktopCase& desktop, std::ostream* out) { *out << desktop.testName(); }

const QStringList wmctrlSwitch = {"wmctrl", "-s", "1"};

const QStringList swaySwitch = {"swaymsg", "workspace", "number", "2"};

const DesktopCase desktops[] = {
    // tint2's and Xfce's dark grey panels: a darker grey keeps the text's contrast.
    {"openbox", 30, QRect(1080, 30, 200, 22), true, wmctrlSwitch, {}, 1, {}, Wears::panelDeepened},
    {"xfce", 31, QRect(1080, 31, 200, 22), true, wmctrlSwitch, {}, 1, {}, Wears::panelDeepened},
    // A panel of odd height: at 2x the strip still stands right below it.
    {"xfce", 31, QRect(880, 31, 400, 44), true, wmctrlSwitch, {}, 2, {}, Wears::panelDeepened},
    // i3 stretches every dock over the output, in its dock area below i3bar.
    {"i3", 21, QRect(0, 21, 1280, 22), false, {"i3-msg", "workspace", "number", "2"}, {"i3-msg", "restart"}, 1, {},
     Wears::panelColors},
    {"mutter", 0, QRect(1080, 0, 200, 22), true, wmctrlSwitch},
    {"gnome-x11", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch, {"gnome-shell", "--x11", "--replace", "--sm-disable"},
     1, {}, Wears::panelColors},
    // On XWayland the root window holds none of the desktop's pixels.
    {"gnome-wayland", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch},
    {"kde-x11", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch, {"kwin_x11", "--replace"}, 1, {}, Wears::panelColors},
    {"kde-wayland", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch},
    // As they come: the only panel along the bottom, in a window (Plasma,
    // LXQt) or drawn by the shell (Cinnamon).
    {"kde-x11-default", 0, QRect(1080, 734, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 756, 1280, 44)},
     Wears::panelColors},
    {"kde-wayland-default", 0, QRect(1080, 734, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 756, 1280, 44)}},
    {"cinnamon", 0, QRect(1080, 738, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 760, 1280, 40)},
     Wears::panelDeepened},
    {"lxqt", 0, QRect(1080, 746, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 768, 1280, 32)}, Wears::panelColors},
    // Along the top and the bottom: below the top one.
    {"mate", 25, QRect(1080, 25, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 0, 1280, 25), QRect(0, 776, 1280, 24)},
     Wears::panelColors},
    // Two outputs side by side, the strip on the first.
    {"kwin", 0, QRect(1080, 0, 200, 22), true, wmctrlSwitch, {}, 1, {}, Wears::desktopPalette, Seen::asX11Window, 2},
    // Below sway's bar, in the bar's colours, which sway tells over its socket.
    {"sway", 23, QRect(1080, 23, 200, 22), true, swaySwitch, {}, 1, {QRect(0, 0, 1280, 23)}, Wears::panelColors,
     Seen::inScreenshots},
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

// The rows of swaybar's band along the top of `output`, in device pixels.
int swayBarHeight(const QImage& output) {
  int height = 0;
  while (height < output.height() && output.pixel(output.width() / 2, height) == Screen::swayBar) ++height;
  return height;
}

// The strip's rectangle at the top-right of `output` below the bar, in
// device pixels: what is not background there (the strip wears the bar's
// colour); empty where nothing is, or where sway has not yet drawn the
// output's new area (more rows than any strip).
QRect swayStrip(const QImage& output) {
  if (output.isNull()) return {};
  const int top = swayBarHeight(output);
  const int right = output.width() - 1;
  const auto isStrip = [&](int x, int y) { return output.pixel(x, y) != Screen::swayBackground; };
  if (top >= output.height() || !isStrip(right, top)) return {};
  int left = right;
  while (left > 0 && isStrip(left - 1, top)) --left;
  int bottom = top;
  while (bottom + 1 < output.height() && isStrip(right, bottom + 1)) ++bottom;
  if (bottom - top > 100) return {};
  return QRect(QPoint(left, top), QPoint(right, bottom));
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
    const QRect place = swayStrip(screen);
    return {place, screen.copy(place)};
  }
  QRect place() { return sight().place; }
  bool isShown() { return display_ ? bar_ != XCB_NONE && display_->isViewable(bar_) : !place().isEmpty(); }

  // Where windows start below what the desktop and the strip hold.
  int workAreaTop() const { return display_ ? display_->workAreaTop() : session_.workspaceArea().top(); }
  // What maximised windows get on the first workspace.
  QRect workArea() const {
    if (!display_) return session_.workspaceArea();
    const std::vector<std::uint32_t> area = display_->numbers(display_->root(), "_NET_WORKAREA");
    if (area.size() < 4) return {};
    return QRect(static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
                 static_cast<int>(area[3]));
  }
  bool onSecondWorkspace() const {
    if (display_) return display_->numbers(display_->root(), "_NET_CURRENT_DESKTOP") == std::vector<std::uint32_t>{1};
    return session_.visibleWorkspace()["num"].toInt() == 2;
  }

 private:
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

// True when maximised windows end right at the strip, above or below it.
bool keepsItsBandClear(const StripWatch& watch, const DesktopCase& desktopCase) {
  const QRect area = watch.workArea();
  const QRect strip = desktopCase.strip();
  return desktopCase.alongBottom() ? area.bottom() + 1 == strip.top() : area.top() == strip.bottom() + 1;
}

// The colour of most of `band`'s pixels in `screen`, a panel's background
// beside its clock and icons; none where the band is empty or no colour
// has half of it.
std::optional<QRgb> plainColor(const QImage& screen, const QRect& band) {
  std::map<QRgb, int> counts;
  for (int y = band.top(); y <= band.bottom(); ++y) {
    for (int x = band.left(); x <= band.right(); ++x) ++counts[screen.pixel(x, y)];
  }
  for (const auto& [color, count] : counts) {
    if (2 * count >= band.width() * band.height()) return color;
  }
  return std::nullopt;
}

QString describe(std::optional<QRgb> color) { return color ? QColor(*color).name() : QString("none"); }

// The strip's background beside the panel: as the row says, and, against
// the panel's, printed with the figures.
void expectWears(const QImage& screen, const DesktopCase& desktopCase) {
  const QRect strip = desktopCase.strip();
  const QRect band = desktopCase.alongBottom()
                         ? QRect(QPoint(strip.left(), strip.bottom() + 1), QPoint(strip.right(), screen.height() - 1))
                         : QRect(QPoint(strip.left(), 0), QPoint(strip.right(), strip.top() - 1));
  const QColor background = screen.pixel(strip.right(), strip.top());
  const std::optional<QRgb> panel = band.isEmpty() ? std::nullopt : plainColor(screen, band);
  std::cout << "figures: " << desktopCase.testName() << ": strip background " << background.name().toStdString()
            << ", panel background " << describe(panel).toStdString() << "\n";
  switch (desktopCase.wears) {
    case Wears::panelColors:
      EXPECT_EQ(std::optional<QRgb>(background.rgb()), panel) << "the panel's own background";
      break;
    case Wears::panelDeepened:
      ASSERT_TRUE(panel) << "a panel of one colour beside it";
      EXPECT_LT(background.lightness(), QColor(*panel).lightness()) << background.name().toStdString();
      EXPECT_NEAR(background.hsvHue(), QColor(*panel).hsvHue(), 10) << background.name().toStdString();
      break;
    case Wears::desktopPalette:
      EXPECT_EQ(background, QColor(239, 239, 239)) << "the standard light palette's";
      break;
  }
}

class DesktopTest : public testing::TestWithParam<DesktopCase> {
 protected:
  // Starts the case's desktop; false, having said why, where it cannot be
  // had here. A desktop that fails to start fails the test.
  bool startDesktop() {
    session_ = std::make_unique<Session>(GetParam().name, GetParam().options());
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
    // Some panels settle a row or two after they first reserve their band;
    // KWin without Plasma publishes no work area before a window reserves one.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return watch.workAreaTop() == desktopCase.panelBottom || watch.workAreaTop() == -1; }, placeTimeout))
        << "the desktop's own band along the top ends at " << watch.workAreaTop();
  }

  QProcessEnvironment appEnvironment = desktop.environment();
  if (desktopCase.scale != 1) appEnvironment.insert("QT_SCALE_FACTOR", QString::number(desktopCase.scale));
  AppUnderTest app(appEnvironment);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !watch.place().isEmpty(); }, placeTimeout)) << "no strip";
  const QRect strip = desktopCase.strip();
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.place() == desktopCase.window; }, placeTimeout))
      << "its window stands at " << describe(watch.place()).toStdString();
  if (desktopCase.publishesWorkArea) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return keepsItsBandClear(watch, desktopCase); }, placeTimeout))
        << "maximised windows get " << describe(watch.workArea()).toStdString();
  }
  for (const QRect& panel : desktopCase.panels) {
    EXPECT_FALSE(panel.intersects(watch.place())) << "it covers the panel at " << describe(panel).toStdString();
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
          return !maximisedWindow.intersects(strip) && maximisedWindow.height() > 500;
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
  std::cout << "figures: " << desktopCase.testName() << ": strip " << describe(strip).toStdString() << ", panels";
  for (const QRect& panel : desktopCase.panels) std::cout << " " << describe(panel).toStdString();
  std::cout << ", panel bottom " << desktopCase.panelBottom << ", maximise area "
            << describe(desktopCase.publishesWorkArea ? watch.workArea() : maximisedWindow).toStdString()
            << ", CPU over 10 s standing still " << cpu << " ms\n";

  const QImage screen = desktop.screenshot();
  ASSERT_FALSE(screen.isNull()) << "no screenshot";
  EXPECT_TRUE(showsStrip(screen.copy(strip))) << "the strip's own pixels at its place";
  expectWears(screen, desktopCase);
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
           (!desktopCase.publishesWorkArea || keepsItsBandClear(watch, desktopCase));
  };
  // Through the restart and the seconds after it; gnome-shell takes half a
  // minute to come up again on a busy machine.
  QTest::qWait(1000);
  EXPECT_TRUE(QTest::qWaitFor(placeOnceBack, 3 * placeTimeout))
      << "it stands at " << describe(watch.place()).toStdString() << (watch.isShown() ? "" : ", unmapped")
      << ", the work area " << describe(watch.workArea()).toStdString();
  for (int sample = 0; sample < 60; ++sample) {
    QTest::qWait(50);
    placeOnceBack();
  }
  EXPECT_TRUE(elsewhere.isNull()) << "it stood at " << describe(elsewhere).toStdString();
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// The strip's place on a desktop that changes under it: how long it took to
// get there, and any other place it stood at on the way.
struct Move {
  bool arrived = false;
  int milliseconds = 0;
  QRect elsewhere;
};

// Runs `change` and follows the strip until it stands shown at `to`; while
// it moves it may vanish or stay at `from`, nowhere else.
Move follow(StripWatch& watch, const QRect& from, const QRect& to, const std::function<bool()>& change) {
  QElapsedTimer clock;
  clock.start();
  Move move;
  if (!change()) return move;
  while (clock.elapsed() < placeTimeout) {
    const QRect now = watch.place();
    const bool shown = watch.isShown();
    if (shown && now == to) {
      move.arrived = true;
      move.milliseconds = static_cast<int>(clock.elapsed());
      return move;
    }
    if (shown && !now.isEmpty() && now != from) move.elsewhere = now;
    QTest::qWait(20);
  }
  return move;
}

void expectMovedTo(const Move& move, const QString& change, const QRect& to) {
  EXPECT_TRUE(move.arrived) << change.toStdString() << ": it never stood at " << describe(to).toStdString();
  EXPECT_TRUE(move.elsewhere.isNull()) << change.toStdString() << ": it stood at "
                                       << describe(move.elsewhere).toStdString();
  std::cout << "figures: " << change.toStdString() << ": at " << describe(to).toStdString() << " after "
            << move.milliseconds << " ms\n";
}

// The desktop of the table's row `testName`, started for a case of its own.
DesktopCase row(const std::string& testName) {
  return *std::find_if(std::begin(desktops), std::end(desktops),
                       [&](const DesktopCase& desktop) { return desktop.testName() == testName; });
}

// Plasma's panel moved to the top and back while the strip runs: the strip
// follows it to the other edge, and its band with it.
TEST(DesktopChanges, FollowsPlasmasPanelToTheTopAndBack) {
  const DesktopCase plasma = row("kde_x11_default");
  const Session desktop(plasma.name, plasma.options());
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  StripWatch watch(desktop, plasma.seen);
  const QRect above = plasma.window;
  const QRect below(1080, 44, 200, 22);
  AppUnderTest app(desktop.environment());
  ASSERT_TRUE(QTest::qWaitFor([&] { return watch.place() == above; }, placeTimeout));
  const auto movePanel = [&](const char* location) {
    return [&desktop, location] {
      return desktop.run({"gdbus", "call", "--session", "--dest", "org.kde.plasmashell", "--object-path",
                          "/PlasmaShell", "--method", "org.kde.PlasmaShell.evaluateScript",
                          QString("panels().forEach(function (p) { p.location = '%1'; })").arg(location)});
    };
  };
  expectMovedTo(follow(watch, above, below, movePanel("top")), "Plasma's panel moved to the top", below);
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.workArea() == QRect(0, 66, 1280, 734); }, placeTimeout))
      << "maximised windows get " << describe(watch.workArea()).toStdString();
  expectMovedTo(follow(watch, below, above, movePanel("bottom")), "and back to the bottom", above);
  EXPECT_TRUE(QTest::qWaitFor([&] { return watch.workArea() == QRect(0, 0, 1280, 734); }, placeTimeout))
      << "maximised windows get " << describe(watch.workArea()).toStdString();
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// KWin's outputs switched off and on under the strip: it stays at the
// top-right of the output at the origin (KWin moves the other one there),
// and lives on. KWin refuses to switch off its last output.
TEST(DesktopChanges, OutlivesItsOutputSwitchedOffAndOn) {
  const DesktopCase kwin = row("kwin_2_outputs");
  const Session desktop(kwin.name, kwin.options());
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  StripWatch watch(desktop, kwin.seen);
  const QRect corner = kwin.window;
  AppUnderTest app(desktop.environment());
  ASSERT_TRUE(QTest::qWaitFor([&] { return watch.place() == corner; }, placeTimeout));
  for (const char* change : {"output.Virtual-0.disable", "output.Virtual-0.enable", "output.Virtual-1.disable",
                             "output.Virtual-1.enable"}) {
    const Move move = follow(watch, corner, corner, [&] {
      return desktop.run({"env", "QT_QPA_PLATFORM=wayland", "kscreen-doctor", change});
    });
    expectMovedTo(move, change, corner);
    QTest::qWait(1000);
    EXPECT_EQ(watch.place(), corner) << change;
    ASSERT_EQ(app.process().state(), QProcess::Running) << change;
  }
}

// sway with its bar on each of two outputs: the strip stands on the first,
// right below its bar, and keeps its band from windows there; the second
// shows none. A new mode and then a new scale for the first output while it
// runs: the strip follows to the new right end, at the new density.
TEST(DesktopChanges, SwayWithTwoOutputsThenANewModeAndScale) {
  const Session desktop("sway", {"2"});
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  ASSERT_FALSE(desktop.failed());
  AppUnderTest app(desktop.environment());
  const QImage first = desktop.screenshot("HEADLESS-1");
  const int bar = swayBarHeight(first);
  ASSERT_GT(bar, 0) << "swaybar along the top";
  const QRect place(1080, bar, 200, 22);
  ASSERT_TRUE(QTest::qWaitFor([&] { return swayStrip(desktop.screenshot("HEADLESS-1")) == place; }, placeTimeout))
      << "it stands at " << describe(swayStrip(desktop.screenshot("HEADLESS-1"))).toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.workspaceArea("HEADLESS-1").top() == bar + 22; }, placeTimeout))
      << "windows get " << describe(desktop.workspaceArea("HEADLESS-1")).toStdString();
  EXPECT_TRUE(swayStrip(desktop.screenshot("HEADLESS-2")).isNull()) << "a strip on the second output";
  const QImage shown = desktop.screenshot("HEADLESS-1");
  EXPECT_EQ(shown.pixel(place.right(), place.top()), Screen::swayBar) << "it wears the bar's colour";
  EXPECT_TRUE(showsStrip(shown.copy(place))) << "its own pixels";
  std::cout << "figures: sway_2_outputs: strip " << describe(place).toStdString() << ", bar 1280x" << bar
            << "+0+0 on each output, maximise area " << describe(desktop.workspaceArea("HEADLESS-1")).toStdString()
            << "\n";

  struct Change {
    QStringList command;
    QRect place;  // in device pixels
  };
  for (const Change& change : {Change{{"output", "HEADLESS-1", "mode", "1920x1080"}, QRect(1720, bar, 200, 22)},
                               Change{{"output", "HEADLESS-1", "scale", "2"}, QRect(1520, 2 * bar, 400, 44)}}) {
    const QString said = change.command.join(' ');
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(desktop.run(QStringList{"swaymsg"} + change.command)) << said.toStdString();
    QRect elsewhere;
    const bool arrived = QTest::qWaitFor(
        [&] {
          const QRect now = swayStrip(desktop.screenshot("HEADLESS-1"));
          if (!now.isNull() && now != change.place) elsewhere = now;
          return now == change.place;
        },
        placeTimeout);
    EXPECT_TRUE(arrived) << said.toStdString();
    EXPECT_TRUE(elsewhere.isNull()) << said.toStdString() << ": it stood at " << describe(elsewhere).toStdString();
    std::cout << "figures: " << said.toStdString() << ": at " << describe(change.place).toStdString() << " after "
              << clock.elapsed() << " ms\n";
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

const auto caseName = [](const testing::TestParamInfo<DesktopCase>& info) { return info.param.testName(); };
INSTANTIATE_TEST_SUITE_P(Desktops, DesktopTest, testing::ValuesIn(desktops), caseName);
INSTANTIATE_TEST_SUITE_P(Desktops, RestartTest, testing::ValuesIn(restartingDesktops()), caseName);

// sway with its bar along the bottom, as sway has it unless told: the strip
// stands at the right end right above the bar, in its colour, and keeps its
// band from windows there. Seen upside down, that is the strip below a bar
// along the top.
TEST(DesktopChanges, SwayWithItsBarAlongTheBottom) {
  const Session desktop("sway-bottom");
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  ASSERT_FALSE(desktop.failed());
  AppUnderTest app(desktop.environment());
  const auto upsideDown = [&] { return desktop.screenshot("HEADLESS-1").mirrored(false, true); };
  const int bar = swayBarHeight(upsideDown());
  ASSERT_GT(bar, 0) << "swaybar along the bottom";
  const QRect place(1080, 800 - bar - 22, 200, 22);
  const auto placeFound = [&] {
    const QRect found = swayStrip(upsideDown());
    return found.isNull() ? found : QRect(found.left(), 800 - 1 - found.bottom(), found.width(), found.height());
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return placeFound() == place; }, placeTimeout))
      << "it stands at " << describe(placeFound()).toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.workspaceArea("HEADLESS-1").bottom() + 1 == place.top(); },
                              placeTimeout))
      << "windows get " << describe(desktop.workspaceArea("HEADLESS-1")).toStdString();
  const QImage shown = desktop.screenshot("HEADLESS-1");
  EXPECT_EQ(shown.pixel(place.right(), place.bottom()), Screen::swayBar) << "it wears the bar's colour";
  EXPECT_TRUE(showsStrip(shown.copy(place))) << "its own pixels";
  std::cout << "figures: sway_bottom: strip " << describe(place).toStdString() << ", bar 1280x" << bar << "+0+"
            << 800 - bar << ", maximise area " << describe(desktop.workspaceArea("HEADLESS-1")).toStdString() << "\n";
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// Every output gone for a while, as when a laptop's lid closes with no other
// screen, then one back: the strip stands at its place on the new output,
// and lives on. Debian 13's sway, whose headless outputs can be unplugged.
TEST(DesktopChanges, SwayWithEveryOutputGoneThenOneBack) {
  const Session desktop("sway-trixie");
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  ASSERT_FALSE(desktop.failed());
  AppUnderTest app(desktop.environment());
  const int bar = swayBarHeight(desktop.screenshot());
  ASSERT_GT(bar, 0) << "swaybar along the top";
  const QRect place(1080, bar, 200, 22);
  ASSERT_TRUE(QTest::qWaitFor([&] { return swayStrip(desktop.screenshot()) == place; }, placeTimeout));
  ASSERT_TRUE(desktop.run({"swaymsg", "output", "HEADLESS-1", "unplug"}));
  QTest::qWait(2000);
  ASSERT_EQ(app.process().state(), QProcess::Running) << "with no output";
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(desktop.run({"swaymsg", "create_output"}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return swayStrip(desktop.screenshot("HEADLESS-2")) == place; }, placeTimeout))
      << "it stands at " << describe(swayStrip(desktop.screenshot("HEADLESS-2"))).toStdString();
  std::cout << "figures: every output gone, then one made: at " << describe(place).toStdString() << " after "
            << clock.elapsed() << " ms\n";
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

// Plasma's own locker over the running strip: KDE says on the session bus
// that it is up, and the strip's window tells its frames to stop (under a
// compositing KWin, X itself would never say the strip is covered).
TEST(DesktopChanges, StopsItsFramesWhilePlasmasLockerIsUp) {
  const DesktopCase plasma = row("kde_x11_default");
  const Session desktop(plasma.name, plasma.options());
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  StripWatch watch(desktop, plasma.seen);
  AppUnderTest app(desktop.environment());
  ASSERT_TRUE(QTest::qWaitFor([&] { return watch.place() == plasma.window; }, placeTimeout));
  const xcb_window_t bar = watch.display()->windowNamed(sonvetta::vocabulary::statusBarTitle);
  const Program sessionManager("ksmserver", {}, desktop.environment());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return desktop.run({"gdbus", "call", "--session", "--dest", "org.freedesktop.ScreenSaver", "--object-path",
                            "/ScreenSaver", "--method", "org.freedesktop.ScreenSaver.Lock"});
      },
      placeTimeout))
      << "the locker did not start";
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return watch.display()->numbers(bar, "_SONVETTA_SCREEN_LOCKED") == std::vector<std::uint32_t>{1}; },
      placeTimeout))
      << "the strip's window does not say the screen is locked";
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

}  // namespace
