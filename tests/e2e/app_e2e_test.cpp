// Runs the real sonvetta on X alone and a private session bus, posts player
// notifications as the players would, and checks what a user sees: the
// progress lines on standard output and the status bar on screen.
#include <QDBusConnection>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "fake_settings_portal.h"
#include "platform/notifications/dbus_post.h"
#include "screen_pixels.h"
#include "session.h"
#include "x11_display.h"

namespace {

using namespace sonvetta::vocabulary;
using namespace sonvetta::testdata;

// X alone, for the whole program; the application runs on it and on this
// process's own bus, where the test posts and its fake portal answers.
Session& session() {
  static Session xvfb("xvfb");
  static const bool entered = (xvfb.enter(), true);
  (void)entered;
  return xvfb;
}

// The status bar as the screen shows it: the top-right 200 x 22 points.
QImage statusBarShot() {
  static const X11Display display(session().value("DISPLAY").toLocal8Bit().constData());
  return display.image(display.root(), QRect(Screen::width - 200, 0, 200, 22));
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
    background_ = statusBarShot();
    app_.emplace(QProcessEnvironment::systemEnvironment(),
                 MusicLibrary().add({"Demo Artist", "Demo Album", "Red Song", solidPicture("red", "JPEG")}),
                 standardOutputFile());
    ASSERT_TRUE(QTest::qWaitFor([this] { return statusBarShot() != background_; }, 10000))
        << "the status bar never appeared";
  }

  // Where the app's standard output goes; kept by the app when none.
  virtual QString standardOutputFile() { return {}; }

  void post(const QString& name, const QVariantMap& userInfo) {
    ASSERT_TRUE(platform::postNotification(QDBusConnection::sessionBus(), name, userInfo));
  }

  // The app's output from where the last call left off until a line that
  // begins with `prefix` arrives.
  QStringList outputUntil(const QString& prefix) {
    QString output;
    static_cast<void>(QTest::qWaitFor(
        [&] {
          output = app_->standardOutput().mid(read_);
          return output.contains("\n" + prefix) || output.startsWith(prefix);
        },
        10000));
    read_ += output.size();
    return output.split('\n', Qt::SkipEmptyParts);
  }

  QString home() const { return app_->home(); }

  QImage background_;
  std::optional<AppUnderTest> app_;
  qsizetype read_ = 0;
};

QVariantMap track(const QString& stateKey, const QString& artist, const QString& album, const QString& title) {
  return {{stateKey, playing}, {artistKey, artist}, {albumKey, album}, {titleKey, title}};
}

TEST_F(SonvettaApp, ShowsTheMusicNoteAtStartThenTheArtworkOfALibraryTrack) {
  const QImage atStart = statusBarShot();
  EXPECT_EQ(redPixelsInImageSlot(atStart), 0);
  EXPECT_TRUE(app_->standardOutput().isEmpty()) << "nothing is searched before a track plays";

  post(musicAppNotification, track(musicAppStateKey, "DEMO ARTIST", "Demo Album", "Red Song"));
  const QStringList lines = outputUntil("Artwork found for ");
  const QString root = home() + "/Music";
  EXPECT_EQ(lines, QStringList({"Attempting to find artwork in local Music library...",
                                "Music library path not found: " + root + "/Media.localized/Music",
                                "Music library path not found: " + root + "/iTunes/iTunes Media/Music",
                                "Searching in: " + root + "/Music",
                                "Artwork found for Red Song in 01 Red Song.mp3"}));
  EXPECT_TRUE(QTest::qWaitFor([] { return redPixelsInImageSlot(statusBarShot()) > 300; }, 10000))
      << "the artwork should fill the image slot";
}

TEST_F(SonvettaApp, ALongLineScrollsAndAShortOneStandsStill) {
  post(spotifyNotification, track(spotifyStateKey, "An Artist With A Long Name", "An Album With A Long Name", "A Long Title"));
  ASSERT_TRUE(QTest::qWaitFor([this] { return statusBarShot() != background_; }, 10000));
  QTest::qWait(300);
  const QImage first = statusBarShot();
  QTest::qWait(500);
  EXPECT_NE(statusBarShot(), first) << "a line wider than the item scrolls";

  post(spotifyNotification, track(spotifyStateKey, "B", "A", "S"));
  QTest::qWait(300);
  const QImage still = statusBarShot();
  QTest::qWait(500);
  EXPECT_EQ(statusBarShot(), still) << "a line that fits stands still";
  EXPECT_TRUE(app_->standardOutput().isEmpty()) << "tracks of Spotify are never searched for";
}

