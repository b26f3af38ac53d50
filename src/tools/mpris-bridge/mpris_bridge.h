#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <map>
#include <optional>

#include "tools/mpris-bridge/player_arbiter.h"

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
  void readPlayer(const QString& busName);
  void apply(const QString& busName, const QVariantMap& properties);
  void post(const std::optional<PlayerNotification>& notification);

  QDBusConnection bus_;
  QDBusServiceWatcher players_;
  PlayerArbiter arbiter_;
  // Players' signals come from their unique names, while players are known by
  // their well-known names.
  std::multimap<QString, QString> busNamesByOwner_;
};

}  // namespace mpris_bridge
