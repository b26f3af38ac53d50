#include "app/artwork/library_artwork_search.h"

#include <sys/stat.h>

#include "app/artwork/artwork_extraction.h"
#include "app/artwork/candidate_files.h"
#include "platform/files/directory_walk.h"

namespace sonvetta {

namespace fs = std::filesystem;

LibraryArtworkSearch::LibraryArtworkSearch(std::ostream& log, fs::path homeFolder, platform::FileSystemTypeOf typeOf)
    : log_(log),
      typeOf_(std::move(typeOf)),
      roots_{Root{homeFolder / "Music" / "Media.localized" / "Music", {}, {}, {}},
             Root{homeFolder / "Music" / "iTunes" / "iTunes Media" / "Music", {}, {}, {}},
             Root{homeFolder / "Music" / "Music", {}, {}, {}}} {}

void LibraryArtworkSearch::warmUp() {
  warm_ = true;
  for (Root& root : roots_) startBuilding(root);
}

int LibraryArtworkSearch::foldersInMemory() {
  int count = 0;
  for (Root& root : roots_) {
    takeBuilt(root);
    if (root.mirror) ++count;
  }
  return count;
}

std::optional<std::pair<dev_t, ino_t>> LibraryArtworkSearch::identity(const fs::path& folder) {
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) return std::nullopt;
  return std::pair{status.st_dev, status.st_ino};
}

void LibraryArtworkSearch::startBuilding(Root& root) {
  if (root.building || root.mirror) return;
  if (root.refusedFor && *root.refusedFor == identity(root.folder)) return;
  root.refusedFor.reset();
  root.building = std::make_unique<platform::IdleWork<Built>>(
      [folder = root.folder, typeOf = typeOf_](const std::atomic<bool>& abandoned) {
        Built built{nullptr, LibraryMirror::Refusal::none};
        built.mirror = LibraryMirror::build(folder, typeOf, abandoned, built.refusal);
        return built;
      });
}

void LibraryArtworkSearch::takeBuilt(Root& root) {
  if (!root.building || !root.building->finished()) return;
  std::optional<Built> built = root.building->take();
  root.building.reset();
  if (!built) return;
  if (built->refusal == LibraryMirror::Refusal::lasting) root.refusedFor = identity(root.folder);
  root.mirror = std::move(built->mirror);
  if (root.mirror) memo_.forgetBelow(root.folder);
}

platform::ImageRef LibraryArtworkSearch::findArtworkInMusicLibrary(const std::string& artist,
                                                                   const std::string& album,
                                                                   const std::string& title, double targetSize) {
  writeLine("Attempting to find artwork in local Music library...");
  memo_.startWalk();
  bool walkedEveryRoot = true;
  for (Root& root : roots_) {
    std::error_code error;
    if (!fs::exists(root.folder, error)) {
      writeLine("Music library path not found: " + root.folder.string());
      root.mirror.reset();
      continue;
    }
    writeLine("Searching in: " + root.folder.string());

    takeBuilt(root);
    if (root.mirror && !root.mirror->catchUp()) root.mirror.reset();
    platform::ImageRef artwork;
    if (root.mirror) {
      artwork = searchMirror(*root.mirror, artist, album, title, targetSize);
      walkedEveryRoot = false;
    } else {
      if (warm_) startBuilding(root);
      artwork = walk(root.folder, artist, album, title, targetSize);
    }
    if (artwork) return artwork;
  }
  if (walkedEveryRoot) memo_.forgetFilesNotMet();
  writeLine("No matching artwork found in local Music library.");
  return nullptr;
}

platform::ImageRef LibraryArtworkSearch::searchMirror(LibraryMirror& mirror, const std::string& artist,
                                                      const std::string& album, const std::string& title,
                                                      double targetSize) {
  const TrackFingerprint wanted = TrackFingerprint::of(artist, album, title);
  platform::ImageRef artwork;
  mirror.search([&](LibraryMirror::Candidate& candidate) {
    const std::optional<TrackFingerprint> fingerprint = candidate.fingerprint();
    if (fingerprint && *fingerprint != wanted) return false;
    // Read afresh: the fingerprint only says that the file may be the track.
    artwork = extractArtwork(candidate.file(), artist, album, title, targetSize);
    if (artwork) writeLine("Artwork found for " + title + " in " + candidate.name());
    return artwork != nullptr;
  });
  return artwork;
}

platform::ImageRef LibraryArtworkSearch::walk(const fs::path& root, const std::string& artist, const std::string& album,
                                              const std::string& title, double targetSize) {
  std::optional<platform::DirectoryWalk> walk = platform::DirectoryWalk::open(root);
  if (!walk) return nullptr;
  const TrackFingerprint wanted = TrackFingerprint::of(artist, album, title);
  CandidateFiles candidates(std::move(*walk), memo_);
  while (const std::optional<CandidateFiles::Candidate> candidate = candidates.next()) {
    if (candidate->fingerprint && *candidate->fingerprint != wanted) continue;
    // Read afresh: the fingerprint only says that the file may be the track.
    if (platform::ImageRef artwork = extractArtwork(candidate->file, artist, album, title, targetSize)) {
      writeLine("Artwork found for " + title + " in " + candidate->file.filename().string());
      return artwork;
    }
  }
  return nullptr;
}

void LibraryArtworkSearch::writeLine(const std::string& line) { log_ << line << '\n' << std::flush; }

}  // namespace sonvetta
