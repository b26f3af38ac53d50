#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

namespace platform {

// Posts one notification to every DBusNotificationCenter on `bus`. The
// user-info values may be of any D-Bus type; observers see only strings as
// text. False when the bus refused the message.
bool postNotification(const QDBusConnection& bus, const QString& name, const QVariantMap& userInfo);

// Returns once the bus has handled everything sent so far on `bus`: posts
// are on their way to every observer, subscriptions are in force. So a program
// can exit right after posting. False when the bus is gone.
bool syncWithBus(const QDBusConnection& bus);

}  // namespace platform
