// Runs the real sonvetta on headless sway with a private session bus and
// checks what a user sees: the strip at the top-right beside or below sway's
// bar, its not-playing content, a long line scrolling, the desktop's light or
// dark colours, and a clean end when the compositor goes away.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "event_loop_waits.h"
#include "fake_settings_portal.h"
#include "headless_sway.h"
#include "platform/notifications/dbus_post.h"
#include "strip_lightness.h"
#include "temporary_folder.h"

namespace {

using sonvetta_test::FakeSettingsPortal;
using sonvetta::testdata::meanLightness;
using sonvetta::testdata::wait;
using sonvetta::testdata::waitFor;

constexpr uint darkScheme = 1;
constexpr uint lightScheme = 2;

// The 200 x 22 strip at the top-right corner: at the very top when it stands
// beside sway's bar, right below the bar otherwise.
QImage stripOf(const QImage& screenshot) {
  const int right = screenshot.width() - 1;
  int top = 0;
  if (screenshot.pixel(right, 0) == HeadlessSway::barBackground) {
    while (top < screenshot.height() && screenshot.pixel(right, top) == HeadlessSway::barBackground) ++top;
  }
  return screenshot.copy(screenshot.width() - 200, top, 200, 22);
}

// True when the strip shows something besides its background: the music
// note and "Music not playing", or a track's line.
bool hasContent(const QImage& strip) {
  int differing = 0;
  for (int y = 0; y < strip.height(); ++y) {
    for (int x = 0; x < strip.width(); ++x) differing += strip.pixel(x, y) != strip.pixel(strip.width() - 1, 0);
  }
  return differing > 100;
}

bool isStrip(const QImage& strip) {
  return strip.pixel(strip.width() - 1, 0) != HeadlessSway::background &&
         strip.pixel(strip.width() - 1, strip.height() - 1) != HeadlessSway::background && hasContent(strip);
}

// What sonvetta itself says on standard error, without the toolkit's words
// (run as root, Qt remarks on sway's runtime folder).
QStringList ownLines(const QByteArray& standardError) {
  return QString::fromUtf8(standardError).split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^sonvetta: "));
}

class App {
 public:
  explicit App(const QString& swaySocket = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home_.path().string()));
    environment.remove("DISPLAY");
    if (!swaySocket.isEmpty()) environment.insert("SWAYSOCK", swaySocket);
    process_.setProcessEnvironment(environment);
    process_.start(SONVETTA, {});
    process_.waitForStarted(10000);
  }
  ~App() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  QProcess& process() { return process_; }

 private:
  sonvetta::testdata::TemporaryFolder home_;
  QProcess process_;
};

class WaylandAppTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { sway_ = std::make_unique<HeadlessSway>(); }
  static void TearDownTestSuite() { sway_.reset(); }
  void SetUp() override {
    if (!sway_->unavailable().isEmpty()) GTEST_SKIP() << "headless sway: " << sway_->unavailable().toStdString();
  }

  QImage strip() const { return stripOf(sway_->screenshot()); }
  bool waitForStrip() const {
    return waitFor([this] { return isStrip(strip()); });
  }

  static std::unique_ptr<HeadlessSway> sway_;
};

std::unique_ptr<HeadlessSway> WaylandAppTest::sway_;

TEST_F(WaylandAppTest, ShowsNotPlayingAtTheTopRightAndScrollsALongLine) {
  App app;
  ASSERT_TRUE(waitForStrip()) << "no strip with content at the top-right, beside or below sway's bar";
  EXPECT_GT(meanLightness(strip()), 150) << "without a preference the strip is light";
  const QImage notPlaying = strip();

  ASSERT_TRUE(platform::postNotification(
      QDBusConnection::sessionBus(), "com.spotify.client.PlaybackStateChanged",
      {{"PlayerState", "Playing"}, {"Artist", "An Artist With A Long Name"}, {"Album", "An Album With A Long Name"},
       {"Name", "A Long Title"}}));
  ASSERT_TRUE(waitFor([&] { return strip() != notPlaying; }));
  const QImage first = strip();
  wait(500);
  EXPECT_NE(strip(), first) << "a line wider than the item scrolls";
  EXPECT_TRUE(ownLines(app.process().readAllStandardError()).isEmpty()) << "a compositor with the layer shell needs no word";
}

