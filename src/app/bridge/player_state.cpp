#include "app/bridge/player_state.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <array>

namespace mpris_bridge {
namespace {

constexpr char kStatus[] = "PlaybackStatus";
constexpr char kMetadata[] = "Metadata";

std::optional<QString> textOf(const QVariant& value) {
  if (value.metaType() != QMetaType::fromType<QString>()) return std::nullopt;
  return value.toString();
}

// MPRIS gives the artists as a list; some players send one string instead,
// which is still plainly the artist. Several are joined by ", ", as most
// players join them in one string.
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

// The last element of the URL's path, percent-decoded; players send both
// encoded and raw URLs, which QUrl's tolerant parsing reads alike.
std::optional<QString> fileOf(const QVariant& url) {
  const std::optional<QString> text = textOf(url);
  if (!text) return std::nullopt;
  const QString file = QUrl(*text).fileName(QUrl::FullyDecoded);
  if (file.isEmpty()) return std::nullopt;
  return file;
}

bool isAudioExtension(const QString& extension) {
  static constexpr std::array kAudioExtensions{"aac", "aif", "aiff", "ape", "flac", "m4a", "m4b", "mka",
                                               "mp3", "mpc", "oga", "ogg", "opus", "wav", "wma", "wv"};
  return std::any_of(kAudioExtensions.begin(), kAudioExtensions.end(), [&](const char* audio) {
    return extension.compare(QLatin1String(audio), Qt::CaseInsensitive) == 0;
  });
}

// Whether `title` is what players give in place of a missing title for the
// file `file` (the last component of its URL): the name as it is (mpv,
// Strawberry), or followed by " [untitled FORMAT]" (Quod Libet). A real
// title may well begin with the name of a stream.
bool standsInForTitle(const QString& title, const QString& file) {
  if (title == file) return true;
  const QRegularExpression untitled(
      QRegularExpression::anchoredPattern(QRegularExpression::escape(file) + R"( \[untitled [^\]]+\])"));
  return untitled.match(title).hasMatch();
}

// The name players show for the file `file` in place of a title: without its
// extension only where that is an audio file's, so that "St. Louis Blues"
// stays whole. A leading dot starts a hidden file's name, not an extension.
QString shownFileName(const QString& file) {
  const qsizetype dot = file.lastIndexOf('.');
  return dot > 0 && isAudioExtension(file.sliced(dot + 1)) ? file.first(dot) : file;
}

Track trackOf(const QVariant& metadata) {
  if (metadata.metaType() != QMetaType::fromType<QVariantMap>()) return {};
  const QVariantMap fields = metadata.toMap();
  const std::optional<QString> file = fileOf(fields.value("xesam:url"));
  std::optional<QString> title = textOf(fields.value("xesam:title"));
  if (title && file && standsInForTitle(*title, *file)) title.reset();
  return Track{artistOf(fields.value("xesam:artist")), textOf(fields.value("xesam:album")), title,
               file ? std::optional(shownFileName(*file)) : std::nullopt};
}

}  // namespace

void applyPlayerProperties(PlayerState& state, const QVariantMap& properties) {
  if (properties.contains(kStatus)) state.status = statusOf(properties.value(kStatus));
  if (properties.contains(kMetadata)) state.track = trackOf(properties.value(kMetadata));
}

bool isPropertyRead(const QString& property) { return property == kStatus || property == kMetadata; }

}  // namespace mpris_bridge
