#include "app/bridge/player_arbiter.h"

#include "app/bridge/player_names.h"
#include "app/vocabulary.h"

namespace mpris_bridge {
namespace {

QString statusText(PlaybackStatus status) {
  switch (status) {
    case PlaybackStatus::Playing: return sonvetta::vocabulary::playing;
    case PlaybackStatus::Paused: return "Paused";
    case PlaybackStatus::Stopped: break;
  }
  return "Stopped";
}

}  // namespace

PlayerNotification notificationFor(const QString& busName, const PlayerState& state) {
  const bool spotify = isSpotifyClient(busName);
  using namespace sonvetta::vocabulary;
  PlayerNotification notification{spotify ? spotifyNotification : musicAppNotification, {}};
  notification.userInfo.insert(spotify ? spotifyStateKey : musicAppStateKey, statusText(state.status));
  if (state.track.artist) notification.userInfo.insert(artistKey, *state.track.artist);
  if (state.track.album) notification.userInfo.insert(albumKey, *state.track.album);
  if (const auto name = state.track.name()) notification.userInfo.insert(titleKey, *name);
  return notification;
}

std::optional<PlayerNotification> PlayerArbiter::propertiesChanged(const QString& busName,
                                                                   const QVariantMap& properties) {
  Player& player = players_[busName];
  const bool wasPlaying = player.state.status == PlaybackStatus::Playing;
  applyPlayerProperties(player.state, properties);
  const bool playing = player.state.status == PlaybackStatus::Playing;

  if (playing && !wasPlaying) {
    player.startedPlaying = ++starts_;
    shown_ = busName;
  } else if (!shown_) {
    shown_ = busName;
  } else if (*shown_ == busName && !playing) {
    shown_ = latestPlaying().value_or(busName);
  }
  return postIfNew(notificationFor(*shown_, players_.at(*shown_).state));
}

std::optional<PlayerNotification> PlayerArbiter::playerVanished(const QString& busName) {
  players_.erase(busName);
  if (shown_ != busName) return std::nullopt;
  shown_ = latestPlaying();
  if (!shown_) return postIfNew(notificationFor(busName, PlayerState{}));
  return postIfNew(notificationFor(*shown_, players_.at(*shown_).state));
}

std::optional<QString> PlayerArbiter::latestPlaying() const {
  const Player* latest = nullptr;
  std::optional<QString> latestName;
  for (const auto& [name, player] : players_) {
    if (player.state.status != PlaybackStatus::Playing) continue;
    if (!latest || player.startedPlaying > latest->startedPlaying) {
      latest = &player;
      latestName = name;
    }
  }
  return latestName;
}

std::optional<PlayerNotification> PlayerArbiter::postIfNew(PlayerNotification notification) {
  if (notification == lastPosted_) return std::nullopt;
  lastPosted_ = notification;
  return notification;
}

}  // namespace mpris_bridge
