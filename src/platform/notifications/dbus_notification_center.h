#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <deque>
#include <map>
#include <string>

#include "platform/notifications/notification_center.h"

namespace platform {

// The distributed notification centre on a D-Bus bus: observers see the
// notifications that any process posts there (see dbus_post.h).
//
// Qt D-Bus reads the bus on a thread of its own and queues what arrives for
// the main thread, so a flood or an observer that blocks for a while loses
// nothing and keeps the order. The user info is always present, possibly
// empty, because a D-Bus signal cannot leave it out.
class DBusNotificationCenter final : public QObject, public DistributedNotificationCenter {
  Q_OBJECT

 public:
  // Starts listening at once; needs a QCoreApplication. When the bus cannot
  // be reached it says so on standard error and delivers nothing.
  explicit DBusNotificationCenter(const QDBusConnection& bus = QDBusConnection::sessionBus());

  void addObserver(Observer observer, const std::string& name) override;

 private slots:
  void receive(const QString& name, const QVariantMap& userInfo);

 private:
  void deliverPending();

  // A deque, because an observer may add observers while it runs, and a
  // vector would move the running one away.
  std::map<std::string, std::deque<Observer>> observersByName_;
  // Notifications that arrive while an observer runs a nested event loop wait
  // here, so observers are still called one at a time and in order.
  std::deque<Notification> pending_;
  bool delivering_ = false;
};

}  // namespace platform
