#include "app/artwork/library_artwork_search.h"

#include <array>

#include "app/artwork/artwork_extraction.h"
#include "app/artwork/candidate_files.h"
#include "platform/files/directory_walk.h"

namespace sonvetta {

namespace fs = std::filesystem;

namespace {

std::array<fs::path, 3> musicLibraryRoots(const fs::path& home) {
  return {home / "Music" / "Media.localized" / "Music", home / "Music" / "iTunes" / "iTunes Media" / "Music",
          home / "Music" / "Music"};
}

}  // namespace

LibraryArtworkSearch::LibraryArtworkSearch(std::ostream& log, fs::path homeFolder)
    : log_(log), homeFolder_(std::move(homeFolder)) {}

platform::ImageRef LibraryArtworkSearch::findArtworkInMusicLibrary(const std::string& artist,
                                                                   const std::string& album,
                                                                   const std::string& title, double targetSize) {
  writeLine("Attempting to find artwork in local Music library...");
  const TrackFingerprint wanted = TrackFingerprint::of(artist, album, title);
  memo_.startWalk();
  for (const fs::path& root : musicLibraryRoots(homeFolder_)) {
    std::error_code error;
    if (!fs::exists(root, error)) {
      writeLine("Music library path not found: " + root.string());
      continue;
    }
    writeLine("Searching in: " + root.string());

    std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
    if (!walk) continue;
    CandidateFiles candidates(std::move(*walk), memo_);
    while (const std::optional<CandidateFiles::Candidate> candidate = candidates.next()) {
      if (candidate->fingerprint && *candidate->fingerprint != wanted) continue;
      // Read afresh: the fingerprint only says that the file may be the track.
      if (platform::ImageRef artwork = extractArtwork(candidate->file, artist, album, title, targetSize)) {
        writeLine("Artwork found for " + title + " in " + candidate->file.filename().string());
        return artwork;
      }
    }
  }
  memo_.forgetFilesNotMet();
  writeLine("No matching artwork found in local Music library.");
  return nullptr;
}

void LibraryArtworkSearch::writeLine(const std::string& line) { log_ << line << '\n' << std::flush; }

}  // namespace sonvetta
