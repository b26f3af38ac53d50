#include "fake_mpris_player.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>

#include "notification_recorder.h"
#include "platform/notifications/dbus_post.h"

namespace sonvetta_test {
namespace {
constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kInterface[] = "org.mpris.MediaPlayer2.Player";

// Stands in for the player's object and answers everything with an error.
class ReadRefusal final : public QDBusVirtualObject {
 public:
  explicit ReadRefusal(std::atomic<bool>& read) : read_(read) {}

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    connection.send(message.createErrorReply(QDBusError::Failed, "not ready"));
    read_ = true;
    return true;
  }

 private:
  std::atomic<bool>& read_;
};

}  // namespace

FakeMprisPlayer::FakeMprisPlayer(const QString& name, const QString& status,
                                 const QVariantMap& metadata)
    : connectionName_("fake-player-" + name),
      status_(status),
      metadata_(metadata),
      refusal_(std::make_unique<ReadRefusal>(read_)) {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_);
  bus.registerObject(kPath, kInterface, this, QDBusConnection::ExportAllProperties);
  bus.registerService("org.mpris.MediaPlayer2." + name);
}

FakeMprisPlayer::~FakeMprisPlayer() { QDBusConnection::disconnectFromBus(connectionName_); }

void FakeMprisPlayer::waitUntilRead() {
  static_cast<void>(QTest::qWaitFor([this] { return read_.load(); }, 20000));
  platform::syncWithBus(QDBusConnection(connectionName_));
}

void FakeMprisPlayer::change(const QVariantMap& changed) {
  take(changed);
  announce(changed, {});
}

void FakeMprisPlayer::invalidate(const QVariantMap& values) {
  take(values);
  announce({}, values.keys());
}

void FakeMprisPlayer::refuseReads(bool refuse) {
  QDBusConnection bus(connectionName_);
  bus.unregisterObject(kPath);
  if (refuse) {
    bus.registerVirtualObject(kPath, refusal_.get());
  } else {
    bus.registerObject(kPath, kInterface, this, QDBusConnection::ExportAllProperties);
  }
}

void FakeMprisPlayer::take(const QVariantMap& values) {
  const QVariant status = values.value("PlaybackStatus");
  if (status.metaType() == QMetaType::fromType<QString>()) status_ = status.toString();
  const QVariant metadata = values.value("Metadata");
  if (metadata.metaType() == QMetaType::fromType<QVariantMap>()) metadata_ = metadata.toMap();
}

void FakeMprisPlayer::announce(const QVariantMap& changed, const QStringList& invalidated) {
  QDBusMessage signal =
      QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
  signal << QString(kInterface) << changed << invalidated;
  QDBusConnection(connectionName_).send(signal);
}

}  // namespace sonvetta_test
