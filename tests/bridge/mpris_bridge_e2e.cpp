// sonvetta-mpris-bridge on a private session bus with fake MPRIS players; its
// posts are observed with the real notification centre.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <optional>

#include "bridge_process.h"
#include "fake_mpris_player.h"
#include "notification_recorder.h"

namespace {

using sonvetta_test::BridgeProcess;
using sonvetta_test::FakeMprisPlayer;
using Lines = std::vector<std::string>;

QVariantMap track(const QStringList& artists, const QString& album, const QString& title) {
  return {{"xesam:artist", artists}, {"xesam:album", album}, {"xesam:title", title},
          {"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/track/1"))}};
}

// Checks all posts up to a point at once: a post that should not have been
// made shows up among them, since the bridge posts in the order of events.
class MprisBridgeE2E : public ::testing::Test {
 protected:
  void expectPosts(const Lines& expected) {
    ASSERT_TRUE(recorder_.waitForCount(expected.size())) << "only got " << testing::PrintToString(posts());
    EXPECT_EQ(posts(), expected);
  }

  Lines posts() const {
    Lines lines;
    for (const auto& notification : recorder_.received()) lines.push_back(sonvetta_test::describe(notification));
    return lines;
  }

  sonvetta_test::NotificationRecorder recorder_{
      {"com.apple.iTunes.playerInfo", "com.spotify.client.PlaybackStateChanged"}};
};

TEST_F(MprisBridgeE2E, PostsThePlayersStateAtStartAndEachChangeOnce) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"A", "B"}, "Album", "Title"));
  BridgeProcess bridge;
  expectPosts({"com.apple.iTunes.playerInfo: Album=Album; Artist=A, B; Name=Title; Player State=Playing"});

  // Changes told in quick succession go out as one; each step waits for its
  // post so that it is a change of its own.
  vlc.change({{"Metadata", track({"A"}, "Album", "Next")}});
  vlc.change({{"Metadata", track({"A"}, "Album", "Next")}});
  vlc.change({{"Volume", 0.5}});
  Lines posted = {"com.apple.iTunes.playerInfo: Album=Album; Artist=A, B; Name=Title; Player State=Playing",
                  "com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=Next; Player State=Playing"};
  expectPosts(posted);
  vlc.change({{"PlaybackStatus", "Paused"}});
  vlc.change({{"PlaybackStatus", "Paused"}});
  posted.push_back("com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=Next; Player State=Paused");
  expectPosts(posted);
  vlc.change({{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap()}});
  posted.push_back("com.apple.iTunes.playerInfo: Player State=Stopped");
  expectPosts(posted);
}

// Audacious and mpDris2 say Playing before they name the track; VLC stops
// between two tracks and names the next one as it does.
TEST_F(MprisBridgeE2E, APlayerIsPostedOnlyOnceItHasSaidAllOfAChange) {
  FakeMprisPlayer audacious("audacious", "Stopped");
  BridgeProcess bridge;
  const std::string stopped = "com.apple.iTunes.playerInfo: Player State=Stopped";
  expectPosts({stopped});

  audacious.change({{"PlaybackStatus", "Playing"}});
  audacious.change({{"Metadata", track({"A"}, "Album", "One")}});
  const std::string one = "com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=One; Player State=Playing";
  expectPosts({stopped, one});

  audacious.change({{"PlaybackStatus", "Stopped"}, {"Metadata", track({"A"}, "Album", "Two")}});
  audacious.change({{"PlaybackStatus", "Playing"}});
  expectPosts({stopped, one, "com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=Two; Player State=Playing"});
}

TEST_F(MprisBridgeE2E, TwoPlayersTakeOverFromEachOtherAndAVanishedOneHandsBack) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"V"}, "VA", "V1"));
  BridgeProcess bridge;
  expectPosts({"com.apple.iTunes.playerInfo: Album=VA; Artist=V; Name=V1; Player State=Playing"});

  std::optional<FakeMprisPlayer> spotify;
  spotify.emplace("spotify", "Paused", track({"S"}, "SA", "S1"));
  spotify->change({{"PlaybackStatus", "Playing"}});
  const std::string spotifyPlaying =
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S1; PlayerState=Playing";
  expectPosts({"com.apple.iTunes.playerInfo: Album=VA; Artist=V; Name=V1; Player State=Playing",
               spotifyPlaying});

  // The player shown next is heard out first: its change goes out no later
  // than one that followed it.
  vlc.change({{"Metadata", track({"V"}, "VA", "V2")}});
  spotify->change({{"Metadata", track({"S"}, "SA", "S2")}});
  const std::string spotifyNext =
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S2; PlayerState=Playing";
  expectPosts({"com.apple.iTunes.playerInfo: Album=VA; Artist=V; Name=V1; Player State=Playing", spotifyPlaying,
               spotifyNext});
  spotify.reset();
  expectPosts({
      "com.apple.iTunes.playerInfo: Album=VA; Artist=V; Name=V1; Player State=Playing",
      spotifyPlaying,
      spotifyNext,
      "com.apple.iTunes.playerInfo: Album=VA; Artist=V; Name=V2; Player State=Playing",
  });
}

TEST_F(MprisBridgeE2E, AVanishedPlayerWithNoneOtherPlayingLeavesTheStoppedState) {
  std::optional<FakeMprisPlayer> spotify;
  spotify.emplace("spotify.instance7", "Playing", track({"S"}, "SA", "S1"));
  BridgeProcess bridge;
  expectPosts({"com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S1; PlayerState=Playing"});

  FakeMprisPlayer mpv("mpv", "Paused", track({"M"}, "MA", "M1"));
  mpv.waitUntilRead();
  spotify.reset();
  // The bus tells of the player that went before the change of the other
  // only once it has seen the first one's connection close.
  expectPosts({
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S1; PlayerState=Playing",
      "com.spotify.client.PlaybackStateChanged: PlayerState=Stopped",
  });
  mpv.change({{"PlaybackStatus", "Playing"}});
  expectPosts({
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S1; PlayerState=Playing",
      "com.spotify.client.PlaybackStateChanged: PlayerState=Stopped",
      "com.apple.iTunes.playerInfo: Album=MA; Artist=M; Name=M1; Player State=Playing",
  });
}

