// Runs the real sonvetta with a screen reader's session: a real AT-SPI
// accessibility bus, switched on as a screen reader switches it on, and
// reads the status bar through it with pyatspi (screen_reader.py), on the
// desktop named by the one argument: "x11" (the display it is given) or
// "wayland" (a headless sway of its own).
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "event_loop_waits.h"
#include "headless_sway.h"
#include "platform/notifications/dbus_post.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

using sonvetta::testdata::waitFor;

const QString musicApp = "com.apple.iTunes.playerInfo";
const QString spotify = "com.spotify.client.PlaybackStateChanged";
const QString longLine = "A Long Title - An Album With A Long Name - An Artist With A Long Name";

bool onWayland = false;

QProcessEnvironment appEnvironment(const std::filesystem::path& home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("HOME", QString::fromStdString(home.string()));
  environment.remove("QT_QPA_PLATFORM");  // this process's own, not the user's
  if (onWayland) environment.remove("DISPLAY");
  return environment;
}

// What the screen reader lists of the application, one object a line.
QStringList readTree() {
  QProcess reader;
  reader.start(SCREEN_READER, {"tree", "sonvetta"});
  reader.waitForFinished(20000);
  return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// The line of one object below the application's: role, name,
// description, size in points (any, when 0) and states.
QString objectLine(int depth, const QString& role, const QString& name, const QString& description, int width,
                   int height, const QString& states) {
  const QString size = width > 0 ? QString("%1x%2").arg(width).arg(height) : QString("\\d+x\\d+");
  return QString(depth * 2, ' ') + role + QRegularExpression::escape(QString(" \"%1\" \"%2\" ").arg(name, description)) +
         size + QRegularExpression::escape(QString(" [%1]").arg(states));
}

bool matches(const QStringList& tree, const QStringList& patterns) {
  if (tree.size() != patterns.size()) return false;
  for (qsizetype line = 0; line < tree.size(); ++line) {
    if (!QRegularExpression("^" + patterns[line] + "$").match(tree[line]).hasMatch()) return false;
  }
  return true;
}

// The strip with its picture and its label, as a reader must find them.
QStringList stripPatterns(const QString& picture, const QString& label) {
  return {QRegularExpression::escape("application \"sonvetta\""),
          objectLine(1, "frame", "Sonvetta status bar", "", 200, 22, "showing"),
          objectLine(2, "image", picture, picture, 22, 22, "showing"),
          objectLine(2, "label", label, "", 0, 0, "showing")};
}

class ScreenReaderTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (onWayland) sway_ = std::make_unique<HeadlessSway>();
    home_ = std::make_unique<sonvetta::testdata::TemporaryFolder>();
    const auto album = home_->path() / "Music" / "Music" / "Demo Band" / "Hues";
    std::filesystem::create_directories(album);
    using namespace sonvetta::testdata;
    writeTaggedAudio(album / "02 Red.m4a", AudioFormat::m4a,
                     trackTags("Demo Band", "Hues", "Red", solidPicture("red", "PNG")));
  }
  static void TearDownTestSuite() {
    sway_.reset();
    home_.reset();
  }

  void SetUp() override {
    if (sway_ && !sway_->unavailable().isEmpty()) GTEST_SKIP() << "headless sway: " << sway_->unavailable().toStdString();
    // What a screen reader does when it starts: it says it runs, which
    // starts the accessibility bus and tells applications to join it.
    QDBusInterface bus("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties");
    ASSERT_TRUE(bus.call("Set", "org.a11y.Status", "ScreenReaderEnabled", QVariant::fromValue(QDBusVariant(true)))
                    .errorMessage()
                    .isEmpty());
    app_.setProcessEnvironment(appEnvironment(home_->path()));
    app_.start(SONVETTA, {});
    ASSERT_TRUE(app_.waitForStarted(10000));
  }
  void TearDown() override {
    app_.kill();
    app_.waitForFinished(5000);
  }

  static void post(const QString& name, const QVariantMap& userInfo) {
    ASSERT_TRUE(platform::postNotification(QDBusConnection::sessionBus(), name, userInfo));
  }

  static QStringList treeOnceItIs(const QStringList& patterns) {
    QStringList tree;
    waitFor([&] { return matches(tree = readTree(), patterns); }, 30000);
    return tree;
  }

  QProcess app_;
  static std::unique_ptr<HeadlessSway> sway_;
  static std::unique_ptr<sonvetta::testdata::TemporaryFolder> home_;
};

