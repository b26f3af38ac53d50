#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <map>
#include <optional>

#include "app/bridge/change_gatherer.h"
#include "app/bridge/player_arbiter.h"
#include "app/bridge/player_names.h"

namespace mpris_bridge {

// Watches the MPRIS players on a bus and posts what Sonvetta should show as
// its distributed notifications on the same bus.
class MprisBridge final : public QObject {
  Q_OBJECT

 public:
  // Starts watching at once and reads the players already there.
  explicit MprisBridge(const QDBusConnection& bus);

 private slots:
  void playerOwnerChanged(const QString& busName, const QString& oldOwner, const QString& newOwner);
  void propertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated, const QDBusMessage& message);

 private:
  enum class Reading { Needed, UnderWay, Done };

  // A player's name on the bus, whether it counts as a player or not.
  struct BusPlayer {
    explicit BusPlayer(const QString& owner) : owner(owner) {}

    // Its unique name: players' signals come from it, and only its answers
    // are about this player, not about one that had the name before.
    QString owner;
    Reading reading = Reading::Needed;
    // What the player signalled before it was read, in case the read fails.
    QVariantMap heardUnread;
  };
  using Answered = std::function<void(BusPlayer&, const QDBusPendingCall&)>;

  void joined(const QString& busName, const QString& owner);
  void left(const QString& busName);
  void follow(const RosterChange& change);
  void read(const QString& busName);
  void fetch(const QString& busName, const QString& property);
  void ask(const QString& busName, const QString& method, const QVariantList& arguments, const Answered& answered);
  void apply(const QString& busName, const QVariantMap& properties);
  void releaseDue();
  void show(const QString& busName, const QVariantMap& properties);
  void post(const std::optional<PlayerNotification>& notification);

  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  PlayerRoster roster_;
  std::map<QString, BusPlayer> players_;
  ChangeGatherer gatherer_;
  QElapsedTimer clock_;
  QTimer releaseTimer_;
  PlayerArbiter arbiter_;
};

}  // namespace mpris_bridge
