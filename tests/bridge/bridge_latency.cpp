// Measures the time from a player's PropertiesChanged signal to the bridge's
// notification reaching an observer, over 100 track changes. Run it on a
// private bus: dbus-run-session -- bridge_latency

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bridge_process.h"
#include "fake_mpris_player.h"
#include "notification_recorder.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  constexpr int kChanges = 100;

  sonvetta_test::NotificationRecorder recorder({"com.apple.iTunes.playerInfo"});
  sonvetta_test::FakeMprisPlayer player("latency", "Playing", {{"xesam:title", "0"}});
  sonvetta_test::BridgeProcess bridge;
  if (!recorder.waitForCount(1)) return 1;

  std::vector<double> milliseconds;
  QElapsedTimer timer;
  for (int change = 1; change <= kChanges; ++change) {
    timer.start();
    player.change({{"Metadata", QVariantMap{{"xesam:title", QString::number(change)}}}});
    if (!recorder.waitForCount(static_cast<std::size_t>(change) + 1)) return 1;
    milliseconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    if (recorder.received().back().text("Name") != std::to_string(change)) return 1;
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("PropertiesChanged to notification over %d changes: median %.3f ms, min %.3f ms, max %.3f ms\n",
              kChanges, (milliseconds[kChanges / 2 - 1] + milliseconds[kChanges / 2]) / 2,
              milliseconds.front(), milliseconds.back());
  return 0;
}
