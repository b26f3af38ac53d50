#pragma once

#include <string>

#include "platform/notifications/notification.h"
#include "program.h"

namespace sonvetta_test {

// sonvetta-mpris-bridge running on the session bus for as long as this lives.
class BridgeProcess : public sonvetta::testdata::Program {
 public:
  BridgeProcess();
};

// One line for a notification, e.g. "com.apple.iTunes.playerInfo: Name=C; Player State=Playing".
std::string describe(const platform::Notification& notification);

}  // namespace sonvetta_test
