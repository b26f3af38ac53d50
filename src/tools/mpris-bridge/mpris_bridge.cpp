#include "tools/mpris-bridge/mpris_bridge.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/notifications/dbus_post.h"

namespace mpris_bridge {
namespace {

constexpr char kPlayerNamePrefix[] = "org.mpris.MediaPlayer2.";
constexpr char kPlayerPath[] = "/org/mpris/MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

bool isPlayer(const QString& busName) { return busName.startsWith(kPlayerNamePrefix); }

// Qt D-Bus leaves a dictionary inside a variant encoded; the metadata is the
// one the bridge reads. Anything else is left for the arbiter to refuse.
QVariantMap withDecodedMetadata(QVariantMap properties) {
  const auto metadata = properties.find("Metadata");
  if (metadata == properties.end() || metadata->metaType() != QMetaType::fromType<QDBusArgument>()) {
    return properties;
  }
  const auto encoded = metadata->value<QDBusArgument>();
  if (encoded.currentSignature() == "a{sv}") *metadata = qdbus_cast<QVariantMap>(encoded);
  return properties;
}

}  // namespace

MprisBridge::MprisBridge(const QDBusConnection& bus)
    : bus_(bus),
      // The bus matches whole name elements only, so this watches one name too
      // many (org.mpris.MediaPlayer2 itself), which isPlayer() leaves out.
      players_("org.mpris.MediaPlayer2*", bus, QDBusServiceWatcher::WatchForOwnerChange) {
  connect(&players_, &QDBusServiceWatcher::serviceOwnerChanged, this, &MprisBridge::playerOwnerChanged);
  // From any sender: the sender is a unique name that only the mapping knows.
  bus_.connect(QString(), kPlayerPath, kPropertiesInterface, "PropertiesChanged", {kPlayerInterface},
               "sa{sv}as", this,
               SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));

  // Watching comes first, so a player that appears meanwhile is not missed;
  // one seen twice is only read twice.
  const QStringList names = bus_.interface()->registeredServiceNames().value();
  for (const QString& name : names) {
    if (isPlayer(name)) readPlayer(name);
  }
}

void MprisBridge::playerOwnerChanged(const QString& busName, const QString& oldOwner,
                                     const QString& newOwner) {
  if (!isPlayer(busName)) return;
  if (!oldOwner.isEmpty()) {
    std::erase_if(busNamesByOwner_, [&](const auto& entry) { return entry.second == busName; });
    post(arbiter_.playerVanished(busName));
  }
  if (!newOwner.isEmpty()) readPlayer(busName);
}

void MprisBridge::readPlayer(const QString& busName) {
  QDBusMessage getAll =
      QDBusMessage::createMethodCall(busName, kPlayerPath, kPropertiesInterface, "GetAll");
  getAll << QString(kPlayerInterface);
  auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(getAll), this);
  connect(call, &QDBusPendingCallWatcher::finished, this, [this, busName](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QVariantMap> reply = *call;
    // A player that is gone, frozen or not a proper player is left alone.
    if (reply.isError()) return;
    // Signals sent before this reply are reflected in it; later ones come after it.
    // A player read twice keeps one entry, so its changes are applied once.
    std::erase_if(busNamesByOwner_, [&busName](const auto& entry) { return entry.second == busName; });
    busNamesByOwner_.emplace(reply.reply().service(), busName);
    apply(busName, reply.value());
  });
}

void MprisBridge::propertiesChanged(const QString&, const QVariantMap& changed, const QStringList&,
                                    const QDBusMessage& message) {
  const auto [first, last] = busNamesByOwner_.equal_range(message.service());
  for (auto entry = first; entry != last; ++entry) apply(entry->second, changed);
}

void MprisBridge::apply(const QString& busName, const QVariantMap& properties) {
  post(arbiter_.propertiesChanged(busName, withDecodedMetadata(properties)));
}

void MprisBridge::post(const std::optional<PlayerNotification>& notification) {
  if (!notification) return;
  if (!platform::postNotification(bus_, notification->name, notification->userInfo)) {
    qWarning("Could not post %s: %s", qPrintable(notification->name),
             qPrintable(bus_.lastError().message()));
  }
}

}  // namespace mpris_bridge
