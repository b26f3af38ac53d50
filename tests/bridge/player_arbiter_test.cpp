#include "app/bridge/player_arbiter.h"

#include <QDebug>
#include <gtest/gtest.h>

namespace mpris_bridge {
void PrintTo(const PlayerNotification& notification, std::ostream* out) {
  QString text;
  QDebug(&text) << notification.name << notification.userInfo;
  *out << text.toStdString();
}
}  // namespace mpris_bridge

namespace {

using mpris_bridge::notificationFor;
using mpris_bridge::PlaybackStatus;
using mpris_bridge::PlayerArbiter;
using mpris_bridge::PlayerNotification;
using mpris_bridge::PlayerState;
using mpris_bridge::Track;

const QString kVlc = "org.mpris.MediaPlayer2.vlc";
const QString kMpv = "org.mpris.MediaPlayer2.mpv";
const QString kSpotify = "org.mpris.MediaPlayer2.spotify";

QVariantMap playing(const QString& title) {
  return {{"PlaybackStatus", "Playing"}, {"Metadata", QVariantMap{{"xesam:title", title}}}};
}
QVariantMap status(const QString& value) { return {{"PlaybackStatus", value}}; }

PlayerNotification music(const QString& state, const QString& title = {}) {
  QVariantMap userInfo{{"Player State", state}};
  if (!title.isEmpty()) userInfo.insert("Name", title);
  return {"com.apple.iTunes.playerInfo", userInfo};
}

TEST(PlayerNotificationFor, ChoosesNotificationAndStateKeyByBusName) {
  const PlayerState state{PlaybackStatus::Paused, Track{"A", "B", "C"}};
  const QVariantMap track{{"Artist", "A"}, {"Album", "B"}, {"Name", "C"}};
  QVariantMap spotifyInfo = track;
  spotifyInfo.insert("PlayerState", "Paused");
  QVariantMap musicInfo = track;
  musicInfo.insert("Player State", "Paused");

  EXPECT_EQ(notificationFor(kSpotify, state),
            (PlayerNotification{"com.spotify.client.PlaybackStateChanged", spotifyInfo}));
  EXPECT_EQ(notificationFor(kSpotify + ".instance42", state).name,
            "com.spotify.client.PlaybackStateChanged");
  EXPECT_EQ(notificationFor("org.mpris.MediaPlayer2.spotifyd", state).name, "com.apple.iTunes.playerInfo");
  EXPECT_EQ(notificationFor(kVlc, state), (PlayerNotification{"com.apple.iTunes.playerInfo", musicInfo}));
}

TEST(PlayerNotificationFor, LeavesAbsentFieldsOut) {
  EXPECT_EQ(notificationFor(kVlc, PlayerState{}), music("Stopped"));
  EXPECT_EQ(notificationFor(kVlc, PlayerState{PlaybackStatus::Playing, Track{std::nullopt, "", "C"}})
                .userInfo,
            (QVariantMap{{"Player State", "Playing"}, {"Album", ""}, {"Name", "C"}}));
}

TEST(PlayerArbiter, PostsEachChangeOfTheShownPlayerOnce) {
  PlayerArbiter arbiter;
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), music("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("T1")), music("Playing", "T1"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("T1")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Volume", 1.0}}), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Metadata", QVariantMap{{"xesam:title", "T2"}}}}),
            music("Playing", "T2"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Stopped")), music("Stopped", "T2"));
}

TEST(PlayerArbiter, APlayerThatStartsPlayingTakesOverAndHandsBackWhenItStops) {
  PlayerArbiter arbiter;
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("V1")), music("Playing", "V1"));
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Paused")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, playing("M1")), music("Playing", "M1"));
  // The player in the background changes silently, and is shown as it is now.
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("V2")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Paused")), music("Playing", "V2"));
  // Resuming counts as starting to play.
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Playing")), music("Playing", "M1"));
  // With no other player playing, the shown one's own state is shown.
  arbiter.propertiesChanged(kVlc, status("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Stopped")), music("Stopped", "M1"));
}

TEST(PlayerArbiter, TheMostRecentlyStartedOfSeveralPlayingPlayersTakesOver) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kVlc, playing("V1"));
  arbiter.propertiesChanged(kSpotify, playing("S1"));
  arbiter.propertiesChanged(kMpv, playing("M1"));
  EXPECT_EQ(arbiter.playerVanished(kMpv)->name, "com.spotify.client.PlaybackStateChanged");
  EXPECT_EQ(arbiter.playerVanished(kSpotify), music("Playing", "V1"));
}

TEST(PlayerArbiter, WhenTheShownPlayerVanishesAndNoneOtherPlaysTheStoppedStateIsPosted) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kSpotify, playing("S1"));
  arbiter.propertiesChanged(kVlc, status("Paused"));
  EXPECT_EQ(arbiter.playerVanished(kSpotify),
            (PlayerNotification{"com.spotify.client.PlaybackStateChanged", {{"PlayerState", "Stopped"}}}));
  // Nothing is shown now, so the next player heard of is.
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), music("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("V1")), music("Playing", "V1"));
}

TEST(PlayerArbiter, PlayersThatAreNotShownComeAndGoSilently) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kVlc, playing("V1"));
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Paused")), std::nullopt);
  EXPECT_EQ(arbiter.playerVanished(kMpv), std::nullopt);
  EXPECT_EQ(arbiter.playerVanished("org.mpris.MediaPlayer2.never.seen"), std::nullopt);
  // A player that comes back starts anew.
  EXPECT_EQ(arbiter.playerVanished(kVlc), music("Stopped"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Metadata", QVariantMap{{"xesam:title", "V1"}}}}),
            music("Stopped", "V1"));
}

TEST(PlayerArbiter, MalformedPropertiesNeverStopIt) {
  PlayerArbiter arbiter;
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"PlaybackStatus", 3}, {"Metadata", "junk"}}),
            music("Stopped"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playing("V1")), music("Playing", "V1"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Metadata", QVariantMap{{"xesam:title", 1}}}}),
            music("Playing"));
}

}  // namespace
