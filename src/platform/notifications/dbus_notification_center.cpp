#include "platform/notifications/dbus_notification_center.h"

#include <QDBusError>
#include <utility>

#include "platform/notifications/dbus_protocol.h"
#include "platform/notifications/dbus_user_info.h"

namespace platform {

DBusNotificationCenter::DBusNotificationCenter(const QDBusConnection& bus) {
  // Giving the signature makes Qt D-Bus drop ill-formed signals itself; the
  // match rule it installs keeps the bus from waking us for anything else.
  QDBusConnection listener = bus;
  const bool listening = listener.connect(
      QString(), dbus_protocol::kObjectPath, dbus_protocol::kInterface, dbus_protocol::kSignal,
      dbus_protocol::kSignature, this, SLOT(receive(QString, QVariantMap)));
  if (!listening) {
    qWarning("Distributed notifications will not arrive: %s",
             qPrintable(bus.lastError().message()));
  }
}

void DBusNotificationCenter::addObserver(Observer observer, const std::string& name) {
  observersByName_[name].push_back(std::move(observer));
}

void DBusNotificationCenter::receive(const QString& name, const QVariantMap& userInfo) {
  if (!observersByName_.contains(name.toStdString())) return;
  pending_.push_back(Notification{name.toStdString(), userInfoFromDBus(userInfo)});
  if (!delivering_) deliverPending();
}

void DBusNotificationCenter::deliverPending() {
  delivering_ = true;
  while (!pending_.empty()) {
    const Notification notification = std::move(pending_.front());
    pending_.pop_front();
    // By index and up to the count at the start: an observer may add
    // observers, which see only later notifications.
    const auto& observers = observersByName_.at(notification.name);
    const std::size_t count = observers.size();
    for (std::size_t index = 0; index < count; ++index) observers[index](notification);
  }
  delivering_ = false;
}

}  // namespace platform
