#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace mpris_bridge {

enum class PlaybackStatus { Playing, Paused, Stopped };

// The fields of a track that the notifications carry; a field the player did
// not give, or gave in a form we cannot read, is absent.
struct Track {
  std::optional<QString> artist;
  std::optional<QString> album;
  // As tagged: players that stand in the file's name for a missing title
  // (mpv, Strawberry, Quod Libet) or report the file's name before its tags
  // (mpv) have given no title.
  std::optional<QString> title;
  // The name of the track's file as players show it, from its URL.
  std::optional<QString> fileName = std::nullopt;

  // What to call the track: its title, else its file's name, as players
  // show untagged files.
  std::optional<QString> name() const { return title ? title : fileName; }

  bool operator==(const Track&) const = default;
};

// What the bridge knows of one player; a player starts out stopped with no track.
struct PlayerState {
  PlaybackStatus status = PlaybackStatus::Stopped;
  Track track;

  bool operator==(const PlayerState&) const = default;
};

// Applies properties of org.mpris.MediaPlayer2.Player, as read at start or
// sent in PropertiesChanged, with "Metadata" already decoded to a map.
// Players send all kinds of things: a status other than the three known ones
// counts as stopped, metadata that is not a map as no track.
void applyPlayerProperties(PlayerState& state, const QVariantMap& properties);

// Whether applyPlayerProperties reads `property`, so that a new value of it
// is worth fetching.
bool isPropertyRead(const QString& property);

}  // namespace mpris_bridge
