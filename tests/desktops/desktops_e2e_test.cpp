// Runs the real sonvetta on the desktops people use, each started headless
// by start-desktop, and checks what a user sees there: the strip at the right
// end of the screen right below what the desktop has along the top, or right
// above its panel along the bottom where it has none at the top, no panel
// covered, its band kept clear of a maximised window, on every workspace,
// standing still, and its own pixels on the screen. One case a desktop; the
// argument names it.
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "event_loop_waits.h"
#include "temporary_folder.h"
#include "x11_display.h"

namespace {

using sonvetta::testdata::wait;
using sonvetta::testdata::waitFor;
using sonvetta::testdata::X11Display;

constexpr int startTimeout = 90000;
constexpr int placeTimeout = 20000;

// What the strip wears beside the desktop's panel.
enum class Wears {
  panelColors,     // the panel's own background
  panelDeepened,   // the panel's hue, darker, for its light text's contrast
  desktopPalette,  // the panel's colours are not to be had: the desktop's light ones
};

struct DesktopCase {
  const char* name;        // as start-desktop knows it
  int panelBottom;         // the bottom of what the desktop has along the top
  QRect window;            // where the strip's window stands
  bool publishesWorkArea;  // the window manager says what maximised windows get
  QStringList switchToSecondWorkspace;
  QStringList restartWindowManager = {};  // none where the case does not restart it
  int scale = 1;                          // the toolkit's, for the application
  std::vector<QRect> panels = {};         // none of them to be covered
  Wears wears = Wears::desktopPalette;

  QRect strip() const { return QRect(window.right() + 1 - 200 * scale, window.top(), 200 * scale, 22 * scale); }
  // A strip along the bottom keeps its band there: maximised windows end
  // right above it.
  bool alongBottom() const { return window.top() > 400; }
  std::string testName() const {
    return scale == 1 ? name : std::string(name).append("_").append(std::to_string(scale)).append("x");
  }
};

void PrintTo(const DesktopCase& desktop, std::ostream* out) { *out << desktop.testName(); }

const QStringList wmctrlSwitch = {"wmctrl", "-s", "1"};

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
    {"gnome_x11", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch, {"gnome-shell", "--x11", "--replace", "--sm-disable"},
     1, {}, Wears::panelColors},
    // On XWayland the root window holds none of the desktop's pixels.
    {"gnome_wayland", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch},
    {"kde_x11", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch, {"kwin_x11", "--replace"}, 1, {}, Wears::panelColors},
    {"kde_wayland", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch},
    // As they come: the only panel along the bottom, in a window (Plasma,
    // LXQt) or drawn by the shell (Cinnamon).
    {"kde_x11_default", 0, QRect(1080, 734, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 756, 1280, 44)},
     Wears::panelColors},
    {"kde_wayland_default", 0, QRect(1080, 734, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 756, 1280, 44)}},
    {"cinnamon", 0, QRect(1080, 738, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 760, 1280, 40)},
     Wears::panelDeepened},
    {"lxqt", 0, QRect(1080, 746, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 768, 1280, 32)}, Wears::panelColors},
    // Along the top and the bottom: below the top one.
    {"mate", 25, QRect(1080, 25, 200, 22), true, wmctrlSwitch, {}, 1, {QRect(0, 0, 1280, 25), QRect(0, 776, 1280, 24)},
     Wears::panelColors},
    // Two outputs side by side, the strip on the first.
    {"kwin_wayland_2", 0, QRect(1080, 0, 200, 22), true, wmctrlSwitch},
};

QString describe(const QRect& rect) {
  return QString("%1x%2+%3+%4").arg(rect.width()).arg(rect.height()).arg(rect.x()).arg(rect.y());
}

