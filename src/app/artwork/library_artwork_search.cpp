#include "app/artwork/library_artwork_search.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/artwork/artwork_extraction.h"
#include "platform/files/directory_walk.h"
#include "platform/text/unicode.h"

namespace sonvetta {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 5> kAudioFileExtensions = {"mp3", "m4a", "aac", "flac", "wav"};

std::array<fs::path, 3> musicLibraryRoots(const fs::path& home) {
  return {home / "Music" / "Media.localized" / "Music", home / "Music" / "iTunes" / "iTunes Media" / "Music",
          home / "Music" / "Music"};
}

// Only the name counts: a folder named like an audio file is a candidate too,
// and simply yields no tags.
bool isAudioFileName(const fs::path& entry) {
  const std::string extension = entry.extension().string();
  if (extension.empty()) return false;
  return std::ranges::find(kAudioFileExtensions, platform::lowercased(extension.substr(1))) !=
         kAudioFileExtensions.end();
}

}  // namespace

LibraryArtworkSearch::LibraryArtworkSearch(std::ostream& log, fs::path homeFolder)
    : log_(log), homeFolder_(std::move(homeFolder)) {}

platform::ImageRef LibraryArtworkSearch::findArtworkInMusicLibrary(const std::string& artist,
                                                                   const std::string& album,
                                                                   const std::string& title, double targetSize) {
  writeLine("Attempting to find artwork in local Music library...");
  for (const fs::path& root : musicLibraryRoots(homeFolder_)) {
    std::error_code error;
    if (!fs::exists(root, error)) {
      writeLine("Music library path not found: " + root.string());
      continue;
    }
    writeLine("Searching in: " + root.string());

    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
    if (!walk) continue;
    while (const std::optional<fs::path> entry = walk->next()) {
      if (!isAudioFileName(*entry)) continue;
      if (platform::ImageRef artwork = extractArtwork(*entry, artist, album, title, targetSize)) {
        writeLine("Artwork found for " + title + " in " + entry->filename().string());
        return artwork;
      }
    }
  }
  writeLine("No matching artwork found in local Music library.");
  return nullptr;
}

void LibraryArtworkSearch::writeLine(const std::string& line) { log_ << line << '\n' << std::flush; }

}  // namespace sonvetta
