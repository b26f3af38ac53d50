#include "app/artwork/library_artwork_search.h"

#include <algorithm>

#include "app/artwork/artwork_extraction.h"

namespace sonvetta {

namespace fs = std::filesystem;

LibraryArtworkSearch::LibraryArtworkSearch(std::ostream& log, fs::path homeFolder, LibraryAccess access)
    : log_(log),
      access_(std::make_shared<const LibraryAccess>(std::move(access))),
      budget_(std::make_shared<platform::WatchBudget>(access_->watches)),
      roots_{Root{homeFolder / "Music" / "Media.localized" / "Music", {}},
             Root{homeFolder / "Music" / "iTunes" / "iTunes Media" / "Music", {}},
             Root{homeFolder / "Music" / "Music", {}}} {
  slices_.setSingleShot(true);
  QObject::connect(&slices_, &QTimer::timeout, [this] { warmASlice(); });
}

void LibraryArtworkSearch::warmUp() {
  warming_ = 0;
  slices_.start(0);
}

// A slice short enough that the event loop goes on as if nothing ran; pauses
// that grow while the reads at idle priority get nowhere, as on a machine
// kept busy, so that waiting for them costs nothing.
void LibraryArtworkSearch::warmASlice() {
  constexpr std::chrono::milliseconds kSlice{5};
  constexpr std::chrono::milliseconds kLongestPause{64};
  for (; warming_ < roots_.size(); ++warming_) {
    Root& root = roots_[warming_];
    std::error_code error;
    if (root.mirror && root.mirror->walkedThrough()) continue;
    if (!fs::is_directory(root.folder, error)) continue;
    if (!root.mirror) root.mirror = std::make_unique<LibraryMirror>(root.folder, access_, budget_);
    switch (root.mirror->warm(std::chrono::steady_clock::now() + kSlice)) {
      case LibraryMirror::Warming::walkedThrough:
        continue;
      case LibraryMirror::Warming::going:
        pause_ = std::chrono::milliseconds(1);
        break;
      case LibraryMirror::Warming::stalled:
        pause_ = std::min(kLongestPause, std::max(pause_ * 2, std::chrono::milliseconds(1)));
        break;
    }
    slices_.start(pause_);
    return;
  }
  slices_.stop();
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

    if (root.mirror && !root.mirror->catchUp()) root.mirror.reset();
    if (!root.mirror) root.mirror = std::make_unique<LibraryMirror>(root.folder, access_, budget_);
    platform::ImageRef artwork = search(*root.mirror, artist, album, title, targetSize);
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