std::unique_ptr<HeadlessSway> ScreenReaderTest::sway_;
std::unique_ptr<sonvetta::testdata::TemporaryFolder> ScreenReaderTest::home_;

struct Shown {
  const char* what;
  QString notification;  // empty: none, as at start
  QVariantMap userInfo;
  QString picture;
  QString label;
};

TEST_F(ScreenReaderTest, FindsTheStripWithItsWholeLineAndItsPicture) {
  const Shown cases[] = {
      {"not playing", {}, {}, "Music Note", "Music not playing"},
      {"a track with artwork",
       musicApp,
       {{"Player State", "Playing"}, {"Artist", "Demo Band"}, {"Album", "Hues"}, {"Name", "Red"}},
       "Track artwork",
       "Red - Hues - Demo Band"},
      {"a track without artwork",
       musicApp,
       {{"Player State", "Playing"}, {"Artist", "Demo Band"}, {"Album", "Hues"}, {"Name", "Grey"}},
       "Music Note",
       "Grey - Hues - Demo Band"},
      {"a long scrolling line",
       spotify,
       {{"PlayerState", "Playing"},
        {"Artist", "An Artist With A Long Name"},
        {"Album", "An Album With A Long Name"},
        {"Name", "A Long Title"}},
       "Music Note",
       longLine},
      {"not playing again", musicApp, {{"Player State", "Paused"}}, "Music Note", "Music not playing"},
  };
  for (const Shown& shown : cases) {
    SCOPED_TRACE(shown.what);
    if (!shown.notification.isEmpty()) post(shown.notification, shown.userInfo);
    const QStringList patterns = stripPatterns(shown.picture, shown.label);
    const QStringList tree = treeOnceItIs(patterns);
    EXPECT_TRUE(matches(tree, patterns)) << tree.join('\n').toStdString();
  }
}

TEST_F(ScreenReaderTest, HearsEachNewLineOnceAndNothingOfARepeat) {
  treeOnceItIs(stripPatterns("Music Note", "Music not playing"));
  QProcess listener;
  listener.start(SCREEN_READER, {"events", "sonvetta"});
  QString heard;
  ASSERT_TRUE(waitFor([&] { return (heard += QString::fromUtf8(listener.readAllStandardOutput())).contains("listening\n"); }));

  const auto spoken = [&heard] {
    return heard.split('\n').filter(QRegularExpression("^object:(property-change:accessible-name|announcement) label"));
  };
  const auto hear = [&](const QString& line) {
    return waitFor([&] {
      heard += QString::fromUtf8(listener.readAllStandardOutput());
      return spoken().join('\n').contains(line);
    });
  };
  // A reader reads the name when the event comes; the next line is posted
  // only once the last one is heard, so each event reads its own line.
  const QVariantMap first{{"PlayerState", "Playing"}, {"Artist", "B"}, {"Album", "Hues"}, {"Name", "First"}};
  post(spotify, first);
  ASSERT_TRUE(hear("First - Hues - B")) << heard.toStdString();
  post(spotify, first);
  post(spotify, {{"PlayerState", "Playing"}, {"Artist", "B"}, {"Album", "Hues"}, {"Name", "Second"}});
  ASSERT_TRUE(hear("Second - Hues - B")) << heard.toStdString();
  listener.kill();
  listener.waitForFinished(5000);

  QStringList expected{"object:property-change:accessible-name label \"First - Hues - B\"",
                       "object:property-change:accessible-name label \"Second - Hues - B\""};
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  expected.insert(1, "object:announcement label \"First - Hues - B\"");
  expected.append("object:announcement label \"Second - Hues - B\"");
#endif
  EXPECT_EQ(spoken().join('\n').toStdString(), expected.join('\n').toStdString());
  EXPECT_FALSE(heard.contains("unreadable")) << heard.toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  onWayland = argc > 1 && std::string(argv[1]) == "wayland";
  // This process shows nothing; only sonvetta uses the desktop.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
