// Runs the real sonvetta on the display and session bus it is given (a
// virtual display and a private bus under ctest), posts player notifications
// as the players would, and checks what a user sees: the progress lines on
// standard output and the status bar on screen.
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

#include "event_loop_waits.h"
#include "fake_settings_portal.h"
#include "platform/notifications/dbus_post.h"
#include "strip_lightness.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::meanLightness;
using sonvetta::testdata::wait;
using sonvetta::testdata::waitFor;

const QString musicApp = "com.apple.iTunes.playerInfo";
const QString spotify = "com.spotify.client.PlaybackStateChanged";

// The status bar as the screen shows it: the top-right 200 x 22 points.
QImage statusBarShot() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen->geometry();
  return screen->grabWindow(0, area.right() + 1 - 200, area.top(), 200, 22).toImage().convertToFormat(QImage::Format_RGB32);
}

// How many pixels in the square at the left edge are clearly red.
int redPixelsInImageSlot(const QImage& shot) {
  int count = 0;
  for (int y = 0; y < 22; ++y) {
    for (int x = 0; x < 22; ++x) {
      const QColor color = shot.pixelColor(x, y);
      if (color.red() > 180 && color.green() < 90 && color.blue() < 90) ++count;
    }
  }
  return count;
}

class SonvettaApp : public testing::Test {
 protected:
  void SetUp() override {
    const auto library = home_.path() / "Music" / "Music" / "Demo Artist" / "Demo Album";
    std::filesystem::create_directories(library);
    writeTaggedAudio(library / "01 Red Song.mp3", AudioFormat::mp3ID3v24,
                     sonvetta::testdata::trackTags("Demo Artist", "Demo Album", "Red Song",
                                                   sonvetta::testdata::solidPicture("red", "JPEG")));

    background_ = statusBarShot();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home_.path().string()));
    app_.setProcessEnvironment(environment);
    app_.setProcessChannelMode(QProcess::SeparateChannels);
    app_.start(SONVETTA, {});
    ASSERT_TRUE(app_.waitForStarted(10000));
    ASSERT_TRUE(waitFor([this] { return statusBarShot() != background_; })) << "the status bar never appeared";
  }

  void TearDown() override {
    app_.kill();
    app_.waitForFinished(5000);
  }

  void post(const QString& name, const QVariantMap& userInfo) {
    ASSERT_TRUE(platform::postNotification(QDBusConnection::sessionBus(), name, userInfo));
  }

  // Collects the app's output until a line that begins with `prefix` arrives.
  QStringList outputUntil(const QString& prefix) {
    waitFor([&] {
      output_ += QString::fromUtf8(app_.readAllStandardOutput());
      return output_.contains("\n" + prefix) || output_.startsWith(prefix);
    });
    QStringList lines = output_.split('\n', Qt::SkipEmptyParts);
    output_.clear();
    return lines;
  }

  std::string home() const { return home_.path().string(); }

  sonvetta::testdata::TemporaryFolder home_;
  QProcess app_;
  QImage background_;
  QString output_;
};

QVariantMap track(const QString& stateKey, const QString& artist, const QString& album, const QString& title) {
  return {{stateKey, "Playing"}, {"Artist", artist}, {"Album", album}, {"Name", title}};
}

TEST_F(SonvettaApp, ShowsTheMusicNoteAtStartThenTheArtworkOfALibraryTrack) {
  const QImage atStart = statusBarShot();
  EXPECT_EQ(redPixelsInImageSlot(atStart), 0);
  EXPECT_TRUE(app_.readAllStandardOutput().isEmpty()) << "nothing is searched before a track plays";

  post(musicApp, track("Player State", "DEMO ARTIST", "Demo Album", "Red Song"));
  const QStringList lines = outputUntil("Artwork found for ");
  const QString root = QString::fromStdString(home() + "/Music");
  EXPECT_EQ(lines, QStringList({"Attempting to find artwork in local Music library...",
                                "Music library path not found: " + root + "/Media.localized/Music",
                                "Music library path not found: " + root + "/iTunes/iTunes Media/Music",
                                "Searching in: " + root + "/Music",
                                "Artwork found for Red Song in 01 Red Song.mp3"}));
  EXPECT_TRUE(waitFor([] { return redPixelsInImageSlot(statusBarShot()) > 300; }))
      << "the artwork should fill the image slot";
}

TEST_F(SonvettaApp, ALongLineScrollsAndAShortOneStandsStill) {
  post(spotify, track("PlayerState", "An Artist With A Long Name", "An Album With A Long Name", "A Long Title"));
  ASSERT_TRUE(waitFor([this] { return statusBarShot() != background_; }));
  wait(300);
  const QImage first = statusBarShot();
  wait(500);
  EXPECT_NE(statusBarShot(), first) << "a line wider than the item scrolls";

  post(spotify, track("PlayerState", "B", "A", "S"));
  wait(300);
  const QImage still = statusBarShot();
  wait(500);
  EXPECT_EQ(statusBarShot(), still) << "a line that fits stands still";
  EXPECT_TRUE(app_.readAllStandardOutput().isEmpty()) << "tracks of Spotify are never searched for";
}

TEST_F(SonvettaApp, FollowsTheDesktopsDarkAndLightSchemes) {
  EXPECT_GT(meanLightness(statusBarShot()), 150) << "without a preference the strip is light";
  // A portal that starts later announces its setting as it changes.
  sonvetta_test::FakeSettingsPortal portal(sonvetta_test::FakeSettingsPortal::Version::current, 0);
  portal.change(1);
  EXPECT_TRUE(waitFor([] { return meanLightness(statusBarShot()) < 100; })) << "a dark scheme gives a dark strip";
  portal.change(2);
  EXPECT_TRUE(waitFor([] { return meanLightness(statusBarShot()) > 150; })) << "a light scheme gives a light strip";
}

TEST_F(SonvettaApp, HandlesAFloodOfOddNotificationsInOrderAndStaysUp) {
  // Each unknown track makes one search that ends without artwork; the last
  // notification names the library's track.
  const int flood = 1000;
  for (int i = 0; i < flood; ++i) {
    post(musicApp, track("Player State", "Nobody", "Nothing", QString("Track %1").arg(i)));
  }
  post(musicApp, {{"Player State", "Playing"}, {"Name", QString(1 << 20, 'x')}, {"Artist", 42}});
  post(musicApp, {{"Player State", 1.5}, {"Artist", QStringList{"a", "b"}}, {"Album", QVariantMap{{"k", "v"}}}});
  post(musicApp, track("Player State", "Demo Artist", "Demo Album", "Red Song"));

  const QStringList lines = outputUntil("Artwork found for ");
  EXPECT_EQ(lines.count("No matching artwork found in local Music library."), flood + 1);
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.last(), "Artwork found for Red Song in 01 Red Song.mp3");
  EXPECT_EQ(app_.state(), QProcess::Running);
}

TEST(SonvettaWithoutAPlace, SaysOnceThatTheBarCannotBePlacedAndKeepsRunning) {
  sonvetta::testdata::TemporaryFolder home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", QString::fromStdString(home.path().string()));
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  QProcess app;
  app.setProcessEnvironment(environment);
  app.start(SONVETTA, {});
  ASSERT_TRUE(app.waitForStarted(10000));
  EXPECT_FALSE(app.waitForFinished(1500)) << "a plain window is shown instead";
  const QStringList said = QString::fromUtf8(app.readAllStandardError()).split('\n').filter("sonvetta: ");
  EXPECT_EQ(said, QStringList{"sonvetta: the status bar cannot be placed on this display; it shows as a plain window"});
  app.kill();
  app.waitForFinished(5000);
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