// A program that ends with the test, its children included.
class Program {
 public:
  Program(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setChildProcessModifier([] { setsid(); });
    process_.start(program, arguments);
    process_.waitForStarted(10000);
  }
  ~Program() {
    if (process_.state() == QProcess::NotRunning) return;
    ::kill(-static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(5000)) ::kill(-static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(5000);
  }
  QProcess& process() { return process_; }

  // CPU time the program has used so far, in clock ticks.
  long cpuTicks() const {
    QFile stat(QString("/proc/%1/stat").arg(process_.processId()));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QString line = QString::fromLatin1(stat.readAll());
    const QStringList fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;
  }

 private:
  QProcess process_;
};

// One desktop, running until the end of the test.
class Desktop {
 public:
  explicit Desktop(const char* name) : folder_(QString::fromStdString(home_.path().string())) {
    QString desktop = name;
    desktop.replace('_', '-');
    starter_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    starter_.setChildProcessModifier([] { setsid(); });
    starter_.start(START_DESKTOP, {desktop, folder_});
    starter_.waitForStarted(10000);
    group_ = static_cast<pid_t>(starter_.processId());
    const QString session = folder_ + "/session";
    if (!waitFor([&] { return QFile::exists(session) || starter_.state() == QProcess::NotRunning; }, startTimeout)) {
      unavailable_ = "it did not start in time";
      return;
    }
    if (!QFile::exists(session)) {
      const QString said = QString::fromLocal8Bit(starter_.readAllStandardError()).trimmed();
      unavailable_ = starter_.exitCode() == 77 ? said : "it did not start: " + said;
      failed_ = starter_.exitCode() != 77;
      return;
    }
    QFile file(session);
    file.open(QIODevice::ReadOnly);
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.remove("QT_QPA_PLATFORM");
    for (const QString& line : QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
      const qsizetype equals = line.indexOf('=');
      const QString key = line.left(equals);
      const QString value = line.mid(equals + 1);
      if (value.isEmpty()) {
        environment_.remove(key);
      } else {
        environment_.insert(key, value);
      }
    }
  }
  // The whole process group, even where start-desktop itself gave up.
  ~Desktop() {
    if (group_ <= 0) return;
    ::kill(-group_, SIGTERM);
    if (!starter_.waitForFinished(10000)) ::kill(-group_, SIGKILL);
    starter_.waitForFinished(5000);
    wait(500);
    ::kill(-group_, SIGKILL);
  }

  const QString& unavailable() const { return unavailable_; }
  bool failed() const { return failed_; }
  const QProcessEnvironment& environment() const { return environment_; }
  QString value(const QString& name) const { return environment_.value(name); }

  // Runs `command` on the desktop; true when it succeeded.
  bool run(const QStringList& command) const {
    QProcess process;
    process.setProcessEnvironment(environment_);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(command.first(), command.mid(1));
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  }

  // One Wayland output as grim captures it, in device pixels.
  QImage outputShot(const QString& output) const {
    QProcess grim;
    grim.setProcessEnvironment(environment_);
    grim.start("grim", {"-o", output, folder_ + "/output.png"});
    if (!grim.waitForFinished(20000) || grim.exitCode() != 0) return {};
    return QImage(folder_ + "/output.png").convertToFormat(QImage::Format_RGB32);
  }

  // What `command` writes on standard output.
  QByteArray read(const QStringList& command) const {
    QProcess process;
    process.setProcessEnvironment(environment_);
    process.start(command.first(), command.mid(1));
    process.waitForFinished(20000);
    return process.readAllStandardOutput();
  }

  // The whole screen as a user sees it. Where no X display shows it (KWin
  // on its own virtual outputs, whose Xwayland is rootless), the strip's
  // window alone, put at its place on an empty screen.
  QImage screenshot(xcb_window_t bar, const QRect& place) const {
    const bool whole = !value("SCREEN").isEmpty();
    QProcessEnvironment outer = environment_;
    if (whole) {
      outer.insert("DISPLAY", value("SCREEN"));
      outer.remove("XAUTHORITY");
    }
    QProcess import;
    import.setProcessEnvironment(outer);
    import.start("import", {"-window", whole ? QString("root") : QString::number(bar), "png:" + folder_ + "/screen.png"});
    if (!import.waitForFinished(20000) || import.exitCode() != 0) return {};
    const QImage shot = QImage(folder_ + "/screen.png").convertToFormat(QImage::Format_RGB32);
    if (whole || shot.size() != place.size()) return shot;
    QImage screen(place.right() + 1, place.bottom() + 1, QImage::Format_RGB32);
    screen.fill(Qt::black);
    for (int y = 0; y < shot.height(); ++y) {
      for (int x = 0; x < shot.width(); ++x) screen.setPixel(place.x() + x, place.y() + y, shot.pixel(x, y));
    }
    return screen;
  }