TEST_F(MprisBridgeE2E, TheProxyMirroringAPlayingPlayerPostsNothingOfItsOwn) {
  FakeMprisPlayer spotify("spotify", "Playing", track({"S"}, "SA", "S1"));
  FakeMprisPlayer proxy("playerctld", "Playing", track({"S"}, "SA", "S1"));
  BridgeProcess bridge;
  const std::string spotifyPlaying =
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S1; PlayerState=Playing";
  expectPosts({spotifyPlaying});

  // The proxy repeats each change, and may well be heard first.
  proxy.change({{"Metadata", track({"S"}, "SA", "S2")}});
  spotify.change({{"Metadata", track({"S"}, "SA", "S2")}});
  expectPosts({spotifyPlaying,
               "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S2; PlayerState=Playing"});
  proxy.change({{"PlaybackStatus", "Paused"}});
  spotify.change({{"PlaybackStatus", "Paused"}});
  proxy.change({{"PlaybackStatus", "Playing"}});
  expectPosts({
      spotifyPlaying,
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S2; PlayerState=Playing",
      "com.spotify.client.PlaybackStateChanged: Album=SA; Artist=S; Name=S2; PlayerState=Paused",
  });
}

// Each step waits for its post: a value read after a later change would be
// that change's, and the earlier one never posted.
TEST_F(MprisBridgeE2E, PropertiesAnnouncedAsInvalidatedAreReadAndPosted) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"A"}, "Album", "T1"));
  BridgeProcess bridge;
  const auto playing = [](const std::string& title) {
    return "com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=" + title + "; Player State=Playing";
  };
  expectPosts({playing("T1")});

  // A player that never mentions its status keeps the one it last gave.
  vlc.invalidate({{"Metadata", track({"A"}, "Album", "T2")}});
  expectPosts({playing("T1"), playing("T2")});
  vlc.invalidate({{"PlaybackStatus", "Paused"}});
  expectPosts({playing("T1"), playing("T2"),
               "com.apple.iTunes.playerInfo: Album=Album; Artist=A; Name=T2; Player State=Paused"});
}

TEST_F(MprisBridgeE2E, APlayerNotReadAtTheStartIsReadWhenItNextSignalsAndAgainWhenItComesBack) {
  std::optional<FakeMprisPlayer> late;
  late.emplace("late", "Playing", track({"L"}, "LA", "L1"));
  late->refuseReads(true);
  BridgeProcess bridge;
  late->waitUntilRead();

  // While it cannot be read, what it signals is all there is to go by.
  late->change({{"Metadata", track({"L"}, "LA", "L2")}});
  const std::string heard = "com.apple.iTunes.playerInfo: Album=LA; Artist=L; Name=L2; Player State=Stopped";
  expectPosts({heard});

  late->refuseReads(false);
  late->change({{"Volume", 0.5}});
  const std::string read = "com.apple.iTunes.playerInfo: Album=LA; Artist=L; Name=L2; Player State=Playing";
  expectPosts({heard, read});

  late.reset();
  late.emplace("late", "Paused", track({"L"}, "LA", "L3"));
  expectPosts({heard, read, "com.apple.iTunes.playerInfo: Player State=Stopped",
               "com.apple.iTunes.playerInfo: Album=LA; Artist=L; Name=L3; Player State=Paused"});
}

// Wrong types at the start and in changes, a Metadata that is no dictionary,
// and a name owner with no player behind it: the bridge carries on.
TEST_F(MprisBridgeE2E, MalformedPlayersNeverStopIt) {
  QDBusConnection broken = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "broken");
  broken.registerService("org.mpris.MediaPlayer2.broken");
  FakeMprisPlayer odd("odd", "Playing",
                      {{"xesam:artist", "Single"}, {"xesam:album", QStringList{"B"}}, {"xesam:title", 5}});
  BridgeProcess bridge;
  expectPosts({"com.apple.iTunes.playerInfo: Artist=Single; Player State=Playing"});

  odd.change({{"Metadata", "not a dictionary"}});
  expectPosts({"com.apple.iTunes.playerInfo: Artist=Single; Player State=Playing",
               "com.apple.iTunes.playerInfo: Player State=Playing"});
  odd.change({{"Metadata", QVariantMap{{"xesam:title", QVariant::fromValue(QDBusVariant("C"))},
                                       {"xesam:artist", QVariant::fromValue(QDBusVariant(QStringList{"A"}))}}}});
  odd.change({{"PlaybackStatus", 1}});
  expectPosts({"com.apple.iTunes.playerInfo: Artist=Single; Player State=Playing",
               "com.apple.iTunes.playerInfo: Player State=Playing", "com.apple.iTunes.playerInfo: Player State=Stopped"});
  odd.change({{"PlaybackStatus", "Playing"}, {"Metadata", track({}, "", "C")}});
  expectPosts({
      "com.apple.iTunes.playerInfo: Artist=Single; Player State=Playing",
      "com.apple.iTunes.playerInfo: Player State=Playing",
      "com.apple.iTunes.playerInfo: Player State=Stopped",
      "com.apple.iTunes.playerInfo: Album=; Name=C; Player State=Playing",
  });
  QDBusConnection::disconnectFromBus("broken");
}

}  // namespace
