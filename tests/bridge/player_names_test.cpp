#include "tools/mpris-bridge/player_names.h"

#include <gtest/gtest.h>

namespace mpris_bridge {
void PrintTo(const RosterChange& change, std::ostream* out) {
  *out << "added {" << change.added.join(", ").toStdString() << "} removed {"
       << change.removed.join(", ").toStdString() << "}";
}
}  // namespace mpris_bridge

namespace {

using mpris_bridge::isPlayerName;
using mpris_bridge::isSpotifyClient;
using mpris_bridge::PlayerRoster;
using mpris_bridge::RosterChange;

QString player(const QString& name) { return "org.mpris.MediaPlayer2." + name; }

TEST(PlayerNames, APlayerNameHasAnElementAfterThePrefix) {
  EXPECT_TRUE(isPlayerName(player("vlc")));
  EXPECT_TRUE(isPlayerName(player("vlc.instance7389")));
  for (const char* other : {"org.mpris.MediaPlayer2", "org.mpris.MediaPlayer2.", "org.mpris.MediaPlayer",
                               "org.freedesktop.DBus", ""}) {
    EXPECT_FALSE(isPlayerName(other)) << other;
  }
}

TEST(PlayerNames, OnlyTheSpotifyClientsOwnNamesAreSpotify) {
  EXPECT_TRUE(isSpotifyClient(player("spotify")));
  EXPECT_TRUE(isSpotifyClient(player("spotify.instance12345")));
  for (const char* other : {"spotifyd", "spotifyd.instance12345", "spotify-qt", "spotify_player",
                               "spotify.instance", "spotify.instanceA", "spotify.instance1.x", "Spotify",
                               "vlc", "spotify.ncspot"}) {
    EXPECT_FALSE(isSpotifyClient(player(other))) << other;
  }
  EXPECT_FALSE(isSpotifyClient("com.spotify.spotify"));
  EXPECT_FALSE(isSpotifyClient("x" + player("spotify")));
}

TEST(PlayerRoster, PlayersCountFromTheirArrivalToTheirDeparture) {
  PlayerRoster roster;
  EXPECT_EQ(roster.appeared(player("vlc")), (RosterChange{{player("vlc")}, {}}));
  EXPECT_TRUE(roster.counts(player("vlc")));
  EXPECT_FALSE(roster.counts(player("mpv")));
  EXPECT_EQ(roster.vanished(player("vlc")), (RosterChange{{}, {player("vlc")}}));
  EXPECT_FALSE(roster.counts(player("vlc")));
  // Names that are no players, and departures never heard of, change nothing.
  EXPECT_EQ(roster.appeared("org.mpris.MediaPlayer2"), RosterChange{});
  EXPECT_FALSE(roster.counts("org.mpris.MediaPlayer2"));
  EXPECT_EQ(roster.vanished(player("mpv")), RosterChange{});
}

TEST(PlayerRoster, PlayerctldsProxyNeverCounts) {
  PlayerRoster roster;
  roster.appeared(player("spotify"));
  EXPECT_EQ(roster.appeared(player("playerctld")), RosterChange{});
  EXPECT_FALSE(roster.counts(player("playerctld")));
  roster.vanished(player("spotify"));
  EXPECT_FALSE(roster.counts(player("playerctld")));
}

TEST(PlayerRoster, TheBrowserMirrorCountsOnlyWhileNoBrowsersOwnPlayerIsThere) {
  const QString mirror = player("plasma-browser-integration");
  PlayerRoster roster;
  EXPECT_EQ(roster.appeared(mirror), (RosterChange{{mirror}, {}}));
  EXPECT_EQ(roster.appeared(player("chromium.instance42")), (RosterChange{{player("chromium.instance42")}, {mirror}}));
  EXPECT_FALSE(roster.counts(mirror));
  EXPECT_EQ(roster.appeared(player("firefox.instance_1_7")), (RosterChange{{player("firefox.instance_1_7")}, {}}));
  EXPECT_EQ(roster.vanished(player("chromium.instance42")), (RosterChange{{}, {player("chromium.instance42")}}));
  EXPECT_EQ(roster.vanished(player("firefox.instance_1_7")), (RosterChange{{mirror}, {player("firefox.instance_1_7")}}));
  EXPECT_TRUE(roster.counts(mirror));

  // Chrome's own name hides it too; a name that only begins like a browser's does not.
  EXPECT_EQ(roster.appeared(player("chromiumfan")), (RosterChange{{player("chromiumfan")}, {}}));
  EXPECT_EQ(roster.appeared(player("chrome.instance9")), (RosterChange{{player("chrome.instance9")}, {mirror}}));
  // The mirror arriving after the browser never counts at all.
  roster.vanished(mirror);
  EXPECT_EQ(roster.appeared(mirror), RosterChange{});
}

}  // namespace
