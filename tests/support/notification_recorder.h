#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <string>
#include <vector>

#include "platform/notifications/dbus_notification_center.h"

namespace sonvetta_test {

// A DBusNotificationCenter on the session bus that records every notification
// of the given names in the order they arrive. Once constructed, it is
// subscribed: whatever anyone posts after that is recorded.
class NotificationRecorder {
 public:
  explicit NotificationRecorder(const std::vector<std::string>& names);

  platform::DBusNotificationCenter& center() { return center_; }
  const std::vector<platform::Notification>& received() const { return received_; }
  bool waitForCount(std::size_t count);

 private:
  platform::DBusNotificationCenter center_;
  std::vector<platform::Notification> received_;
};

// Runs a program to its end; its exit status, or -1 when it did not finish.
struct ProgramResult {
  int exitCode = -1;
  QString standardError;
};
ProgramResult runProgram(const QString& program, const QStringList& arguments,
                         const QStringList& extraEnvironment = {});

}  // namespace sonvetta_test
