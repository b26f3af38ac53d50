#pragma once

#include <functional>
#include <string>

#include "platform/notifications/notification.h"

namespace platform {

// The system-wide notification centre through which programs announce events.
class DistributedNotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;

  virtual ~DistributedNotificationCenter() = default;

  // Every later notification named `name`, from any sender, is handed to
  // `observer` on the main thread, one at a time, in the order posted.
  virtual void addObserver(Observer observer, const std::string& name) = 0;
};

}  // namespace platform