 private:
  sonvetta::testdata::TemporaryFolder home_;
  QString folder_;
  QProcess starter_;
  pid_t group_ = 0;
  QString unavailable_;
  bool failed_ = false;
  QProcessEnvironment environment_;
};

// What the window manager gives maximised windows on the first workspace.
QRect workArea(const X11Display& display) {
  const std::vector<std::uint32_t> area = display.numbers(display.root(), "_NET_WORKAREA");
  if (area.size() < 4) return {};
  return QRect(static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]),
               static_cast<int>(area[3]));
}

// True when maximised windows end right at the strip, above or below it.
bool keepsItsBandClear(const X11Display& display, const DesktopCase& desktopCase) {
  const QRect area = workArea(display);
  const QRect strip = desktopCase.strip();
  return desktopCase.alongBottom() ? area.bottom() + 1 == strip.top() : area.top() == strip.bottom() + 1;
}

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

QString describe(std::optional<QRgb> color) {
  return color ? QColor(*color).name() : QString("none");
}

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
    desktop_ = std::make_unique<Desktop>(GetParam().name);
    EXPECT_FALSE(desktop_->failed()) << GetParam().name << ": " << desktop_->unavailable().toStdString();
    if (desktop_->unavailable().isEmpty()) return true;
    std::cout << "desktop unavailable: " << GetParam().name << ": " << desktop_->unavailable().toStdString() << "\n";
    return false;
  }

  std::unique_ptr<Desktop> desktop_;
};

