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
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
    redirectOutput();
    app_.start(SONVETTA, {});
    ASSERT_TRUE(app_.waitForStarted(10000));
    ASSERT_TRUE(waitFor([this] { return statusBarShot() != background_; })) << "the status bar never appeared";
  }

  void TearDown() override {
    app_.kill();
    app_.waitForFinished(5000);
  }

  virtual void redirectOutput() {}

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

// Standard output goes to a pipe of one page that the test fills itself, so
// that a line the app writes when the pipe is full holds it, mid-search,
// until the test reads.
class SonvettaWithHeldOutput : public SonvettaApp {
 protected:
  void redirectOutput() override {
    const std::filesystem::path pipe = home_.path() / "output";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    reader_ = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer_ = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    capacity_ = fcntl(writer_, F_SETPIPE_SZ, 1);
    ASSERT_GT(capacity_, 0);
    app_.setStandardOutputFile(QString::fromStdString(pipe.string()));
  }

  void TearDown() override {
    SonvettaApp::TearDown();
    ::close(reader_);
    ::close(writer_);
  }

  // Fills the pipe up to room for `lines` and no more.
  void leaveRoomFor(const QStringList& lines) {
    int room = 0;
    for (const QString& line : lines) room += static_cast<int>(line.toUtf8().size()) + 1;
    const std::string filler(static_cast<std::size_t>(capacity_ - room), '\n');
    ASSERT_EQ(::write(writer_, filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
  }

  // What the app writes from now on, until a line that begins with `prefix`.
  QStringList heldOutputUntil(const QString& prefix) {
    QString output;
    waitFor([&] {
      char buffer[4096];
      for (ssize_t count; (count = ::read(reader_, buffer, sizeof buffer)) > 0;) output += QString::fromUtf8(buffer, count);
      return output.contains("\n" + prefix);
    });
    return output.split('\n', Qt::SkipEmptyParts);
  }

  int reader_ = -1;
  int writer_ = -1;
  int capacity_ = 0;
};

// The view's change reaches the screen when the update returns, not once the
// notifications queued behind it have been handled.
TEST_F(SonvettaWithHeldOutput, ATrackShowsWhileTheNextOneIsSearchedFor) {
  const QString root = QString::fromStdString(home() + "/Music");
  const QStringList firstSearch = {"Attempting to find artwork in local Music library...",
                                   "Music library path not found: " + root + "/Media.localized/Music",
                                   "Music library path not found: " + root + "/iTunes/iTunes Media/Music",
                                   "Searching in: " + root + "/Music",
                                   "Artwork found for Red Song in 01 Red Song.mp3"};
  leaveRoomFor(firstSearch);
  post(musicApp, track("Player State", "Demo Artist", "Demo Album", "Red Song"));
  post(musicApp, track("Player State", "Demo Artist", "Demo Album", "Another Song"));

  // The second search is held at its first line.
  EXPECT_TRUE(waitFor([] { return redPixelsInImageSlot(statusBarShot()) > 300; }))
      << "the first track is not shown while the second one is searched for";
  const QStringList lines = heldOutputUntil("No matching artwork found");
  EXPECT_EQ(lines.mid(0, 5), firstSearch);
  EXPECT_EQ(lines.size(), 10);
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