TEST_F(SonvettaApp, FollowsTheDesktopsDarkAndLightSchemes) {
  EXPECT_GT(meanLightness(statusBarShot()), 150) << "without a preference the strip is light";
  // A portal that starts later announces its setting as it changes.
  sonvetta_test::FakeSettingsPortal portal(sonvetta_test::FakeSettingsPortal::Version::current, 0);
  portal.change(1);
  EXPECT_TRUE(QTest::qWaitFor([] { return meanLightness(statusBarShot()) < 100; }, 10000))
      << "a dark scheme gives a dark strip";
  portal.change(2);
  EXPECT_TRUE(QTest::qWaitFor([] { return meanLightness(statusBarShot()) > 150; }, 10000))
      << "a light scheme gives a light strip";
}

TEST_F(SonvettaApp, HandlesAFloodOfOddNotificationsInOrderAndStaysUp) {
  // Each unknown track makes one search that ends without artwork; the last
  // notification names the library's track.
  const int flood = 1000;
  for (int i = 0; i < flood; ++i) {
    post(musicAppNotification, track(musicAppStateKey, "Nobody", "Nothing", QString("Track %1").arg(i)));
  }
  post(musicAppNotification, {{musicAppStateKey, playing}, {titleKey, QString(1 << 20, 'x')}, {artistKey, 42}});
  post(musicAppNotification,
       {{musicAppStateKey, 1.5}, {artistKey, QStringList{"a", "b"}}, {albumKey, QVariantMap{{"k", "v"}}}});
  post(musicAppNotification, track(musicAppStateKey, "Demo Artist", "Demo Album", "Red Song"));

  const QStringList lines = outputUntil("Artwork found for ");
  EXPECT_EQ(lines.count("No matching artwork found in local Music library."), flood + 1);
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.last(), "Artwork found for Red Song in 01 Red Song.mp3");
  EXPECT_EQ(app_->process().state(), QProcess::Running);
}

// Standard output goes to a pipe of one page that the test fills itself, so
// that a line the app writes when the pipe is full holds it, mid-search,
// until the test reads.
class SonvettaWithHeldOutput : public SonvettaApp {
 protected:
  QString standardOutputFile() override {
    const QString pipe = folder_.filePath("output");
    if (mkfifo(pipe.toLocal8Bit().constData(), 0600) != 0) ADD_FAILURE() << "no pipe";
    reader_ = ::open(pipe.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer_ = ::open(pipe.toLocal8Bit().constData(), O_WRONLY | O_CLOEXEC);
    capacity_ = fcntl(writer_, F_SETPIPE_SZ, 1);
    EXPECT_GT(capacity_, 0);
    return pipe;
  }

  void TearDown() override {
    app_.reset();
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
    static_cast<void>(QTest::qWaitFor(
        [&] {
          char buffer[4096];
          for (ssize_t count; (count = ::read(reader_, buffer, sizeof buffer)) > 0;) {
            output += QString::fromUtf8(buffer, count);
          }
          return output.contains("\n" + prefix);
        },
        10000));
    return output.split('\n', Qt::SkipEmptyParts);
  }

  QTemporaryDir folder_;
  int reader_ = -1;
  int writer_ = -1;
  int capacity_ = 0;
};

// The view's change reaches the screen when the update returns, not once the
// notifications queued behind it have been handled.
TEST_F(SonvettaWithHeldOutput, ATrackShowsWhileTheNextOneIsSearchedFor) {
  const QString root = home() + "/Music";
  const QStringList firstSearch = {"Attempting to find artwork in local Music library...",
                                   "Music library path not found: " + root + "/Media.localized/Music",
                                   "Music library path not found: " + root + "/iTunes/iTunes Media/Music",
                                   "Searching in: " + root + "/Music",
                                   "Artwork found for Red Song in 01 Red Song.mp3"};
  leaveRoomFor(firstSearch);
  post(musicAppNotification, track(musicAppStateKey, "Demo Artist", "Demo Album", "Red Song"));
  post(musicAppNotification, track(musicAppStateKey, "Demo Artist", "Demo Album", "Another Song"));

  // The second search is held at its first line.
  EXPECT_TRUE(QTest::qWaitFor([] { return redPixelsInImageSlot(statusBarShot()) > 300; }, 10000))
      << "the first track is not shown while the second one is searched for";
  const QStringList lines = heldOutputUntil("No matching artwork found");
  EXPECT_EQ(lines.mid(0, 5), firstSearch);
  EXPECT_EQ(lines.size(), 10);
}

TEST(SonvettaWithoutAPlace, SaysOnceThatTheBarCannotBePlacedAndKeepsRunning) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  AppUnderTest app(environment);
  EXPECT_FALSE(app.process().waitForFinished(1500)) << "a plain window is shown instead";
  EXPECT_EQ(app.ownLines(),
            QStringList{"sonvetta: the status bar cannot be placed on this display; it shows as a plain window"});
}

}  // namespace
