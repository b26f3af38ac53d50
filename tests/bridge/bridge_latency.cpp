// Measures the time from a player's PropertiesChanged signal to the bridge's
// notification reaching an observer, over 100 track changes: first with the
// new metadata in the signal, then with it only named as invalidated, which
// adds the bridge's Get round trip to the player. Run it on a private bus:
// dbus-run-session -- bridge_latency

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/vocabulary.h"
#include "bridge_process.h"
#include "fake_mpris_player.h"
#include "notification_recorder.h"

namespace {

using namespace sonvetta::vocabulary;

constexpr int kChanges = 100;

// Times `announce` of track changes; false when a post is missing or wrong.
bool measure(const char* what, sonvetta_test::NotificationRecorder& recorder,
             void (sonvetta_test::FakeMprisPlayer::*announce)(const QVariantMap&),
             sonvetta_test::FakeMprisPlayer& player) {
  std::vector<double> milliseconds;
  QElapsedTimer timer;
  for (int change = 1; change <= kChanges; ++change) {
    const std::size_t before = recorder.received().size();
    const QString title = QString("%1 %2").arg(what).arg(change);
    timer.start();
    (player.*announce)({{"Metadata", QVariantMap{{"xesam:title", title}}}});
    if (!recorder.waitForCount(before + 1)) return false;
    milliseconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    if (recorder.received().back().text(titleKey) != title.toStdString()) return false;
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("PropertiesChanged (%s) to notification over %d changes: median %.3f ms, min %.3f ms, max %.3f ms\n",
              what, kChanges, (milliseconds[kChanges / 2 - 1] + milliseconds[kChanges / 2]) / 2,
              milliseconds.front(), milliseconds.back());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);

  sonvetta_test::NotificationRecorder recorder({musicAppNotification});
  sonvetta_test::FakeMprisPlayer player("latency", "Playing", {{"xesam:title", "0"}});
  sonvetta_test::BridgeProcess bridge;
  if (!recorder.waitForCount(1)) return 1;

  using sonvetta_test::FakeMprisPlayer;
  if (!measure("changed", recorder, &FakeMprisPlayer::change, player)) return 1;
  if (!measure("invalidated", recorder, &FakeMprisPlayer::invalidate, player)) return 1;
  return 0;
}
