#include "app/bridge/mpris_bridge.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <algorithm>
#include <utility>

#include "platform/notifications/dbus_post.h"
#include "app/bridge/player_state.h"

namespace mpris_bridge {
namespace {

constexpr char kPlayerPath[] = "/org/mpris/MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

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
      // many (org.mpris.MediaPlayer2 itself), which isPlayerName() leaves out.
      watcher_("org.mpris.MediaPlayer2*", bus, QDBusServiceWatcher::WatchForOwnerChange) {
  clock_.start();
  releaseTimer_.setSingleShot(true);
  releaseTimer_.setTimerType(Qt::PreciseTimer);
  connect(&releaseTimer_, &QTimer::timeout, this, &MprisBridge::releaseDue);
  connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &MprisBridge::playerOwnerChanged);
  // From any sender: the sender is a unique name that only players_ knows.
  bus_.connect(QString(), kPlayerPath, kPropertiesInterface, "PropertiesChanged", {kPlayerInterface},
               "sa{sv}as", this,
               SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));

  // Watching comes first, so a player that appears meanwhile is not missed.
  const QStringList names = bus_.interface()->registeredServiceNames().value();
  for (const QString& name : names) {
    if (!isPlayerName(name)) continue;
    const QDBusReply<QString> owner = bus_.interface()->serviceOwner(name);
    if (owner.isValid()) joined(name, owner.value());
  }
}

void MprisBridge::playerOwnerChanged(const QString& busName, const QString& oldOwner,
                                     const QString& newOwner) {
  if (!isPlayerName(busName)) return;
  if (!oldOwner.isEmpty()) left(busName);
  if (!newOwner.isEmpty()) joined(busName, newOwner);
}

void MprisBridge::joined(const QString& busName, const QString& owner) {
  // Known already when the start found it before its arrival was announced.
  if (!players_.try_emplace(busName, BusPlayer{owner}).second) return;
  follow(roster_.appeared(busName));
}

void MprisBridge::left(const QString& busName) {
  players_.erase(busName);
  follow(roster_.vanished(busName));
}

void MprisBridge::follow(const RosterChange& change) {
  for (const QString& busName : change.removed) {
    // A mirror that stops counting is still on the bus; should it count
    // again, it is read anew.
    if (const auto player = players_.find(busName); player != players_.end()) {
      player->second = BusPlayer{player->second.owner};
    }
    gatherer_.forget(busName);
    for (const auto& release : gatherer_.releaseAll()) show(release.busName, release.properties);
    post(arbiter_.playerVanished(busName));
  }
  releaseDue();
  for (const QString& busName : change.added) read(busName);
}

void MprisBridge::read(const QString& busName) {
  BusPlayer& player = players_.at(busName);
  if (player.reading == Reading::UnderWay) return;
  player.reading = Reading::UnderWay;
  ask(busName, "GetAll", {QString(kPlayerInterface)}, [this, busName](BusPlayer& player, const QDBusPendingCall& call) {
    const QDBusPendingReply<QVariantMap> reply = call;
    // Signals sent before the answer are reflected in it; later ones come after it.
    const QVariantMap heard = std::exchange(player.heardUnread, {});
    if (!reply.isError()) {
      player.reading = Reading::Done;
      apply(busName, reply.value());
      return;
    }
    // A player that is gone, frozen or not ready yet is read again when it
    // next signals; until then what it signalled is all there is to go by.
    player.reading = Reading::Needed;
    if (!heard.isEmpty()) apply(busName, heard);
  });
}

void MprisBridge::fetch(const QString& busName, const QString& property) {
  ask(busName, "Get", {QString(kPlayerInterface), property},
      [this, busName, property](BusPlayer&, const QDBusPendingCall& call) {
        const QDBusPendingReply<QDBusVariant> reply = call;
        if (!reply.isError()) apply(busName, {{property, reply.value().variant()}});
      });
}

void MprisBridge::ask(const QString& busName, const QString& method, const QVariantList& arguments,
                      const Answered& answered) {
  const QString owner = players_.at(busName).owner;
  QDBusMessage call = QDBusMessage::createMethodCall(owner, kPlayerPath, kPropertiesInterface, method);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, busName, owner, answered](QDBusPendingCallWatcher* watcher) {
            watcher->deleteLater();
            // An answer for a player that has left or stopped counting since is stale.
            const auto player = players_.find(busName);
            if (player == players_.end() || player->second.owner != owner || !roster_.counts(busName)) return;
            answered(player->second, *watcher);
          });
}

void MprisBridge::propertiesChanged(const QString&, const QVariantMap& changed, const QStringList& invalidated,
                                    const QDBusMessage& message) {
  // One program may own several player names.
  for (auto& [busName, player] : players_) {
    if (player.owner != message.service() || !roster_.counts(busName)) continue;
    if (player.reading != Reading::Done) {
      // The read under way, or the one started here, answers with all of it.
      player.heardUnread.insert(changed);
      read(busName);
      continue;
    }
    apply(busName, changed);
    for (const QString& property : invalidated) {
      if (isPropertyRead(property)) fetch(busName, property);
    }
  }
}

void MprisBridge::apply(const QString& busName, const QVariantMap& properties) {
  const ChangeGatherer::Time now{clock_.elapsed()};
  if (const auto released = gatherer_.heard(busName, withDecodedMetadata(properties), now)) {
    show(busName, *released);
  }
  releaseDue();
}

// Also schedules the next release: each one moves it.
void MprisBridge::releaseDue() {
  for (const auto& release : gatherer_.due(ChangeGatherer::Time{clock_.elapsed()})) {
    show(release.busName, release.properties);
  }
  if (const auto next = gatherer_.nextDue()) {
    releaseTimer_.start(std::max<qint64>(0, next->count() - clock_.elapsed()));
  } else {
    releaseTimer_.stop();
  }
}

void MprisBridge::show(const QString& busName, const QVariantMap& properties) {
  post(arbiter_.propertiesChanged(busName, properties));
}

void MprisBridge::post(const std::optional<PlayerNotification>& notification) {
  if (!notification) return;
  if (!platform::postNotification(bus_, notification->name, notification->userInfo)) {
    qWarning("Could not post %s: %s", qPrintable(notification->name),
             qPrintable(bus_.lastError().message()));
  }
}

}  // namespace mpris_bridge
