#include "app/bridge/change_gatherer.h"

#include <utility>

namespace mpris_bridge {

std::optional<QVariantMap> ChangeGatherer::heard(const QString& busName, const QVariantMap& properties,
                                                 Time now) {
  Player& player = players_[busName];
  bool read = false;
  for (auto property = properties.begin(); property != properties.end(); ++property) {
    if (!isPropertyRead(property.key())) continue;
    if (player.gathered.isEmpty()) player.since = now;
    player.gathered.insert(property.key(), property.value());
    read = true;
  }
  if (!read) return std::nullopt;
  const std::optional<Time> due = dueTime(player);
  if (!due || *due > now) return std::nullopt;
  return release(player);
}

std::vector<ChangeGatherer::Release> ChangeGatherer::due(Time now) {
  std::vector<Release> releases;
  for (auto& [busName, player] : players_) {
    const std::optional<Time> due = dueTime(player);
    if (due && *due <= now) releases.push_back({busName, release(player)});
  }
  return releases;
}

std::vector<ChangeGatherer::Release> ChangeGatherer::releaseAll() {
  std::vector<Release> releases;
  for (auto& [busName, player] : players_) {
    if (!player.gathered.isEmpty()) releases.push_back({busName, release(player)});
  }
  return releases;
}

std::optional<ChangeGatherer::Time> ChangeGatherer::nextDue() const {
  std::optional<Time> next;
  for (const auto& [busName, player] : players_) {
    const std::optional<Time> due = dueTime(player);
    if (due && (!next || *due < *next)) next = due;
  }
  return next;
}

void ChangeGatherer::forget(const QString& busName) { players_.erase(busName); }

std::optional<ChangeGatherer::Time> ChangeGatherer::dueTime(const Player& player) {
  if (player.gathered.isEmpty()) return std::nullopt;
  PlayerState state = player.released;
  applyPlayerProperties(state, player.gathered);
  const bool newTrack = player.gathered.contains("Metadata") && state.track != player.released.track;
  if (state.status == PlaybackStatus::Playing) {
    // A new track named by its file alone, or a track not named at all, is
    // how players start before they have read the tags.
    const bool awaitingTags = !state.track.title && (newTrack || !state.track.fileName);
    return player.since + (awaitingTags ? kSettling : kWindow);
  }
  // VLC stops between two tracks, on one of its two names without the new
  // one, 100 to 200 ms before it plays it.
  const bool stopFromPlaying =
      state.status == PlaybackStatus::Stopped && player.released.status == PlaybackStatus::Playing;
  return newTrack || stopFromPlaying ? player.since + kSettling : player.since;
}

QVariantMap ChangeGatherer::release(Player& player) {
  applyPlayerProperties(player.released, player.gathered);
  return std::exchange(player.gathered, {});
}

}  // namespace mpris_bridge
