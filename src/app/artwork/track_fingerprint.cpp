#include "app/artwork/track_fingerprint.h"

#include <functional>
#include <string>

#include "platform/text/unicode.h"

namespace sonvetta {

TrackFingerprint TrackFingerprint::of(std::string_view artist, std::string_view album, std::string_view title) {
  return ofFields({artist, album, title});
}

TrackFingerprint TrackFingerprint::ofSeveralArtists(std::string_view album, std::string_view title) {
  return ofFields({album, title});
}

TrackFingerprint TrackFingerprint::ofFields(std::initializer_list<std::string_view> fields) {
  // Each field with its length in front, so that no two lists of fields,
  // however many, make one text.
  std::string folded;
  for (const std::string_view field : fields) {
    const std::string key = platform::foldedForComparison(field);
    folded += std::to_string(key.size());
    folded += ':';
    folded += key;
  }
  const std::uint64_t hash = std::hash<std::string>{}(folded);
  return TrackFingerprint(hash == incomplete().value_ ? hash + 1 : hash);
}

}  // namespace sonvetta