TEST_P(DesktopTest, StripStandsBelowThePanelReservesItsBandOnEveryWorkspaceAndStaysPut) {
  const DesktopCase& desktopCase = GetParam();
  if (!startDesktop()) GTEST_SKIP() << desktop_->unavailable().toStdString();
  const Desktop& desktop = *desktop_;
  qputenv("XAUTHORITY", desktop.value("XAUTHORITY").toLocal8Bit());
  const X11Display display(desktop.value("DISPLAY").toLocal8Bit().constData());
  ASSERT_TRUE(display.connected());
  if (desktopCase.publishesWorkArea) {
    // Some panels settle a row or two after they first reserve their band;
    // KWin without Plasma publishes no work area before a window reserves one.
    EXPECT_TRUE(waitFor([&] { return display.workAreaTop() == desktopCase.panelBottom || display.workAreaTop() == -1; },
                        placeTimeout))
        << "the desktop's own band along the top ends at " << display.workAreaTop();
  }

  QProcessEnvironment appEnvironment = desktop.environment();
  if (desktopCase.scale != 1) appEnvironment.insert("QT_SCALE_FACTOR", QString::number(desktopCase.scale));
  Program app(SONVETTA, {}, appEnvironment);
  xcb_window_t bar = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (bar = display.windowNamed("Sonvetta status bar")) != XCB_NONE; }, placeTimeout));
  const QRect strip = desktopCase.strip();
  EXPECT_TRUE(waitFor([&] { return display.geometry(bar) == desktopCase.window; }, placeTimeout))
      << "its window stands at " << describe(display.geometry(bar)).toStdString();
  if (desktopCase.publishesWorkArea) {
    EXPECT_TRUE(waitFor([&] { return keepsItsBandClear(display, desktopCase); }, placeTimeout))
        << "maximised windows get " << describe(workArea(display)).toStdString();
  }
  for (const QRect& panel : desktopCase.panels) {
    EXPECT_FALSE(panel.intersects(display.geometry(bar))) << "it covers the panel at " << describe(panel).toStdString();
  }

  Program maximised("xterm", {"-fa", "Monospace", "-T", "A maximised window"}, desktop.environment());
  xcb_window_t window = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (window = display.windowNamed("A maximised window")) != XCB_NONE; }, placeTimeout));
  // Asked again until the window manager has taken the window on.
  EXPECT_TRUE(waitFor(
      [&] {
        desktop.run({"wmctrl", "-r", "A maximised window", "-b", "add,maximized_vert,maximized_horz"});
        return !display.geometry(window).intersects(strip) && display.geometry(window).height() > 500;
      },
      placeTimeout))
      << "the maximised window stands at " << describe(display.geometry(window)).toStdString();

  EXPECT_EQ(display.numbers(bar, "_NET_WM_DESKTOP"), std::vector<std::uint32_t>{0xFFFFFFFF});
  // The rest, screenshot included, happens on the second workspace.
  const std::vector<std::uint32_t> second = {1};
  EXPECT_TRUE(waitFor(
      [&] {
        return desktop.run(desktopCase.switchToSecondWorkspace) &&
               display.numbers(display.root(), "_NET_CURRENT_DESKTOP") == second;
      },
      placeTimeout))
      << "the second workspace";
  EXPECT_TRUE(display.isViewable(bar));
  EXPECT_EQ(display.geometry(bar), desktopCase.window);

  // Standing still: not one move, and no work once the workspace switch,
  // which it looks at, has passed.
  wait(1000);
  const long ticksBefore = app.cpuTicks();
  bool stood = true;
  for (int sample = 0; sample < 100 && stood; ++sample) {
    wait(100);
    stood = display.geometry(bar) == desktopCase.window;
  }
  const long ticks = app.cpuTicks() - ticksBefore;
  EXPECT_TRUE(stood) << "it moved to " << describe(display.geometry(bar)).toStdString();
  std::cout << "figures: " << desktopCase.testName() << ": strip " << describe(strip).toStdString() << ", panels";
  for (const QRect& panel : desktopCase.panels) std::cout << " " << describe(panel).toStdString();
  std::cout << ", panel bottom " << desktopCase.panelBottom << ", maximise area "
            << describe(desktopCase.publishesWorkArea ? workArea(display) : display.geometry(window)).toStdString()
            << ", CPU over 10 s standing still " << ticks * 1000 / sysconf(_SC_CLK_TCK) << " ms\n";

  const QImage screen = desktop.screenshot(bar, display.geometry(bar));
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
TEST_P(DesktopTest, ComesBackToItsPlaceWhenTheWindowManagerRestarts) {
  const DesktopCase& desktopCase = GetParam();
  if (desktopCase.restartWindowManager.isEmpty()) GTEST_SKIP() << "no restart on this desktop";
  if (!startDesktop()) GTEST_SKIP() << desktop_->unavailable().toStdString();
  const Desktop& desktop = *desktop_;
  qputenv("XAUTHORITY", desktop.value("XAUTHORITY").toLocal8Bit());
  const X11Display display(desktop.value("DISPLAY").toLocal8Bit().constData());
  Program app(SONVETTA, {}, desktop.environment());
  xcb_window_t bar = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (bar = display.windowNamed("Sonvetta status bar")) != XCB_NONE; }, placeTimeout));
  ASSERT_TRUE(waitFor([&] { return display.geometry(bar) == desktopCase.window; }, placeTimeout));

  QProcessEnvironment environment = desktop.environment();
  environment.insert("KWIN_COMPOSE", "N");
  Program restarted(desktopCase.restartWindowManager.first(), desktopCase.restartWindowManager.mid(1), environment);
  QRect elsewhere;
  const auto placeOnceBack = [&] {
    const QRect now = display.geometry(bar);
    if (display.isViewable(bar) && !now.isEmpty() && now != desktopCase.window) elsewhere = now;
    return now == desktopCase.window && display.isViewable(bar) &&
           (!desktopCase.publishesWorkArea || keepsItsBandClear(display, desktopCase));
  };
  // Through the restart and the seconds after it; gnome-shell takes half a
  // minute to come up again on a busy machine.
  wait(1000);
  EXPECT_TRUE(waitFor(placeOnceBack, 3 * placeTimeout))
      << "it stands at " << describe(display.geometry(bar)).toStdString() << (display.isViewable(bar) ? "" : ", unmapped")
      << ", the work area " << describe(workArea(display)).toStdString();
  for (int sample = 0; sample < 60; ++sample) {
    wait(50);
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

// Runs `change` and follows the strip until it stands viewable at `to`;
// while it moves it may vanish or stay at `from`, nowhere else.
Move follow(const X11Display& display, xcb_window_t bar, const QRect& from, const QRect& to,
            const std::function<bool()>& change) {
  QElapsedTimer clock;
  clock.start();
  Move move;
  if (!change()) return move;
  while (clock.elapsed() < placeTimeout) {
    const QRect now = display.geometry(bar);
    const bool viewable = display.isViewable(bar);
    if (viewable && now == to) {
      move.arrived = true;
      move.milliseconds = static_cast<int>(clock.elapsed());
      return move;
    }
    if (viewable && !now.isEmpty() && now != from) move.elsewhere = now;
    wait(20);
  }
  return move;
}

// A desktop started for one case, with the application on it.
class RunningDesktop {
 public:
  explicit RunningDesktop(const char* name) : desktop_(name) {}
  // Starts the application; true once its strip stands at `place`.
  bool start(const QRect& place) {
    if (!desktop_.unavailable().isEmpty()) return false;
    qputenv("XAUTHORITY", desktop_.value("XAUTHORITY").toLocal8Bit());
    display_ = std::make_unique<X11Display>(desktop_.value("DISPLAY").toLocal8Bit().constData());
    app_ = std::make_unique<Program>(SONVETTA, QStringList{}, desktop_.environment());
    return waitFor([&] { return (bar_ = display_->windowNamed("Sonvetta status bar")) != XCB_NONE; }, placeTimeout) &&
           waitFor([&] { return display_->geometry(bar_) == place; }, placeTimeout);
  }
  const Desktop& desktop() const { return desktop_; }
  const X11Display& display() const { return *display_; }
  xcb_window_t bar() const { return bar_; }
  bool appRunning() { return app_->process().state() == QProcess::Running; }

 private:
  Desktop desktop_;
  std::unique_ptr<X11Display> display_;
  std::unique_ptr<Program> app_;
  xcb_window_t bar_ = XCB_NONE;
};

void expectMovedTo(const Move& move, const char* change, const QRect& to) {
  EXPECT_TRUE(move.arrived) << change << ": it never stood at " << describe(to).toStdString();
  EXPECT_TRUE(move.elsewhere.isNull()) << change << ": it stood at " << describe(move.elsewhere).toStdString();
  std::cout << "figures: " << change << ": at " << describe(to).toStdString() << " after " << move.milliseconds
            << " ms\n";
}

// Plasma's panel moved to the top and back while the strip runs: the strip
// follows it to the other edge, and its band with it.
TEST(DesktopChanges, FollowsPlasmasPanelToTheTopAndBack) {
  RunningDesktop running("kde_x11_default");
  if (!running.desktop().unavailable().isEmpty()) GTEST_SKIP() << running.desktop().unavailable().toStdString();
  const QRect above(1080, 734, 200, 22);
  const QRect below(1080, 44, 200, 22);
  ASSERT_TRUE(running.start(above));
  const X11Display& display = running.display();
  const auto movePanel = [&](const char* location) {
    return [&running, location] {
      return running.desktop().run({"gdbus", "call", "--session", "--dest", "org.kde.plasmashell", "--object-path",
                                    "/PlasmaShell", "--method", "org.kde.PlasmaShell.evaluateScript",
                                    QString("panels().forEach(function (p) { p.location = '%1'; })").arg(location)});
    };
  };
  expectMovedTo(follow(display, running.bar(), above, below, movePanel("top")), "Plasma's panel moved to the top", below);
  EXPECT_TRUE(waitFor([&] { return workArea(display) == QRect(0, 66, 1280, 734); }, placeTimeout))
      << "maximised windows get " << describe(workArea(display)).toStdString();
  expectMovedTo(follow(display, running.bar(), below, above, movePanel("bottom")), "and back to the bottom", above);
  EXPECT_TRUE(waitFor([&] { return workArea(display) == QRect(0, 0, 1280, 734); }, placeTimeout))
      << "maximised windows get " << describe(workArea(display)).toStdString();
  EXPECT_TRUE(running.appRunning());
}

// KWin's outputs switched off and on under the strip: it stays at the
// top-right of the output at the origin (KWin moves the other one there),
// and lives on. KWin refuses to switch off its last output.
TEST(DesktopChanges, OutlivesItsOutputSwitchedOffAndOn) {
  RunningDesktop running("kwin_wayland_2");
  if (!running.desktop().unavailable().isEmpty()) GTEST_SKIP() << running.desktop().unavailable().toStdString();
  const QRect corner(1080, 0, 200, 22);
  ASSERT_TRUE(running.start(corner));
  const X11Display& display = running.display();
  for (const char* change : {"output.Virtual-0.disable", "output.Virtual-0.enable", "output.Virtual-1.disable",
                             "output.Virtual-1.enable"}) {
    const Move move = follow(display, running.bar(), corner, corner, [&] {
      return running.desktop().run({"env", "QT_QPA_PLATFORM=wayland", "kscreen-doctor", change});
    });
    expectMovedTo(move, change, corner);
    wait(1000);
    EXPECT_EQ(display.geometry(running.bar()), corner) << change;
    ASSERT_TRUE(running.appRunning()) << change;
  }
}

// sway's output background and its bar's, as start-desktop sets them.
constexpr QRgb swayBackground = 0xff3060a0;
constexpr QRgb swayBar = 0xff000000;

// The rows of swaybar's band along the top of `output`, in device pixels.
int swayBarHeight(const QImage& output) {
  int height = 0;
  while (height < output.height() && output.pixel(output.width() / 2, height) == swayBar) ++height;
  return height;
}

// The strip's rectangle at the top-right of `output` below the bar, in
// device pixels: what is not background there (the strip wears the bar's
// colour); empty where nothing is, or where sway has not yet drawn the
// output's new area (more rows than any strip).
QRect swayStrip(const QImage& output) {
  const int top = swayBarHeight(output);
  const int right = output.width() - 1;
  const auto isStrip = [&](int x, int y) { return output.pixel(x, y) != swayBackground; };
  if (output.isNull() || top >= output.height() || !isStrip(right, top)) return {};
  int left = right;
  while (left > 0 && isStrip(left - 1, top)) --left;
  int bottom = top;
  while (bottom + 1 < output.height() && isStrip(right, bottom + 1)) ++bottom;
  if (bottom - top > 100) return {};
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The area windows get on the visible workspace of `output`, in points.
QRect swayWorkspaceArea(const Desktop& desktop, const QString& output) {
  const QJsonArray workspaces = QJsonDocument::fromJson(desktop.read({"swaymsg", "--raw", "-t", "get_workspaces"})).array();
  for (const QJsonValue workspace : workspaces) {
    if (workspace["output"].toString() != output || !workspace["visible"].toBool()) continue;
    const QJsonValue rect = workspace["rect"];
    return QRect(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(), rect["height"].toInt());
  }
  return {};
}

// sway with its bar on each of two outputs: the strip stands on the first,
// right below its bar, and keeps its band from windows there; the second
// shows none. A new mode and then a new scale for the first output while it
// runs: the strip follows to the new right end, at the new density.
TEST(DesktopChanges, SwayWithTwoOutputsThenANewModeAndScale) {
  const Desktop desktop("sway_2");
  if (!desktop.unavailable().isEmpty()) GTEST_SKIP() << desktop.unavailable().toStdString();
  ASSERT_FALSE(desktop.failed());
  Program app(SONVETTA, {}, desktop.environment());
  const QImage first = desktop.outputShot("HEADLESS-1");
  const int bar = swayBarHeight(first);
  ASSERT_GT(bar, 0) << "swaybar along the top";
  const QRect place(1080, bar, 200, 22);
  ASSERT_TRUE(waitFor([&] { return swayStrip(desktop.outputShot("HEADLESS-1")) == place; }, placeTimeout))
      << "it stands at " << describe(swayStrip(desktop.outputShot("HEADLESS-1"))).toStdString();
  EXPECT_TRUE(waitFor([&] { return swayWorkspaceArea(desktop, "HEADLESS-1").top() == bar + 22; }, placeTimeout))
      << "windows get " << describe(swayWorkspaceArea(desktop, "HEADLESS-1")).toStdString();
  EXPECT_TRUE(swayStrip(desktop.outputShot("HEADLESS-2")).isNull()) << "a strip on the second output";
  const QImage shown = desktop.outputShot("HEADLESS-1");
  EXPECT_EQ(shown.pixel(place.right(), place.top()), swayBar) << "it wears the bar's colour";
  EXPECT_TRUE(showsStrip(shown.copy(place))) << "its own pixels";
  std::cout << "figures: sway_2: strip " << describe(place).toStdString() << ", bar 1280x" << bar
            << "+0+0 on each output, maximise area " << describe(swayWorkspaceArea(desktop, "HEADLESS-1")).toStdString()
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
    const bool arrived = waitFor(
        [&] {
          const QRect now = swayStrip(desktop.outputShot("HEADLESS-1"));
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

INSTANTIATE_TEST_SUITE_P(Desktops, DesktopTest, testing::ValuesIn(desktops),
                         [](const testing::TestParamInfo<DesktopCase>& info) { return info.param.testName(); });

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
