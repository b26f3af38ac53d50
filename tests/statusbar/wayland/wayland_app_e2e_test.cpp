// Runs the real sonvetta on headless sway with a private session bus and
// checks what a user sees: the strip at the top-right beside or below sway's
// bar (its place there is a row of the desktops' table), its not-playing
// content, a long line scrolling, the desktop's light or dark colours, and a
// clean end when the compositor goes away.
#include <QDBusConnection>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "fake_settings_portal.h"
#include "platform/notifications/dbus_post.h"
#include "shared_sway.h"
#include "screen_pixels.h"

namespace {

using namespace sonvetta::testdata;
using sonvetta_test::FakeSettingsPortal;

constexpr uint darkScheme = 1;
constexpr uint lightScheme = 2;

// The 200 x 22 strip at the top-right corner: at the very top when it stands
// beside sway's bar, right below the bar otherwise (measured in the middle,
// as a strip may wear the bar's colour).
QImage stripOf(const QImage& screenshot) {
  const int top = screenshot.pixel(screenshot.width() - 1, 0) == Screen::swayBar ? swayBarHeight(screenshot) : 0;
  return screenshot.copy(screenshot.width() - 200, top, 200, 22);
}

bool isStrip(const QImage& strip) {
  return strip.pixel(strip.width() - 1, 0) != Screen::swayBackground &&
         strip.pixel(strip.width() - 1, strip.height() - 1) != Screen::swayBackground && hasContent(strip);
}

// This process's environment without sway's socket: the application, not
// told where sway is, cannot learn its bar's colours and wears the desktop's
// light or dark ones.
QProcessEnvironment unawareOfSwaysBar() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("SWAYSOCK");
  return environment;
}

// The application runs on sway and on this process's own bus, where the
// test posts and its fake portal answers.
class WaylandAppTest : public SharedSwayTest {
 protected:
  QImage strip() const { return stripOf(sway_->screenshot()); }
  bool waitForStrip() const {
    return QTest::qWaitFor([this] { return isStrip(strip()); }, 10000);
  }
};

TEST_F(WaylandAppTest, ShowsNotPlayingAtTheTopRightAndScrollsALongLine) {
  AppUnderTest app(unawareOfSwaysBar());
  ASSERT_TRUE(waitForStrip()) << "no strip with content at the top-right, beside or below sway's bar";
  EXPECT_GT(meanLightness(strip()), 150) << "without a preference the strip is light";
  const QImage notPlaying = strip();

  using namespace sonvetta::vocabulary;
  ASSERT_TRUE(platform::postNotification(
      QDBusConnection::sessionBus(), spotifyNotification,
      {{spotifyStateKey, playing}, {artistKey, "An Artist With A Long Name"}, {albumKey, "An Album With A Long Name"},
       {titleKey, "A Long Title"}}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return strip() != notPlaying; }, 10000));
  const QImage first = strip();
  QTest::qWait(500);
  EXPECT_NE(strip(), first) << "a line wider than the item scrolls";
  EXPECT_TRUE(app.ownLines().isEmpty()) << "a compositor with the layer shell needs no word";
}

TEST_F(WaylandAppTest, FollowsTheDesktopsDarkAndLightSchemes) {
  FakeSettingsPortal portal(FakeSettingsPortal::Version::current, darkScheme);
  AppUnderTest app(unawareOfSwaysBar());
  ASSERT_TRUE(waitForStrip());
  EXPECT_TRUE(QTest::qWaitFor([&] { return meanLightness(strip()) < 100; }, 10000)) << "a dark scheme gives a dark strip";
  portal.change(lightScheme);
  EXPECT_TRUE(QTest::qWaitFor([&] { return meanLightness(strip()) > 150; }, 10000))
      << "switching to light gives a light strip";
}

// Told where sway is, as sway tells its clients, the strip below sway's bar
// wears the bar's background.
TEST_F(WaylandAppTest, WearsTheColoursOfSwaysBar) {
  AppUnderTest app;
  const auto stripBelowTheBar = [&] {
    const QImage screen = sway_->screenshot();
    return screen.copy(screen.width() - 200, swayBarHeight(screen), 200, 22);
  };
  QImage strip;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        strip = stripBelowTheBar();
        return strip.pixel(strip.width() - 1, 0) == Screen::swayBar && hasContent(strip);
      },
      10000))
      << "its background is " << std::hex << strip.pixel(strip.width() - 1, 0);
  EXPECT_GT(meanLightness(strip), meanLightness(stripBelowTheBar().copy(0, 0, 1, 22))) << "with light text";
}

TEST_F(WaylandAppTest, EndsWithOneLineWhenTheCompositorGoesAway) {
  Session ownSway("sway");  // the suite's sway stays for the other cases
  ASSERT_TRUE(ownSway.unavailable().isEmpty()) << ownSway.unavailable().toStdString();
  AppUnderTest app(ownSway.onDisplay());
  ASSERT_TRUE(QTest::qWaitFor([&] { return isStrip(stripOf(ownSway.screenshot())); }, 10000));
  ownSway.kill();
  ASSERT_TRUE(app.process().waitForFinished(10000)) << "sonvetta lingers without its compositor";
  EXPECT_NE(app.process().exitCode(), 0);
  EXPECT_EQ(app.ownLines(), QStringList{"sonvetta: the display has gone away"});
}

}  // namespace
