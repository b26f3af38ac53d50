#include "app/bridge/player_state.h"

#include <QStringList>
#include <QUrl>

namespace mpris_bridge {
namespace {

constexpr char kStatus[] = "PlaybackStatus";
constexpr char kMetadata[] = "Metadata";

std::optional<QString> textOf(const QVariant& value) {
  if (value.metaType() != QMetaType::fromType<QString>()) return std::nullopt;
  return value.toString();
}

// MPRIS gives the artists as a list; some players send one string instead,
// which is still plainly the artist. Several are joined by one space, as the
// tag reader joins the values of one artist tag, and as players built on
// TagLib send them in one string.
std::optional<QString> artistOf(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QStringList>()) {
    const QStringList artists = value.toStringList();
    if (artists.isEmpty()) return std::nullopt;
    return artists.join(" ");
  }
  return textOf(value);
}

PlaybackStatus statusOf(const QVariant& value) {
  const std::optional<QString> status = textOf(value);
  if (status == "Playing") return PlaybackStatus::Playing;
  if (status == "Paused") return PlaybackStatus::Paused;
  return PlaybackStatus::Stopped;
}

// The last element of the URL's path, percent-decoded; players send both
// encoded and raw URLs, which QUrl's tolerant parsing reads alike.
std::optional<QString> fileOf(const QVariant& url) {
  const std::optional<QString> text = textOf(url);
  if (!text) return std::nullopt;
  const QString file = QUrl(*text).fileName(QUrl::FullyDecoded);
  if (file.isEmpty()) return std::nullopt;
  return file;
}

// A leading dot starts a hidden file's name, not an extension.
QString withoutExtension(const QString& file) {
  const qsizetype dot = file.lastIndexOf('.');
  return dot > 0 ? file.first(dot) : file;
}

Track trackOf(const QVariant& metadata) {
  if (metadata.metaType() != QMetaType::fromType<QVariantMap>()) return {};
  const QVariantMap fields = metadata.toMap();
  const std::optional<QString> file = fileOf(fields.value("xesam:url"));
  std::optional<QString> title = textOf(fields.value("xesam:title"));
  // Players that have no title stand in the file's name: mpv and Strawberry
  // as it is, Quod Libet followed by " [untitled MP3]".
  if (title && file && (*title == *file || title->startsWith(*file + " ["))) title.reset();
  return Track{artistOf(fields.value("xesam:artist")), textOf(fields.value("xesam:album")), title,
               file ? std::optional(withoutExtension(*file)) : std::nullopt};
}

}  // namespace

void applyPlayerProperties(PlayerState& state, const QVariantMap& properties) {
  if (properties.contains(kStatus)) state.status = statusOf(properties.value(kStatus));
  if (properties.contains(kMetadata)) state.track = trackOf(properties.value(kMetadata));
}

bool isPropertyRead(const QString& property) { return property == kStatus || property == kMetadata; }

}  // namespace mpris_bridge
