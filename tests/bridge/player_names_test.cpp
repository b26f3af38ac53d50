#include "app/bridge/player_names.h"

#include <gtest/gtest.h>

namespace mpris_bridge {
void PrintTo(const RosterChange& change, std::ostream* out) {
  *out << "added {" << change.added.join(", ").toStdString() << "} removed {"
       << change.removed.join(", ").toStdString() << "}";
}
}  // namespace mpris_bridge

namespace {

using mpris_bridge::isSpotifyClient;
using mpris_bridge::PlayerRoster;
using mpris_bridge::RosterChange;

QString player(const QString& name) { return "org.mpris.MediaPlayer2." + name; }

TEST(PlayerNames, OnlyTheSpotifyClientsOwnNamesAreSpotify) {
  EXPECT_TRUE(isSpotifyClient(player("spotify")));
  EXPECT_TRUE(isSpotifyClient(player("spotify.instance12345")));
  for (const char* other : {"spotifyd", "spotifyd.instance12345", "spotify-qt", "spotify.instance",
                            "spotify.instanceA", "spotify.instance1.x", "Spotify"}) {
    EXPECT_FALSE(isSpotifyClient(player(other))) << other;
  }
  EXPECT_FALSE(isSpotifyClient("x" + player("spotify")));
}

TEST(PlayerRoster, PlayersCountWhileOnTheBusButPlayerctldsProxyNever) {
  PlayerRoster roster;
  EXPECT_EQ(roster.appeared(player("vlc")), (RosterChange{{player("vlc")}, {}}));
  EXPECT_EQ(roster.appeared(player("playerctld")), RosterChange{});
  EXPECT_EQ(roster.appeared("org.mpris.MediaPlayer2"), RosterChange{});
  EXPECT_TRUE(roster.counts(player("vlc")));
  EXPECT_FALSE(roster.counts(player("playerctld")));
  EXPECT_EQ(roster.vanished(player("vlc")), (RosterChange{{}, {player("vlc")}}));
  EXPECT_FALSE(roster.counts(player("vlc")));
  EXPECT_EQ(roster.vanished(player("never.seen")), RosterChange{});
}

TEST(PlayerRoster, TheBrowserMirrorCountsOnlyWhileNoBrowsersOwnPlayerIsThere) {
  const QString mirror = player("plasma-browser-integration");
  const QString chromium = player("chromium.instance42");
  const QString firefox = player("firefox.instance_1_7");
  PlayerRoster roster;
  EXPECT_EQ(roster.appeared(mirror), (RosterChange{{mirror}, {}}));
  EXPECT_EQ(roster.appeared(chromium), (RosterChange{{chromium}, {mirror}}));
  EXPECT_EQ(roster.appeared(firefox), (RosterChange{{firefox}, {}}));
  EXPECT_EQ(roster.vanished(chromium), (RosterChange{{}, {chromium}}));
  EXPECT_EQ(roster.vanished(firefox), (RosterChange{{mirror}, {firefox}}));
  // A name that only begins like a browser's is not one.
  EXPECT_EQ(roster.appeared(player("chromiumfan")), (RosterChange{{player("chromiumfan")}, {}}));
  EXPECT_EQ(roster.appeared(player("chrome.instance9")), (RosterChange{{player("chrome.instance9")}, {mirror}}));
}

}  // namespace
