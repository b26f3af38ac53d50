#pragma once

#include <QImage>
#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/artwork/artwork_extraction.h"
#include "app/artwork/library_artwork_search.h"
#include "platform/files/file_stamp.h"
#include "platform/files/directory_walk.h"
#include "platform/image/bitmap_image.h"

// The reference every search is held to: a fresh walk of the library that
// reads one candidate file after another.
namespace sonvetta::testdata {

// The library roots, in the order they are searched.
inline std::array<std::filesystem::path, 3> roots(const std::filesystem::path& home) {
  return {home / "Music" / "Media.localized" / "Music", home / "Music" / "iTunes" / "iTunes Media" / "Music",
          home / "Music" / "Music"};
}

// What a search gives: the lines and the artwork.
struct Outcome {
  std::vector<std::string> lines;
  QImage artwork;

  bool operator==(const Outcome&) const = default;
};

inline void PrintTo(const Outcome& outcome, std::ostream* out) {
  for (const std::string& line : outcome.lines) *out << line << " / ";
  *out << (outcome.artwork.isNull() ? "no artwork" : "artwork");
}

inline bool isCandidate(const std::filesystem::path& entry) {
  std::string extension = entry.extension().string();
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return extension == ".mp3" || extension == ".m4a" || extension == ".aac" || extension == ".flac" ||
         extension == ".wav";
}

// The track is always by "The Band" on "Album".
inline Outcome oneFileAtATime(const std::filesystem::path& home, const std::string& title = "Song") {
  Outcome outcome{{"Attempting to find artwork in local Music library..."}, {}};
  for (const std::filesystem::path& root : roots(home)) {
    if (!std::filesystem::exists(root)) {
      outcome.lines.push_back("Music library path not found: " + root.string());
      continue;
    }
    outcome.lines.push_back("Searching in: " + root.string());
    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
    while (const std::optional<std::filesystem::path> entry = walk ? walk->next() : std::nullopt) {
      if (!isCandidate(*entry)) continue;
      if (const platform::ImageRef artwork = sonvetta::extractArtwork(*entry, "The Band", "Album", title, 22)) {
        outcome.lines.push_back("Artwork found for " + title + " in " + entry->filename().string());
        outcome.artwork = dynamic_cast<const platform::BitmapImage&>(*artwork).pixels();
        return outcome;
      }
    }
  }
  outcome.lines.push_back("No matching artwork found in local Music library.");
  return outcome;
}

inline Outcome searched(sonvetta::LibraryArtworkSearch& searcher, std::stringstream& log,
                        const std::string& title = "Song") {
  log.str({});
  log.clear();
  Outcome outcome;
  if (const platform::ImageRef artwork = searcher.findArtworkInMusicLibrary("The Band", "Album", title, 22)) {
    outcome.artwork = dynamic_cast<const platform::BitmapImage&>(*artwork).pixels();
  }
  for (std::string line; std::getline(log, line);) outcome.lines.push_back(line);
  return outcome;
}

// Long enough for every file made so far to be remembered by a search:
// files too new for their stamps to be trusted are read at every search.
inline void waitUntilSettled() {
  std::this_thread::sleep_for(platform::FileStamp::kSettlingTime + std::chrono::milliseconds(100));
}

}  // namespace sonvetta::testdata
