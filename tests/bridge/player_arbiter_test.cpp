#include "app/bridge/player_arbiter.h"

#include <QDebug>
#include <gtest/gtest.h>

#include "app/vocabulary.h"

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
using namespace sonvetta::vocabulary;

const QString kVlc = "org.mpris.MediaPlayer2.vlc";
const QString kMpv = "org.mpris.MediaPlayer2.mpv";
const QString kSpotify = "org.mpris.MediaPlayer2.spotify";

QVariantMap playingTitle(const QString& title) {
  return {{"PlaybackStatus", "Playing"}, {"Metadata", QVariantMap{{"xesam:title", title}}}};
}
QVariantMap status(const QString& value) { return {{"PlaybackStatus", value}}; }

PlayerNotification music(const QString& state, const QString& title = {}) {
  QVariantMap userInfo{{musicAppStateKey, state}};
  if (!title.isEmpty()) userInfo.insert(titleKey, title);
  return {musicAppNotification, userInfo};
}

TEST(PlayerNotificationFor, ChoosesNotificationAndStateKeyByBusName) {
  const PlayerState state{PlaybackStatus::Paused, Track{"A", "B", "C"}};
  const QVariantMap track{{artistKey, "A"}, {albumKey, "B"}, {titleKey, "C"}};
  QVariantMap spotifyInfo = track;
  spotifyInfo.insert(spotifyStateKey, "Paused");
  QVariantMap musicInfo = track;
  musicInfo.insert(musicAppStateKey, "Paused");

  EXPECT_EQ(notificationFor(kSpotify, state),
            (PlayerNotification{spotifyNotification, spotifyInfo}));
  EXPECT_EQ(notificationFor(kSpotify + ".instance42", state).name,
            spotifyNotification);
  EXPECT_EQ(notificationFor("org.mpris.MediaPlayer2.spotifyd", state).name, musicAppNotification);
  EXPECT_EQ(notificationFor(kVlc, state), (PlayerNotification{musicAppNotification, musicInfo}));
}

TEST(PlayerNotificationFor, LeavesAbsentFieldsOut) {
  EXPECT_EQ(notificationFor(kVlc, PlayerState{}), music("Stopped"));
  EXPECT_EQ(notificationFor(kVlc, PlayerState{PlaybackStatus::Playing, Track{std::nullopt, "", "C"}})
                .userInfo,
            (QVariantMap{{musicAppStateKey, playing}, {albumKey, ""}, {titleKey, "C"}}));
}

TEST(PlayerArbiter, PostsEachChangeOfTheShownPlayerOnce) {
  PlayerArbiter arbiter;
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), music("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("T1")), music(playing, "T1"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("T1")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Volume", 1.0}}), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Metadata", QVariantMap{{"xesam:title", "T2"}}}}),
            music(playing, "T2"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Stopped")), music("Stopped", "T2"));
}

TEST(PlayerArbiter, APlayerThatStartsPlayingTakesOverAndHandsBackWhenItStops) {
  PlayerArbiter arbiter;
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("V1")), music(playing, "V1"));
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Paused")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, playingTitle("M1")), music(playing, "M1"));
  // The player in the background changes silently, and is shown as it is now.
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("V2")), std::nullopt);
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Paused")), music(playing, "V2"));
  // Resuming counts as starting to play.
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Playing")), music(playing, "M1"));
  // With no other player playing, the shown one's own state is shown.
  arbiter.propertiesChanged(kVlc, status("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kMpv, status("Stopped")), music("Stopped", "M1"));
}

TEST(PlayerArbiter, TheMostRecentlyStartedOfSeveralPlayingPlayersTakesOver) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kVlc, playingTitle("V1"));
  arbiter.propertiesChanged(kSpotify, playingTitle("S1"));
  arbiter.propertiesChanged(kMpv, playingTitle("M1"));
  EXPECT_EQ(arbiter.playerVanished(kMpv)->name, spotifyNotification);
  EXPECT_EQ(arbiter.playerVanished(kSpotify), music(playing, "V1"));
}

TEST(PlayerArbiter, WhenTheShownPlayerVanishesAndNoneOtherPlaysTheStoppedStateIsPosted) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kSpotify, playingTitle("S1"));
  arbiter.propertiesChanged(kVlc, status("Paused"));
  EXPECT_EQ(arbiter.playerVanished(kSpotify),
            (PlayerNotification{spotifyNotification, {{spotifyStateKey, "Stopped"}}}));
  // Nothing is shown now, so the next player heard of is.
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, status("Paused")), music("Paused"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("V1")), music(playing, "V1"));
}

TEST(PlayerArbiter, PlayersThatAreNotShownComeAndGoSilently) {
  PlayerArbiter arbiter;
  arbiter.propertiesChanged(kVlc, playingTitle("V1"));
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
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, playingTitle("V1")), music(playing, "V1"));
  EXPECT_EQ(arbiter.propertiesChanged(kVlc, {{"Metadata", QVariantMap{{"xesam:title", 1}}}}),
            music(playing));
}

}  // namespace
