// Runs the real sonvetta on the desktops people use, each started headless
// by start-desktop, and checks what a user sees there: the strip at the right
// end of the screen right below what the desktop has along the top, its band
// kept clear of a maximised window, on every workspace, standing still, and
// its own pixels on the screen. One case a desktop; the argument names it.
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
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

struct DesktopCase {
  const char* name;        // as start-desktop knows it
  int panelBottom;         // the bottom of what the desktop has along the top
  QRect window;            // where the strip's window stands
  bool publishesWorkArea;  // the window manager says what maximised windows get
  QStringList switchToSecondWorkspace;
  QStringList restartWindowManager = {};  // none where the case does not restart it
  int scale = 1;                          // the toolkit's, for the application

  QRect strip() const { return QRect(window.right() + 1 - 200 * scale, window.top(), 200 * scale, 22 * scale); }
  std::string testName() const {
    return scale == 1 ? name : std::string(name).append("_").append(std::to_string(scale)).append("x");
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
    {"gnome_x11", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch, {"gnome-shell", "--x11", "--replace", "--sm-disable"}},
    {"gnome_wayland", 32, QRect(1080, 32, 200, 22), true, wmctrlSwitch},
    {"kde_x11", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch, {"kwin_x11", "--replace"}},
    {"kde_wayland", 44, QRect(1080, 44, 200, 22), true, wmctrlSwitch},
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

  // The whole screen as a user sees it.
  QImage screenshot() const {
    QProcessEnvironment outer = environment_;
    outer.insert("DISPLAY", value("SCREEN"));
    outer.remove("XAUTHORITY");
    QProcess import;
    import.setProcessEnvironment(outer);
    import.start("import", {"-window", "root", "png:" + folder_ + "/screen.png"});
    if (!import.waitForFinished(20000) || import.exitCode() != 0) return {};
    return QImage(folder_ + "/screen.png").convertToFormat(QImage::Format_RGB32);
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
    EXPECT_EQ(display.workAreaTop(), desktopCase.panelBottom) << "the desktop's own band along the top";
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
    EXPECT_TRUE(waitFor([&] { return display.workAreaTop() == strip.bottom() + 1; }, placeTimeout))
        << "maximised windows get the area from " << display.workAreaTop();
  }

  Program maximised("xterm", {"-fa", "Monospace", "-T", "A maximised window"}, desktop.environment());
  xcb_window_t window = XCB_NONE;
  ASSERT_TRUE(waitFor([&] { return (window = display.windowNamed("A maximised window")) != XCB_NONE; }, placeTimeout));
  // Asked again until the window manager has taken the window on.
  EXPECT_TRUE(waitFor(
      [&] {
        desktop.run({"wmctrl", "-r", "A maximised window", "-b", "add,maximized_vert,maximized_horz"});
        return display.geometry(window).top() > strip.bottom() && display.geometry(window).height() > 500;
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
  std::cout << "figures: " << desktopCase.testName() << ": strip " << describe(strip).toStdString() << ", panel bottom "
            << desktopCase.panelBottom << ", maximise area from "
            << (desktopCase.publishesWorkArea ? display.workAreaTop() : display.geometry(window).top())
            << ", CPU over 10 s standing still " << ticks * 1000 / sysconf(_SC_CLK_TCK) << " ms\n";

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
           (!desktopCase.publishesWorkArea || display.workAreaTop() == desktopCase.strip().bottom() + 1);
  };
  // Through the restart and the seconds after it; gnome-shell takes half a
  // minute to come up again on a busy machine.
  wait(1000);
  EXPECT_TRUE(waitFor(placeOnceBack, 3 * placeTimeout))
      << "it stands at " << describe(display.geometry(bar)).toStdString() << (display.isViewable(bar) ? "" : ", unmapped")
      << ", the work area from " << display.workAreaTop();
  for (int sample = 0; sample < 60; ++sample) {
    wait(50);
    placeOnceBack();
  }
  EXPECT_TRUE(elsewhere.isNull()) << "it stood at " << describe(elsewhere).toStdString();
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
