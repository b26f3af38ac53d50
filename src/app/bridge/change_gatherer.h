#pragma once

#include <QString>
#include <QVariantMap>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include "app/bridge/player_state.h"

namespace mpris_bridge {

// Players tell one change in several signals: Audacious and mpDris2 say
// Playing before they name the track, VLC and mpv name the file before its
// tags, and VLC stops between two tracks. Posting each signal would show a
// wrong line, or "Music not playing", and start a search for each. So what a
// player says is gathered here until it makes a whole, and let out as one.
//
// Times are the caller's clock, in milliseconds from any fixed start.
class ChangeGatherer {
 public:
  using Time = std::chrono::milliseconds;

  // From the first signal of a change: long enough for a status and the
  // metadata that belongs with it (mpDris2 and Audacious send them up to
  // 30 ms apart), short enough not to be noticed.
  static constexpr Time kWindow{50};
  // How long a player may take to give the tags of a track it has named only
  // by its file (VLC about 200 ms, mpv 100 ms), or to play again after it
  // stopped between two tracks (VLC 100 to 200 ms). Untagged tracks, stops
  // and pauses that come with a new track, and stops of a playing player
  // wait this long.
  static constexpr Time kSettling{1000};

  struct Release {
    QString busName;
    QVariantMap properties;

    bool operator==(const Release&) const = default;
  };

  // Takes `properties` that the player said at `now` (with "Metadata"
  // decoded, as for applyPlayerProperties). The result is what it said
  // since its last release, when that is due to go out now. A pause that
  // does not come with a new track goes out at once.
  std::optional<QVariantMap> heard(const QString& busName, const QVariantMap& properties, Time now);
  // What is due at `now`, for every player, in order of bus names.
  std::vector<Release> due(Time now);
  // Everything that waits, at once: when a player goes, the one shown in its
  // place must be shown as it is now (VLC's second name, say, which follows
  // the first a little behind).
  std::vector<Release> releaseAll();
  // When the next release falls due, if anything waits.
  std::optional<Time> nextDue() const;
  void forget(const QString& busName);

 private:
  struct Player {
    PlayerState released;
    QVariantMap gathered;
    Time since{};
  };

  static std::optional<Time> dueTime(const Player& player);
  static QVariantMap release(Player& player);

  std::map<QString, Player> players_;
};

}  // namespace mpris_bridge
