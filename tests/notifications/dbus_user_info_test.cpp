#include "platform/notifications/dbus_user_info.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <gtest/gtest.h>

#include "app/vocabulary.h"

namespace {

using platform::userInfoFromDBus;
using platform::userInfoValueFromDBus;
using namespace sonvetta::vocabulary;

// Qt D-Bus decodes a D-Bus string, and nothing else, into a QString.
TEST(DBusUserInfo, OnlyAStringIsText) {
  EXPECT_EQ(userInfoValueFromDBus(QString("Playing")), "Playing");
  EXPECT_EQ(userInfoValueFromDBus(QString()), "");
  EXPECT_EQ(userInfoValueFromDBus(QString::fromUtf8("Björk ♪ 東京")), "Björk ♪ 東京");
}

// What Qt D-Bus makes of every other D-Bus type: byte, boolean, the integers,
// double, object path, signature, file descriptor, nested variant, string
// array, byte array and any other container.
TEST(DBusUserInfo, EveryOtherTypeIsNotText) {
  const QVariant others[] = {
      QVariant::fromValue(uchar{7}),
      QVariant(true),
      QVariant::fromValue(short{-1}),
      QVariant::fromValue(ushort{1}),
      QVariant(5),
      QVariant(5u),
      QVariant(qlonglong{5}),
      QVariant(qulonglong{5}),
      QVariant(1.5),
      QVariant::fromValue(QDBusObjectPath("/Playing")),
      QVariant::fromValue(QDBusSignature("s")),
      QVariant::fromValue(QDBusUnixFileDescriptor()),
      QVariant::fromValue(QDBusVariant(QString("Playing"))),
      QVariant(QStringList{"Playing"}),
      QVariant(QByteArray("Playing")),
      QVariant::fromValue(QDBusArgument()),
  };
  for (const QVariant& value : others) {
    EXPECT_EQ(userInfoValueFromDBus(value), std::nullopt) << value.metaType().name();
  }
}

TEST(DBusUserInfo, KeepsEveryKeyWithItsValue) {
  const platform::UserInfo converted =
      userInfoFromDBus({{musicAppStateKey, QString(playing)}, {artistKey, 5}, {"", QString("x")}});
  EXPECT_EQ(converted, (platform::UserInfo{{musicAppStateKey, playing}, {artistKey, std::nullopt}, {"", "x"}}));
  EXPECT_TRUE(userInfoFromDBus({}).empty());
}

}  // namespace
