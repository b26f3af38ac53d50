#pragma once

#include <QString>
#include <QStringList>
#include <set>

namespace mpris_bridge {

// Whether `busName` is an MPRIS player's: org.mpris.MediaPlayer2 and at least
// one more element.
bool isPlayerName(const QString& busName);

// Whether `busName` is the Spotify client's own: org.mpris.MediaPlayer2.spotify,
// or its instance form org.mpris.MediaPlayer2.spotify.instance<digits>. Other
// programs that play from Spotify (spotifyd, spotify-qt, ...) publish names
// of their own and are players like any other.
bool isSpotifyClient(const QString& busName);

// The names that start or stop counting as players at once.
struct RosterChange {
  QStringList added;
  QStringList removed;

  bool operator==(const RosterChange&) const = default;
};

// Which of the MPRIS names on the bus are players of their own. Mirrors repeat
// another player's state under a name of their own, so taking them for players
// would post that player twice, and under the wrong notification when it is
// Spotify. playerctld's proxy never counts; a browser-integration mirror counts
// only while none of the browsers' own players is on the bus, for then it is
// all there is of the browser.
class PlayerRoster {
 public:
  RosterChange appeared(const QString& busName);
  RosterChange vanished(const QString& busName);
  bool counts(const QString& busName) const;

 private:
  std::set<QString> players() const;
  RosterChange changeFrom(const std::set<QString>& before) const;

  std::set<QString> onBus_;
};

}  // namespace mpris_bridge
