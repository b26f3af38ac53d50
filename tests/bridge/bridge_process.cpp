#include "bridge_process.h"

namespace sonvetta_test {

BridgeProcess::BridgeProcess() : Program(SONVETTA_MPRIS_BRIDGE, {}) {}

std::string describe(const platform::Notification& notification) {
  std::string line = notification.name + ":";
  const char* separator = " ";
  for (const auto& [key, value] : notification.userInfo.value_or(platform::UserInfo{})) {
    line += separator + key + "=" + value.value_or("<not text>");
    separator = "; ";
  }
  return line;
}

}  // namespace sonvetta_test
