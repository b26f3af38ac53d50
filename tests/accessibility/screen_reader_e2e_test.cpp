// Runs the real sonvetta with a screen reader's session: a real AT-SPI
// accessibility bus, switched on as a screen reader switches it on, and
// reads the status bar through it with pyatspi (screen_reader.py), on X
// alone and on headless sway: one row each.
#include <QDBusInterface>
#include <QDBusVariant>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "platform/notifications/dbus_post.h"
#include "session.h"

namespace {

using namespace sonvetta::vocabulary;
using namespace sonvetta::testdata;

const QString longLine = "A Long Title - An Album With A Long Name - An Artist With A Long Name";

// What the screen reader lists of the application on `session`, one object a
// line.
QStringList readTree(const Session& session) {
  QProcess reader;
  reader.setProcessEnvironment(session.environment());
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
          objectLine(1, "frame", statusBarTitle, "", 200, 22, "showing"),
          objectLine(2, "image", picture, picture, 22, 22, "showing"),
          objectLine(2, "label", label, "", 0, 0, "showing")};
}

// The session the row names, with the application on it and a screen reader
// at work.
class ScreenReaderTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    session_.emplace(GetParam());
    if (!session_->unavailable().isEmpty()) GTEST_SKIP() << GetParam() << ": " << session_->unavailable().toStdString();
    // What a screen reader does when it starts: it says it runs, which
    // starts the accessibility bus and tells applications to join it.
    QDBusInterface bus("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", session_->bus());
    ASSERT_TRUE(bus.call("Set", "org.a11y.Status", "ScreenReaderEnabled", QVariant::fromValue(QDBusVariant(true)))
                    .errorMessage()
                    .isEmpty());
    app_.emplace(session_->environment(),
                 MusicLibrary().add({"Demo Band", "Hues", "Red", solidPicture("red", "PNG"), AudioFormat::m4a}));
  }

  void post(const QString& name, const QVariantMap& userInfo) {
    ASSERT_TRUE(platform::postNotification(session_->bus(), name, userInfo));
  }

  QStringList treeOnceItIs(const QStringList& patterns) {
    QStringList tree;
    static_cast<void>(QTest::qWaitFor([&] { return matches(tree = readTree(*session_), patterns); }, 30000));
    return tree;
  }

  std::optional<Session> session_;
  std::optional<AppUnderTest> app_;
};

struct Shown {
  const char* what;
  QString notification;  // empty: none, as at start
  QVariantMap userInfo;
  QString picture;
  QString label;
};

TEST_P(ScreenReaderTest, FindsTheStripWithItsWholeLineAndItsPicture) {
  const Shown cases[] = {
      {"not playing", {}, {}, "Music Note", "Music not playing"},
      {"a track with artwork",
       musicAppNotification,
       {{musicAppStateKey, playing}, {artistKey, "Demo Band"}, {albumKey, "Hues"}, {titleKey, "Red"}},
       "Track artwork",
       "Red - Hues - Demo Band"},
      {"a track without artwork",
       musicAppNotification,
       {{musicAppStateKey, playing}, {artistKey, "Demo Band"}, {albumKey, "Hues"}, {titleKey, "Grey"}},
       "Music Note",
       "Grey - Hues - Demo Band"},
      {"a long scrolling line",
       spotifyNotification,
       {{spotifyStateKey, playing},
        {artistKey, "An Artist With A Long Name"},
        {albumKey, "An Album With A Long Name"},
        {titleKey, "A Long Title"}},
       "Music Note",
       longLine},
      {"not playing again", musicAppNotification, {{musicAppStateKey, "Paused"}}, "Music Note", "Music not playing"},
  };
  for (const Shown& shown : cases) {
    SCOPED_TRACE(shown.what);
    if (!shown.notification.isEmpty()) post(shown.notification, shown.userInfo);
    const QStringList patterns = stripPatterns(shown.picture, shown.label);
    const QStringList tree = treeOnceItIs(patterns);
    EXPECT_TRUE(matches(tree, patterns)) << tree.join('\n').toStdString();
  }
}

TEST_P(ScreenReaderTest, HearsEachNewLineOnceAndNothingOfARepeat) {
  treeOnceItIs(stripPatterns("Music Note", "Music not playing"));
  QProcess listener;
  listener.setProcessEnvironment(session_->environment());
  listener.start(SCREEN_READER, {"events", "sonvetta"});
  QString heard;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return (heard += QString::fromUtf8(listener.readAllStandardOutput())).contains("listening\n"); }, 10000));

  const auto spoken = [&heard] {
    return heard.split('\n').filter(QRegularExpression("^object:(property-change:accessible-name|announcement) label"));
  };
  const auto hear = [&](const QString& line) {
    return QTest::qWaitFor(
        [&] {
          heard += QString::fromUtf8(listener.readAllStandardOutput());
          return spoken().join('\n').contains(line);
        },
        10000);
  };
  // A reader reads the name when the event comes; the next line is posted
  // only once the last one is heard, so each event reads its own line.
  const QVariantMap first{{spotifyStateKey, playing}, {artistKey, "B"}, {albumKey, "Hues"}, {titleKey, "First"}};
  post(spotifyNotification, first);
  ASSERT_TRUE(hear("First - Hues - B")) << heard.toStdString();
  post(spotifyNotification, first);
  post(spotifyNotification, {{spotifyStateKey, playing}, {artistKey, "B"}, {albumKey, "Hues"}, {titleKey, "Second"}});
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

INSTANTIATE_TEST_SUITE_P(Sessions, ScreenReaderTest, testing::Values("xvfb", "sway"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
