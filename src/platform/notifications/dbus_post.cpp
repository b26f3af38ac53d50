#include "platform/notifications/dbus_post.h"

#include <QDBusMessage>

#include "platform/notifications/dbus_protocol.h"

namespace platform {

bool postNotification(const QDBusConnection& bus, const QString& name, const QVariantMap& userInfo) {
  QDBusMessage signal = QDBusMessage::createSignal(dbus_protocol::kObjectPath,
                                                   dbus_protocol::kInterface, dbus_protocol::kSignal);
  signal << name << userInfo;
  return bus.send(signal);
}

bool syncWithBus(const QDBusConnection& bus) {
  // The bus daemon handles one connection's messages in order, so by the time
  // it answers this call it has dealt with everything sent before it.
  const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
      "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId"));
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace platform
