// sonvetta-mpris-bridge on a private session bus with fake MPRIS players; its
// posts are observed with the real notification centre.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <gtest/gtest.h>
#include <optional>

#include "app/vocabulary.h"
#include "bridge_process.h"
#include "fake_mpris_player.h"
#include "notification_recorder.h"

namespace {

using sonvetta_test::BridgeProcess;
using sonvetta_test::FakeMprisPlayer;
using Lines = std::vector<std::string>;
using namespace sonvetta::vocabulary;

// A track's fields in a post.
platform::UserInfo tagged(const std::string& artist, const std::string& album, const std::string& title) {
  return {{artistKey, artist}, {albumKey, album}, {titleKey, title}};
}

// The line of a post of the Music app's notification, or of Spotify's, in
// `state`, with `fields` of the track.
std::string musicPost(const std::string& state, platform::UserInfo fields = {}) {
  fields.emplace(musicAppStateKey, state);
  return sonvetta_test::describe({musicAppNotification, fields});
}

std::string spotifyPost(const std::string& state, platform::UserInfo fields = {}) {
  fields.emplace(spotifyStateKey, state);
  return sonvetta_test::describe({spotifyNotification, fields});
}

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

  sonvetta_test::NotificationRecorder recorder_{{musicAppNotification, spotifyNotification}};
};

TEST_F(MprisBridgeE2E, PostsThePlayersStateAtStartAndEachChangeOnce) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"A", "B"}, "Album", "Title"));
  BridgeProcess bridge;
  expectPosts({musicPost(playing, tagged("A, B", "Album", "Title"))});

  // Changes told in quick succession go out as one; each step waits for its
  // post so that it is a change of its own.
  vlc.change({{"Metadata", track({"A"}, "Album", "Next")}});
  vlc.change({{"Metadata", track({"A"}, "Album", "Next")}});
  vlc.change({{"Volume", 0.5}});
  Lines posted = {musicPost(playing, tagged("A, B", "Album", "Title")),
                  musicPost(playing, tagged("A", "Album", "Next"))};
  expectPosts(posted);
  vlc.change({{"PlaybackStatus", "Paused"}});
  vlc.change({{"PlaybackStatus", "Paused"}});
  posted.push_back(musicPost("Paused", tagged("A", "Album", "Next")));
  expectPosts(posted);
  vlc.change({{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap()}});
  posted.push_back(musicPost("Stopped"));
  expectPosts(posted);
}

// Audacious and mpDris2 say Playing before they name the track; VLC stops
// between two tracks and names the next one as it does.
TEST_F(MprisBridgeE2E, APlayerIsPostedOnlyOnceItHasSaidAllOfAChange) {
  FakeMprisPlayer audacious("audacious", "Stopped");
  BridgeProcess bridge;
  const std::string stopped = musicPost("Stopped");
  expectPosts({stopped});

  audacious.change({{"PlaybackStatus", "Playing"}});
  audacious.change({{"Metadata", track({"A"}, "Album", "One")}});
  const std::string one = musicPost(playing, tagged("A", "Album", "One"));
  expectPosts({stopped, one});

  audacious.change({{"PlaybackStatus", "Stopped"}, {"Metadata", track({"A"}, "Album", "Two")}});
  audacious.change({{"PlaybackStatus", "Playing"}});
  expectPosts({stopped, one, musicPost(playing, tagged("A", "Album", "Two"))});
}

TEST_F(MprisBridgeE2E, TwoPlayersTakeOverFromEachOtherAndAVanishedOneHandsBack) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"V"}, "VA", "V1"));
  BridgeProcess bridge;
  expectPosts({musicPost(playing, tagged("V", "VA", "V1"))});

  std::optional<FakeMprisPlayer> spotify;
  spotify.emplace("spotify", "Paused", track({"S"}, "SA", "S1"));
  spotify->change({{"PlaybackStatus", "Playing"}});
  const std::string spotifyPlaying =
      spotifyPost(playing, tagged("S", "SA", "S1"));
  expectPosts({musicPost(playing, tagged("V", "VA", "V1")),
               spotifyPlaying});

  // The player shown next is heard out first: its change goes out no later
  // than one that followed it.
  vlc.change({{"Metadata", track({"V"}, "VA", "V2")}});
  spotify->change({{"Metadata", track({"S"}, "SA", "S2")}});
  const std::string spotifyNext =
      spotifyPost(playing, tagged("S", "SA", "S2"));
  expectPosts({musicPost(playing, tagged("V", "VA", "V1")), spotifyPlaying,
               spotifyNext});
  spotify.reset();
  expectPosts({
      musicPost(playing, tagged("V", "VA", "V1")),
      spotifyPlaying,
      spotifyNext,
      musicPost(playing, tagged("V", "VA", "V2")),
  });
}

TEST_F(MprisBridgeE2E, AVanishedPlayerWithNoneOtherPlayingLeavesTheStoppedState) {
  std::optional<FakeMprisPlayer> spotify;
  spotify.emplace("spotify.instance7", "Playing", track({"S"}, "SA", "S1"));
  BridgeProcess bridge;
  expectPosts({spotifyPost(playing, tagged("S", "SA", "S1"))});

  FakeMprisPlayer mpv("mpv", "Paused", track({"M"}, "MA", "M1"));
  mpv.waitUntilRead();
  spotify.reset();
  // The bus tells of the player that went before the change of the other
  // only once it has seen the first one's connection close.
  expectPosts({
      spotifyPost(playing, tagged("S", "SA", "S1")),
      spotifyPost("Stopped"),
  });
  mpv.change({{"PlaybackStatus", "Playing"}});
  expectPosts({
      spotifyPost(playing, tagged("S", "SA", "S1")),
      spotifyPost("Stopped"),
      musicPost(playing, tagged("M", "MA", "M1")),
  });
}

