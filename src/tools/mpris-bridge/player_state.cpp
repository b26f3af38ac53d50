#include "tools/mpris-bridge/player_state.h"

#include <QStringList>

namespace mpris_bridge {
namespace {

constexpr char kStatus[] = "PlaybackStatus";
constexpr char kMetadata[] = "Metadata";

std::optional<QString> textOf(const QVariant& value) {
  if (value.metaType() != QMetaType::fromType<QString>()) return std::nullopt;
  return value.toString();
}

// MPRIS gives the artists as a list; some players send one string instead,
// which is still plainly the artist.
std::optional<QString> artistOf(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QStringList>()) {
    const QStringList artists = value.toStringList();
    if (artists.isEmpty()) return std::nullopt;
    return artists.join(", ");
  }
  return textOf(value);
}

PlaybackStatus statusOf(const QVariant& value) {
  const std::optional<QString> status = textOf(value);
  if (status == "Playing") return PlaybackStatus::Playing;
  if (status == "Paused") return PlaybackStatus::Paused;
  return PlaybackStatus::Stopped;
}

Track trackOf(const QVariant& metadata) {
  if (metadata.metaType() != QMetaType::fromType<QVariantMap>()) return {};
  const QVariantMap fields = metadata.toMap();
  return Track{artistOf(fields.value("xesam:artist")), textOf(fields.value("xesam:album")),
               textOf(fields.value("xesam:title"))};
}

}  // namespace

void applyPlayerProperties(PlayerState& state, const QVariantMap& properties) {
  if (properties.contains(kStatus)) state.status = statusOf(properties.value(kStatus));
  if (properties.contains(kMetadata)) state.track = trackOf(properties.value(kMetadata));
}

bool isPropertyRead(const QString& property) { return property == kStatus || property == kMetadata; }

}  // namespace mpris_bridge
