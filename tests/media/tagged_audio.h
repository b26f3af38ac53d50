#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Small but valid audio files whose tags TagLib itself writes, so that tests
// and benchmarks need no committed media and no encoder.
namespace sonvetta::testdata {

enum class AudioFormat { mp3ID3v23, mp3ID3v24, mp3ID3v1, m4a, flac, wavID3v2, wavInfo, aac };

// Names the format in the names of parameterised tests.
void PrintTo(AudioFormat format, std::ostream* out);

enum class TagField { artist, album, title, artwork };

struct TagEntry {
  TagField field;
  // The text, or the picture's bytes; none for an entry that holds nothing.
  // "\0" separates the values of a text entry that holds several: one ID3v2
  // frame or MP4 item with a list, repeated Vorbis comments.
  std::optional<std::string> value;
};

using TagEntries = std::vector<TagEntry>;

// Artist, album and title, then the picture when there is one.
TagEntries trackTags(const std::string& artist, const std::string& album, const std::string& title,
                     const std::optional<std::string>& picture = std::nullopt);

// Writes an audio file of `format` whose tag holds those of `entries` the
// format can carry, in order (ID3v1 and RIFF INFO carry no pictures, and keep
// one value a field).
void writeTaggedAudio(const std::filesystem::path& path, AudioFormat format, const TagEntries& entries);

// Writes a file of `format`, tagged as writeTaggedAudio would, that players
// play for `seconds` of silence: mp3 and m4a (MPEG audio in an MP4 track),
// and flac.
void writePlayableAudio(const std::filesystem::path& path, AudioFormat format, const TagEntries& entries,
                        int seconds);

// `seconds` of silence as MPEG-1 Layer III frames: an mp3 file without tags.
std::string mpegSilence(int seconds);

// A picture of `width` x `height` pixels, encoded by Qt in `format` ("JPEG",
// "PNG", ...): red on the left half, blue on the right, with a green bottom
// quarter, so that its placement after scaling shows.
std::string encodedPicture(int width, int height, const char* format);

// The same picture as a progressive JPEG, as libjpeg writes it by default.
std::string progressiveJpeg(int width, int height);

// A small picture of one colour (a name Qt knows, such as "red").
std::string solidPicture(const char* colorName, const char* format);

}  // namespace sonvetta::testdata