TEST_F(MprisBridgeE2E, TheProxyMirroringAPlayingPlayerPostsNothingOfItsOwn) {
  FakeMprisPlayer spotify("spotify", "Playing", track({"S"}, "SA", "S1"));
  FakeMprisPlayer proxy("playerctld", "Playing", track({"S"}, "SA", "S1"));
  BridgeProcess bridge;
  const std::string spotifyPlaying =
      spotifyPost(playing, tagged("S", "SA", "S1"));
  expectPosts({spotifyPlaying});

  // The proxy repeats each change, and may well be heard first.
  proxy.change({{"Metadata", track({"S"}, "SA", "S2")}});
  spotify.change({{"Metadata", track({"S"}, "SA", "S2")}});
  expectPosts({spotifyPlaying,
               spotifyPost(playing, tagged("S", "SA", "S2"))});
  proxy.change({{"PlaybackStatus", "Paused"}});
  spotify.change({{"PlaybackStatus", "Paused"}});
  proxy.change({{"PlaybackStatus", "Playing"}});
  expectPosts({
      spotifyPlaying,
      spotifyPost(playing, tagged("S", "SA", "S2")),
      spotifyPost("Paused", tagged("S", "SA", "S2")),
  });
}

// Each step waits for its post: a value read after a later change would be
// that change's, and the earlier one never posted.
TEST_F(MprisBridgeE2E, PropertiesAnnouncedAsInvalidatedAreReadAndPosted) {
  FakeMprisPlayer vlc("vlc", "Playing", track({"A"}, "Album", "T1"));
  BridgeProcess bridge;
  const auto playingTitle = [](const std::string& title) { return musicPost(playing, tagged("A", "Album", title)); };
  expectPosts({playingTitle("T1")});

  // A player that never mentions its status keeps the one it last gave.
  vlc.invalidate({{"Metadata", track({"A"}, "Album", "T2")}});
  expectPosts({playingTitle("T1"), playingTitle("T2")});
  vlc.invalidate({{"PlaybackStatus", "Paused"}});
  expectPosts({playingTitle("T1"), playingTitle("T2"),
               musicPost("Paused", tagged("A", "Album", "T2"))});
}

TEST_F(MprisBridgeE2E, APlayerNotReadAtTheStartIsReadWhenItNextSignalsAndAgainWhenItComesBack) {
  std::optional<FakeMprisPlayer> late;
  late.emplace("late", "Playing", track({"L"}, "LA", "L1"));
  late->refuseReads(true);
  BridgeProcess bridge;
  late->waitUntilRead();

  // While it cannot be read, what it signals is all there is to go by.
  late->change({{"Metadata", track({"L"}, "LA", "L2")}});
  const std::string heard = musicPost("Stopped", tagged("L", "LA", "L2"));
  expectPosts({heard});

  late->refuseReads(false);
  late->change({{"Volume", 0.5}});
  const std::string read = musicPost(playing, tagged("L", "LA", "L2"));
  expectPosts({heard, read});

  late.reset();
  late.emplace("late", "Paused", track({"L"}, "LA", "L3"));
  expectPosts({heard, read, musicPost("Stopped"),
               musicPost("Paused", tagged("L", "LA", "L3"))});
}

// Wrong types at the start and in changes, a Metadata that is no dictionary,
// and a name owner with no player behind it: the bridge carries on.
TEST_F(MprisBridgeE2E, MalformedPlayersNeverStopIt) {
  QDBusConnection broken = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "broken");
  broken.registerService("org.mpris.MediaPlayer2.broken");
  FakeMprisPlayer odd("odd", "Playing",
                      {{"xesam:artist", "Single"}, {"xesam:album", QStringList{"B"}}, {"xesam:title", 5}});
  BridgeProcess bridge;
  expectPosts({musicPost(playing, {{artistKey, "Single"}})});

  odd.change({{"Metadata", "not a dictionary"}});
  expectPosts({musicPost(playing, {{artistKey, "Single"}}),
               musicPost(playing)});
  odd.change({{"Metadata", QVariantMap{{"xesam:title", QVariant::fromValue(QDBusVariant("C"))},
                                       {"xesam:artist", QVariant::fromValue(QDBusVariant(QStringList{"A"}))}}}});
  odd.change({{"PlaybackStatus", 1}});
  expectPosts({musicPost(playing, {{artistKey, "Single"}}),
               musicPost(playing), musicPost("Stopped")});
  odd.change({{"PlaybackStatus", "Playing"}, {"Metadata", track({}, "", "C")}});
  expectPosts({
      musicPost(playing, {{artistKey, "Single"}}),
      musicPost(playing),
      musicPost("Stopped"),
      musicPost(playing, {{albumKey, ""}, {titleKey, "C"}}),
  });
  QDBusConnection::disconnectFromBus("broken");
}

}  // namespace
