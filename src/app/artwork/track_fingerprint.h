#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace sonvetta {

// A track's artist, album and title as the match sees them, in eight bytes:
// tags that match the wanted track always have a fingerprint that the
// WantedTrack admits, so any other fingerprint rules a file out. An admitted
// one rules nothing in, as different tracks may share one.
class TrackFingerprint {
 public:
  // Of tags whose artist holds one value.
  static TrackFingerprint of(std::string_view artist, std::string_view album, std::string_view title);

  // Of tags whose artist holds several values. The artist is left out: many
  // texts name it.
  static TrackFingerprint ofSeveralArtists(std::string_view album, std::string_view title);

  // Tags that lack one of the three, and so never match.
  static TrackFingerprint incomplete() { return TrackFingerprint(0); }

  bool operator==(const TrackFingerprint&) const = default;

 private:
  explicit TrackFingerprint(std::uint64_t value) : value_(value) {}
  static TrackFingerprint ofFields(std::initializer_list<std::string_view> fields);

  std::uint64_t value_;
};

// The track a search looks for, as the fingerprints its files can have.
class WantedTrack {
 public:
  WantedTrack(std::string_view artist, std::string_view album, std::string_view title)
      : oneArtist_(TrackFingerprint::of(artist, album, title)),
        severalArtists_(TrackFingerprint::ofSeveralArtists(album, title)) {}

  bool admits(TrackFingerprint fingerprint) const {
    return fingerprint == oneArtist_ || fingerprint == severalArtists_;
  }

 private:
  TrackFingerprint oneArtist_;
  TrackFingerprint severalArtists_;
};

}  // namespace sonvetta
