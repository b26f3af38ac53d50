#include "bridge_process.h"

namespace sonvetta_test {

BridgeProcess::BridgeProcess() {
  process_.setProcessChannelMode(QProcess::ForwardedChannels);
  process_.start(SONVETTA_MPRIS_BRIDGE, {});
  process_.waitForStarted();
}

BridgeProcess::~BridgeProcess() {
  process_.terminate();
  if (!process_.waitForFinished(5000)) process_.kill();
  process_.waitForFinished();
}

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
