#include "app/artwork/library_artwork_search.h"

#include "app/artwork/artwork_extraction.h"

namespace sonvetta {

namespace fs = std::filesystem;

LibraryArtworkSearch::LibraryArtworkSearch(std::ostream& log, fs::path homeFolder, LibraryAccess access)
    : log_(log),
      access_(std::make_shared<const LibraryAccess>(std::move(access))),
      budget_(std::make_shared<platform::WatchBudget>(access_->watches)),
      roots_{Root{homeFolder / "Music" / "Media.localized" / "Music", {}, {}},
             Root{homeFolder / "Music" / "iTunes" / "iTunes Media" / "Music", {}, {}},
             Root{homeFolder / "Music" / "Music", {}, {}}} {}

void LibraryArtworkSearch::warmUp() {
  for (Root& root : roots_) {
    if (root.warming || (root.mirror && root.mirror->walkedThrough())) continue;
    root.warming = std::make_unique<platform::IdleWork<std::unique_ptr<LibraryMirror>>>(
        [folder = root.folder, access = access_, budget = budget_](const std::atomic<bool>& abandoned) {
          auto mirror = std::make_unique<LibraryMirror>(folder, access, budget);
          mirror->fillWhole(abandoned);
          return mirror;
        });
  }
}

// A mirror warmed up whole replaces one that searches have walked only in part.
void LibraryArtworkSearch::takeWarmed(Root& root) {
  if (!root.warming || !root.warming->finished()) return;
  std::optional<std::unique_ptr<LibraryMirror>> warmed = root.warming->take();
  root.warming.reset();
  if (warmed && *warmed && (*warmed)->walkedThrough() && !(root.mirror && root.mirror->walkedThrough())) {
    root.mirror = std::move(*warmed);
  }
}

platform::ImageRef LibraryArtworkSearch::findArtworkInMusicLibrary(const std::string& artist,
                                                                   const std::string& album,
                                                                   const std::string& title, double targetSize) {
  writeLine("Attempting to find artwork in local Music library...");
  for (Root& root : roots_) {
    std::error_code error;
    if (!fs::exists(root.folder, error)) {
      writeLine("Music library path not found: " + root.folder.string());
      root.mirror.reset();
      continue;
    }
    writeLine("Searching in: " + root.folder.string());

    takeWarmed(root);
    if (root.mirror && !root.mirror->catchUp()) root.mirror.reset();
    if (!root.mirror) root.mirror = std::make_unique<LibraryMirror>(root.folder, access_, budget_);
    platform::ImageRef artwork = search(*root.mirror, artist, album, title, targetSize);
    // Nothing left for the warm-up to fill in.
    if (root.mirror->walkedThrough()) root.warming.reset();
    if (artwork) return artwork;
  }
  writeLine("No matching artwork found in local Music library.");
  return nullptr;
}

platform::ImageRef LibraryArtworkSearch::search(LibraryMirror& mirror, const std::string& artist,
                                                const std::string& album, const std::string& title,
                                                double targetSize) {
  const WantedTrack wanted(artist, album, title);
  platform::ImageRef artwork;
  mirror.search([&](const std::string& file, std::optional<TrackFingerprint> fingerprint) {
    if (fingerprint && !wanted.admits(*fingerprint)) return false;
    // Read afresh: the fingerprint only says that the file may be the track.
    artwork = extractArtwork(file, artist, album, title, targetSize);
    if (artwork) writeLine("Artwork found for " + title + " in " + fs::path(file).filename().string());
    return artwork != nullptr;
  });
  return artwork;
}

void LibraryArtworkSearch::writeLine(const std::string& line) { log_ << line << '\n' << std::flush; }

}  // namespace sonvetta
