#pragma once

#include <cstdint>
#include <string_view>

namespace sonvetta {

// A track's artist, album and title as the match sees them, in eight bytes:
// tags that match the wanted track always have the wanted track's
// fingerprint, so a different fingerprint rules a file out. The same
// fingerprint rules nothing in, as different tracks may share one.
class TrackFingerprint {
 public:
  static TrackFingerprint of(std::string_view artist, std::string_view album, std::string_view title);

  // Tags that lack one of the three, and so never match.
  static TrackFingerprint incomplete() { return TrackFingerprint(0); }

  bool operator==(const TrackFingerprint&) const = default;

 private:
  explicit TrackFingerprint(std::uint64_t value) : value_(value) {}

  std::uint64_t value_;
};

}  // namespace sonvetta