TEST_F(WaylandAppTest, StandsRightBelowSwaysBarKeepsItsBandClearOfWindowsAndStaysPut) {
  App app;
  ASSERT_TRUE(waitForStrip());
  const QImage screen = sway_->screenshot();
  const int right = HeadlessSway::screenWidth - 1;
  int bar = 0;
  while (bar < screen.height() && screen.pixel(right / 2, bar) == HeadlessSway::barBackground) ++bar;
  ASSERT_GT(bar, 0) << "sway's bar along the top";
  EXPECT_EQ(screen.pixel(right, bar - 1), HeadlessSway::barBackground) << "the bar is not covered";
  EXPECT_NE(screen.pixel(right, bar), HeadlessSway::barBackground) << "the strip starts right below it";
  EXPECT_EQ(screen.pixel(right - 200, bar + 11), HeadlessSway::background) << "nothing drawn left of the strip";
  EXPECT_TRUE(waitFor([&] { return sway_->workspaceArea().top() == bar + 22; }))
      << "windows get the area from " << sway_->workspaceArea().top();
  const QImage standing = strip();
  for (int second = 0; second < 10; ++second) {
    wait(1000);
    ASSERT_EQ(strip(), standing) << "it moved or changed after " << second << " s";
  }
}

TEST_F(WaylandAppTest, FollowsTheDesktopsDarkAndLightSchemes) {
  FakeSettingsPortal portal(FakeSettingsPortal::Version::current, darkScheme);
  App app;
  ASSERT_TRUE(waitForStrip());
  EXPECT_TRUE(waitFor([&] { return meanLightness(strip()) < 100; })) << "a dark scheme gives a dark strip";
  portal.change(lightScheme);
  EXPECT_TRUE(waitFor([&] { return meanLightness(strip()) > 150; })) << "switching to light gives a light strip";
}

// Told where sway is, as sway tells its clients, the strip below sway's bar
// wears the bar's background.
TEST_F(WaylandAppTest, WearsTheColoursOfSwaysBar) {
  App app(sway_->ipcSocket());
  const auto stripBelowTheBar = [&] {
    const QImage screen = sway_->screenshot();
    int bar = 0;
    while (bar < screen.height() && screen.pixel(screen.width() / 2, bar) == HeadlessSway::barBackground) ++bar;
    return screen.copy(screen.width() - 200, bar, 200, 22);
  };
  QImage strip;
  EXPECT_TRUE(waitFor([&] {
    strip = stripBelowTheBar();
    return strip.pixel(strip.width() - 1, 0) == HeadlessSway::barBackground && hasContent(strip);
  })) << "its background is " << std::hex << strip.pixel(strip.width() - 1, 0);
  EXPECT_GT(meanLightness(strip), meanLightness(stripBelowTheBar().copy(0, 0, 1, 22))) << "with light text";
}

TEST_F(WaylandAppTest, EndsWithOneLineWhenTheCompositorGoesAway) {
  HeadlessSway ownSway;  // the suite's sway stays for the other cases
  ASSERT_TRUE(ownSway.unavailable().isEmpty()) << ownSway.unavailable().toStdString();
  App app;
  ASSERT_TRUE(waitFor([&] { return isStrip(stripOf(ownSway.screenshot())); }));
  ownSway.kill();
  ASSERT_TRUE(app.process().waitForFinished(10000)) << "sonvetta lingers without its compositor";
  EXPECT_NE(app.process().exitCode(), 0);
  EXPECT_EQ(ownLines(app.process().readAllStandardError()), QStringList{"sonvetta: the display has gone away"});
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
