// Whether a screen locker is up, from fake lockers and a fake logind on the
// test's private bus.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>

#include "platform/statusbar/x11/screen_lock.h"

namespace {

using platform::ScreenLock;

constexpr int timeoutMs = 5000;

// A locker, or logind, on a connection of its own: answers whether it is
// active and announces changes as the real ones do.
class FakeLocker final : public QDBusVirtualObject {
 public:
  FakeLocker(QString service, QString path, bool active)
      : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, service)),
        service_(std::move(service)),
        path_(std::move(path)),
        active_(active) {
    bus_.registerVirtualObject(isLogind() ? QStringLiteral("/org/freedesktop/login1") : path_, this,
                               QDBusConnection::SubPath);
    bus_.registerService(service_);
  }
  ~FakeLocker() override { QDBusConnection::disconnectFromBus(bus_.name()); }

  void announce(bool active) {
    active_ = active;
    QDBusMessage signal;
    if (isLogind()) {
      signal = QDBusMessage::createSignal(sessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                          QStringLiteral("PropertiesChanged"));
      signal << QStringLiteral("org.freedesktop.login1.Session") << QVariantMap{{"LockedHint", active}}
             << QStringList{};
    } else {
      signal = QDBusMessage::createSignal(path_, service_, QStringLiteral("ActiveChanged"));
      signal << active;
    }
    bus_.send(signal);
  }

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() == QStringLiteral("GetSession")) {
      connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(sessionPath))));
    } else if (message.member() == QStringLiteral("GetActive")) {
      connection.send(message.createReply(active_));
    } else if (message.member() == QStringLiteral("Get") && message.path() == sessionPath) {
      connection.send(message.createReply(QVariant::fromValue(QDBusVariant(active_))));
    } else {
      return false;
    }
    return true;
  }

 private:
  static inline const QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/_32");

  bool isLogind() const { return service_ == QStringLiteral("org.freedesktop.login1"); }

  QDBusConnection bus_;
  QString service_;
  QString path_;
  bool active_;
};

struct Locker {
  const char* service;
  const char* path;
};

class ScreenLockTest : public ::testing::TestWithParam<Locker> {};

TEST_P(ScreenLockTest, FollowsTheLockerFromItsFirstAnswer) {
  FakeLocker locker(GetParam().service, GetParam().path, true);
  ScreenLock lock(QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
  QSignalSpy changes(&lock, &ScreenLock::lockedChanged);
  ASSERT_TRUE(QTest::qWaitFor([&] { return lock.locked(); }, timeoutMs)) << "started while locked";

  locker.announce(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !lock.locked(); }, timeoutMs));
  locker.announce(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return lock.locked(); }, timeoutMs));
  EXPECT_EQ(changes.count(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Lockers, ScreenLockTest,
    ::testing::Values(Locker{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
                      Locker{"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
                      Locker{"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver"},
                      Locker{"org.mate.ScreenSaver", "/org/mate/ScreenSaver"},
                      Locker{"org.xfce.ScreenSaver", "/org/xfce/ScreenSaver"},
                      Locker{"org.freedesktop.login1", "/org/freedesktop/login1"}),
    [](const ::testing::TestParamInfo<Locker>& info) {
      return QString::fromLatin1(info.param.service).replace('.', '_').toStdString();
    });

TEST(ScreenLock, StaysLockedWhileAnyLockerIsUpAndNotAfterOneGoesAway) {
  FakeLocker gnome("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", false);
  auto logind = std::make_unique<FakeLocker>("org.freedesktop.login1", "/org/freedesktop/login1", false);
  ScreenLock lock(QDBusConnection::sessionBus(), QDBusConnection::sessionBus());
  QTest::qWait(200);
  ASSERT_FALSE(lock.locked());

  gnome.announce(true);
  logind->announce(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return lock.locked(); }, timeoutMs));
  gnome.announce(false);
  QTest::qWait(200);
  EXPECT_TRUE(lock.locked()) << "logind still holds it";
  logind->announce(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !lock.locked(); }, timeoutMs));

  // A locker that goes away while locked (a crash) leaves no lock behind.
  {
    FakeLocker crashing("org.xfce.ScreenSaver", "/org/xfce/ScreenSaver", false);
    crashing.announce(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock.locked(); }, timeoutMs));
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return !lock.locked(); }, timeoutMs));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
