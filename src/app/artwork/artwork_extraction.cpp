#include "app/artwork/artwork_extraction.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "platform/image/image_decoding.h"
#include "platform/image/image_scaling.h"
#include "platform/media/common_metadata.h"
#include "platform/text/unicode.h"

namespace sonvetta {

namespace {

using Picture = platform::SharedBytes;

std::string joined(const std::vector<std::string>& values, std::string_view separator) {
  std::string text = values.front();
  for (auto value = values.begin() + 1; value != values.end(); ++value) text.append(separator).append(*value);
  return text;
}

// An entry's text: its values joined by a space, as players built on TagLib
// show them.
std::optional<std::string> textOf(const platform::MetadataItem& item) {
  if (item.stringValues.empty()) return std::nullopt;
  return joined(item.stringValues, " ");
}

struct TrackTags {
  std::vector<std::string> artists;  // none when absent
  std::optional<std::string> album;
  std::optional<std::string> title;
  std::vector<const Picture*> pictures;  // in tag order, pointing into the items
};

// An item without a string value clears what an earlier item of its key set.
TrackTags collectTags(const std::vector<platform::MetadataItem>& items) {
  TrackTags tags;
  for (const platform::MetadataItem& item : items) {
    switch (item.commonKey) {
      case platform::CommonKey::artist:
        tags.artists = item.stringValues;
        break;
      case platform::CommonKey::albumName:
        tags.album = textOf(item);
        break;
      case platform::CommonKey::title:
        tags.title = textOf(item);
        break;
      case platform::CommonKey::artwork:
        if (item.dataValue) tags.pictures.push_back(&*item.dataValue);
        break;
      case platform::CommonKey::none:
        break;
    }
  }
  return tags;
}

bool isComplete(const TrackTags& tags) { return !tags.artists.empty() && tags.album && tags.title; }

bool namesTrack(const TrackTags& tags, const std::string& artist, const std::string& album, const std::string& title) {
  return isComplete(tags) && namesArtist(tags.artists, artist) && platform::equalIgnoringCase(*tags.album, album) &&
         platform::equalIgnoringCase(*tags.title, title);
}

// Only the last picture that decodes would survive decoding them all in tag
// order, so the search starts from the end and decodes nothing more. It runs
// only once the file is known to be the track: most files of a library are
// not, and decoding is the dearest step.
platform::ImageRef lastDecodablePicture(const std::vector<const Picture*>& pictures, double targetSize) {
  for (auto picture = pictures.rbegin(); picture != pictures.rend(); ++picture) {
    if (platform::ImageRef decoded = platform::decodeImage(**picture)) {
      return platform::scaledToSquare(*decoded, targetSize);
    }
  }
  return nullptr;
}

}  // namespace

bool namesArtist(const std::vector<std::string>& values, std::string_view wanted) {
  if (values.empty()) return false;
  const auto names = [wanted](std::string_view text) { return platform::equalIgnoringCase(text, wanted); };
  if (values.size() == 1) return names(values.front());
  static constexpr std::array<std::string_view, 7> kSeparators = {", ", ";", "; ", " / ", "/", " & ", " "};
  return names(values.back()) || names(values.front()) ||
         std::ranges::any_of(kSeparators, [&](std::string_view separator) { return names(joined(values, separator)); });
}

platform::ImageRef extractArtwork(const std::filesystem::path& from, const std::string& artist,
                                  const std::string& album, const std::string& title, double targetSize) {
  const std::vector<platform::MetadataItem> items = platform::commonMetadata(from);
  const TrackTags tags = collectTags(items);
  if (!namesTrack(tags, artist, album, title)) return nullptr;
  return lastDecodablePicture(tags.pictures, targetSize);
}

std::optional<TrackFingerprint> readTrackFingerprint(const std::filesystem::path& from) {
  const std::optional<std::vector<platform::MetadataItem>> items = platform::readCommonMetadata(from);
  if (!items) return std::nullopt;
  const TrackTags tags = collectTags(*items);
  if (!isComplete(tags)) return TrackFingerprint::incomplete();
  if (tags.artists.size() > 1) return TrackFingerprint::ofSeveralArtists(*tags.album, *tags.title);
  return TrackFingerprint::of(tags.artists.front(), *tags.album, *tags.title);
}

}  // namespace sonvetta
