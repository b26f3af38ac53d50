#include "fake_mpris_player.h"

#include <QDBusMessage>

#include "notification_recorder.h"
#include "platform/notifications/dbus_post.h"

namespace sonvetta_test {
namespace {
constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kInterface[] = "org.mpris.MediaPlayer2.Player";
}  // namespace

FakeMprisPlayer::FakeMprisPlayer(const QString& name, const QString& status,
                                 const QVariantMap& metadata)
    : connectionName_("fake-player-" + name), status_(status), metadata_(metadata) {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_);
  bus.registerObject(kPath, kInterface, this, QDBusConnection::ExportAllProperties);
  bus.registerService("org.mpris.MediaPlayer2." + name);
}

FakeMprisPlayer::~FakeMprisPlayer() { QDBusConnection::disconnectFromBus(connectionName_); }

void FakeMprisPlayer::waitUntilRead() {
  waitUntil([this] { return read_; });
  platform::syncWithBus(QDBusConnection(connectionName_));
}

void FakeMprisPlayer::change(const QVariantMap& changed) {
  const QVariant status = changed.value("PlaybackStatus");
  if (status.metaType() == QMetaType::fromType<QString>()) status_ = status.toString();
  const QVariant metadata = changed.value("Metadata");
  if (metadata.metaType() == QMetaType::fromType<QVariantMap>()) metadata_ = metadata.toMap();

  QDBusMessage signal =
      QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
  signal << QString(kInterface) << changed << QStringList();
  QDBusConnection(connectionName_).send(signal);
}

}  // namespace sonvetta_test
