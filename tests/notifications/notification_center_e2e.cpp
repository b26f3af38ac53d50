// The D-Bus notification centre against a real (private) session bus, with
// notifications posted by other connections, by sonvetta-post and by gdbus.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include "app/vocabulary.h"
#include "notification_recorder.h"
#include "platform/notifications/dbus_post.h"

namespace {

using platform::Notification;
using platform::UserInfo;
using sonvetta_test::NotificationRecorder;
using sonvetta_test::runProgram;

using namespace sonvetta::vocabulary;

const std::string kMusic = musicAppNotification;
const std::string kSpotify = spotifyNotification;
// The Music app's name as a GVariant text, for gdbus.
const QString kMusicText = "'" + QString::fromStdString(kMusic) + "'";

// A second connection to the bus, as another process would have.
class NotificationCenterE2E : public ::testing::Test {
 protected:
  ~NotificationCenterE2E() override { QDBusConnection::disconnectFromBus("poster"); }

  void post(const std::string& name, const QVariantMap& userInfo) {
    ASSERT_TRUE(platform::postNotification(poster_, QString::fromStdString(name), userInfo));
  }

  // gdbus sends with GLib's own D-Bus code: a sender that shares nothing with ours.
  static QString gdbus() { return QStandardPaths::findExecutable("gdbus"); }
  static void gdbusEmit(const QStringList& signalAndArguments, const QString& path =
                                                                    "/org/sonvetta/DistributedNotificationCenter") {
    const QStringList command = QStringList{"emit", "--session", "--object-path", path, "--signal"} +
                                signalAndArguments;
    ASSERT_EQ(runProgram(gdbus(), command).exitCode, 0) << command.join(' ').toStdString();
  }

  QDBusConnection poster_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "poster");
};

constexpr char kSignal[] = "org.sonvetta.DistributedNotificationCenter.Notification";

TEST_F(NotificationCenterE2E, OnlyStringsAreTextWhateverTheSenderSends) {
  if (gdbus().isEmpty()) GTEST_SKIP() << "gdbus (package libglib2.0-bin) is not installed";
  NotificationRecorder recorder({kMusic});
  gdbusEmit({kSignal, kMusicText,
             QString("{'%1': <'%2'>, ").arg(musicAppStateKey, playing) +
                 "'Empty': <''>, 'Int': <int32 5>, 'Byte': <byte 1>, "
                 "'Bool': <true>, 'Int16': <int16 -1>, 'UInt16': <uint16 1>, 'UInt32': <uint32 1>, "
                 "'Int64': <int64 1>, 'UInt64': <uint64 1>, 'Double': <1.5>, "
                 "'Path': <objectpath '/Playing'>, 'Signature': <signature 's'>, "
                 "'Variant': <<'Playing'>>, 'Strings': <['Playing']>, 'Bytes': <b'Playing'>, "
                 "'Dict': <{'k': <'v'>}>, 'Struct': <('a', 'b')>}"});
  ASSERT_TRUE(recorder.waitForCount(1));

  const Notification& received = recorder.received().front();
  EXPECT_EQ(received.name, kMusic);
  ASSERT_TRUE(received.userInfo);
  EXPECT_EQ(received.userInfo->size(), 18u);
  for (const auto& [key, value] : *received.userInfo) {
    if (key == musicAppStateKey) EXPECT_EQ(value, playing);
    else if (key == "Empty") EXPECT_EQ(value, "");
    else EXPECT_EQ(value, std::nullopt) << key;
  }
}

TEST_F(NotificationCenterE2E, IgnoresMalformedSignalsAndOtherNames) {
  if (gdbus().isEmpty()) GTEST_SKIP() << "gdbus (package libglib2.0-bin) is not installed";
  NotificationRecorder recorder({kMusic});
  const QString titleC = QString("{'%1': <'C'>}").arg(titleKey);
  gdbusEmit({kSignal, kMusicText});
  gdbusEmit({kSignal, kMusicText, QString("{'%1': 'C'}").arg(titleKey)});
  gdbusEmit({kSignal, "5", titleC});
  gdbusEmit({kSignal, kMusicText, titleC, "'extra'"});
  gdbusEmit({kSignal, kMusicText, titleC}, "/elsewhere");
  gdbusEmit({"org.sonvetta.Other.Notification", kMusicText, titleC});
  post("com.example.other", {{titleKey, "C"}});
  post(kSpotify, {{titleKey, "C"}});
  ASSERT_TRUE(platform::syncWithBus(poster_));
  // Arrives after all of the above, so anything of theirs let through would come first.
  gdbusEmit({kSignal, kMusicText, QString("{'%1': <'last'>}").arg(titleKey)});

  ASSERT_TRUE(recorder.waitForCount(1));
  EXPECT_EQ(recorder.received().front().text(titleKey), "last");
}

