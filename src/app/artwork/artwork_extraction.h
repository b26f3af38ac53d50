#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/artwork/track_fingerprint.h"
#include "platform/image/image.h"

namespace sonvetta {

// The artwork embedded in the audio file `from`, stretched to a square of
// `targetSize` points, when the file's artist, album and title tags name the
// wanted track; none when they do not, or when the file holds no picture
// that decodes.
//
// Tags and wanted values are compared whole, after the locale-independent
// Unicode lowercase mapping, under canonical equivalence; nothing is trimmed.
// Of several tags of one kind the last counts, and of several pictures the
// last that decodes. The artist is compared as namesArtist says.
platform::ImageRef extractArtwork(const std::filesystem::path& from, const std::string& artist,
                                  const std::string& album, const std::string& title, double targetSize);

// Whether `wanted`, a player's artist text, names the artist of a file whose
// artist tag holds `values`, compared as extractArtwork compares. One value
// must be the text. Of several, players send the first alone, or all joined
// by ", ", ";", "; ", " / ", "/", " & " or a space; and the last alone is
// what the tag gives where each value overwrites the one before.
bool namesArtist(const std::vector<std::string>& values, std::string_view wanted);

// What the tags of the audio file `from` say about its track, as far as
// extractArtwork compares it: only where the WantedTrack admits the file's
// fingerprint can extractArtwork find its artwork. None when the file could
// not be read through, which tells nothing about its tags. Reads the tags and
// nothing more; safe to call on several threads at once.
std::optional<TrackFingerprint> readTrackFingerprint(const std::filesystem::path& from);

}  // namespace sonvetta
