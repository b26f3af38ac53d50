#pragma once

#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <map>
#include <optional>

#include "app/bridge/player_state.h"

namespace mpris_bridge {

// A notification to post on Sonvetta's distributed notification centre.
struct PlayerNotification {
  QString name;
  QVariantMap userInfo;

  bool operator==(const PlayerNotification&) const = default;
};

// The notification that tells Sonvetta about `state`: Spotify's for the
// Spotify client's bus names (see isSpotifyClient), the Music app's for any
// other.
PlayerNotification notificationFor(const QString& busName, const PlayerState& state);

// Decides, as players come, change and go, which one Sonvetta shows and when
// to tell it: a player that starts playing takes over; when the player shown
// stops, pauses or goes, the one that most recently started playing and still
// plays takes its place. Only changes of what is shown are posted.
class PlayerArbiter {
 public:
  // `properties` as for applyPlayerProperties. A player not seen before is
  // added. The result is the notification to post, if any.
  std::optional<PlayerNotification> propertiesChanged(const QString& busName,
                                                      const QVariantMap& properties);
  std::optional<PlayerNotification> playerVanished(const QString& busName);

 private:
  struct Player {
    PlayerState state;
    std::uint64_t startedPlaying = 0;  // when it last started, in order of starts
  };

  std::optional<QString> latestPlaying() const;
  std::optional<PlayerNotification> postIfNew(PlayerNotification notification);

  std::map<QString, Player> players_;
  std::optional<QString> shown_;
  std::uint64_t starts_ = 0;
  std::optional<PlayerNotification> lastPosted_;
};

}  // namespace mpris_bridge