// Posts of one sender arrive in order; the observer blocking the main thread
// at the start (as a long artwork search does) loses none of them.
TEST_F(NotificationCenterE2E, KeepsOrderAndLosesNothingInAFloodWhileTheObserverBlocks) {
  constexpr int kCount = 1000;
  NotificationRecorder recorder({kMusic, kSpotify});
  bool blocked = false;
  recorder.center().addObserver(
      [&](const Notification&) {
        if (!std::exchange(blocked, true)) QThread::msleep(500);
      },
      kMusic);

  for (int index = 0; index < kCount; ++index) {
    post(index % 2 ? kSpotify : kMusic, {{"Index", QString::number(index)}});
  }
  ASSERT_TRUE(platform::syncWithBus(poster_));
  ASSERT_TRUE(recorder.waitForCount(kCount));

  ASSERT_EQ(recorder.received().size(), std::size_t{kCount});
  for (int index = 0; index < kCount; ++index) {
    const Notification& received = recorder.received()[index];
    EXPECT_EQ(received.name, index % 2 ? kSpotify : kMusic);
    EXPECT_EQ(received.text("Index"), std::to_string(index));
  }
}

// An observer that runs the event loop itself must not be entered again, and
// the notifications that arrive meanwhile come after it, in order.
TEST_F(NotificationCenterE2E, CallsObserversOneAtATimeEvenWhenOneRunsTheEventLoop) {
  NotificationRecorder recorder({kMusic});
  int depth = 0;
  int deepest = 0;
  recorder.center().addObserver(
      [&](const Notification& notification) {
        deepest = std::max(deepest, ++depth);
        if (notification.text("Index") == "0") {
          QTest::qWait(300);
        }
        --depth;
      },
      kMusic);

  for (int index = 0; index < 20; ++index) post(kMusic, {{"Index", QString::number(index)}});
  ASSERT_TRUE(recorder.waitForCount(20));
  EXPECT_EQ(deepest, 1);
  for (int index = 0; index < 20; ++index) {
    EXPECT_EQ(recorder.received()[index].text("Index"), std::to_string(index));
  }
}

TEST_F(NotificationCenterE2E, CarriesAMegabyteValueUnchanged) {
  NotificationRecorder recorder({kMusic});
  const QString title = QString::fromUtf8("Ünïcödé ♪ 東京 ").repeated(1 << 16);  // > 1 MB of UTF-8
  post(kMusic, {{titleKey, title}, {musicAppStateKey, playing}});
  ASSERT_TRUE(recorder.waitForCount(1));
  EXPECT_EQ(recorder.received().front().text(titleKey), title.toStdString());
  EXPECT_EQ(recorder.received().front().text(musicAppStateKey), playing);
}

TEST_F(NotificationCenterE2E, SonvettaPostSendsTextAndIntegersAndIsReceivedBeforeItExits) {
  NotificationRecorder recorder({kMusic, kSpotify});
  const auto field = [](const char* key, const char* value) { return QString(key) + "=" + value; };
  ASSERT_EQ(runProgram(SONVETTA_POST, {QString::fromStdString(kSpotify), field(spotifyStateKey, "Paused"),
                                       field(titleKey, "a=b"), field(albumKey, ""), "--int", field(artistKey, "-42")})
                .exitCode,
            0);
  ASSERT_EQ(runProgram(SONVETTA_POST, {QString::fromStdString(kMusic)}).exitCode, 0);
  ASSERT_TRUE(recorder.waitForCount(2));

  EXPECT_EQ(recorder.received()[0].name, kSpotify);
  EXPECT_EQ(recorder.received()[0].userInfo,
            (UserInfo{{spotifyStateKey, "Paused"}, {titleKey, "a=b"}, {albumKey, ""}, {artistKey, std::nullopt}}));
  EXPECT_EQ(recorder.received()[1].name, kMusic);
  EXPECT_EQ(recorder.received()[1].userInfo, UserInfo{});
}

TEST(SonvettaPost, RejectsUsageErrorsWithStatusTwo) {
  const QStringList wrongUsages[] = {
      {},                              // no name
      {""},                            // empty name
      {"n", "Key"},                    // no value
      {"n", "=value"},                 // no key
      {"n", "K=1", "K=2"},             // a key twice
      {"n", "K=1", "--int", "K=2"},    // a key twice, in both kinds
      {"n", "--int", "K=five"},        // not a number
      {"n", "--int", "K=4294967296"},  // not 32 bits
      {"n", "--unknown"},
  };
  for (const QStringList& arguments : wrongUsages) {
    const auto result = runProgram(SONVETTA_POST, arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(result.standardError.contains("Usage:")) << result.standardError.toStdString();
  }
}

TEST(SonvettaPost, ReportsAnUnreachableBus) {
  const auto result = runProgram(SONVETTA_POST, {"n", "K=v"},
                                 {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.standardError.contains("session bus")) << result.standardError.toStdString();
}

}  // namespace
