#pragma once

#include <QTimer>
#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/artwork/artwork_search.h"
#include "app/artwork/library_mirror.h"
#include "platform/files/folder_watch.h"

namespace sonvetta {

// Looks for the track in the music library folders under the home folder, in
// this order:
//   ~/Music/Media.localized/Music
//   ~/Music/iTunes/iTunes Media/Music
//   ~/Music/Music
// and returns the artwork of the first audio file (mp3, m4a, aac, flac, wav;
// in any letter case) that is the track and holds a picture.
//
// Each folder is searched through its mirror (LibraryMirror): what a search
// walks it keeps, watched from then on, so the next search takes from memory
// whatever the kernel's notes vouch for, and walks only the rest. The file it
// returns the artwork of is read afresh, and the result and the lines
// written are those of reading every file in turn.
//
// Writes its progress, one flushed line at a time, so that whoever reads the
// log sees where a long search is.
class LibraryArtworkSearch final : public ArtworkSearch {
 public:
  LibraryArtworkSearch(std::ostream& log, std::filesystem::path homeFolder, LibraryAccess access = {});

  // Walks each library folder that no search has walked through yet into
  // its mirror, so that the first search after start-up costs no more than
  // later ones: in slices of a few milliseconds on this thread's event loop,
  // its files read at idle priority. A search that comes meanwhile goes on
  // from what it has kept, at normal priority, and the warm-up after it.
  // Writes nothing and changes no result.
  void warmUp();
  bool warmingUp() const { return slices_.isActive(); }

  platform::ImageRef findArtworkInMusicLibrary(const std::string& artist, const std::string& album,
                                               const std::string& title, double targetSize) override;

 private:
  struct Root {
    std::filesystem::path folder;
    std::unique_ptr<LibraryMirror> mirror;
  };

  void warmASlice();
  platform::ImageRef search(LibraryMirror& mirror, const std::string& artist, const std::string& album,
                            const std::string& title, double targetSize);
  void writeLine(const std::string& line);

  std::ostream& log_;
  std::shared_ptr<const LibraryAccess> access_;
  std::shared_ptr<platform::WatchBudget> budget_;
  std::array<Root, 3> roots_;
  QTimer slices_;
  std::size_t warming_ = 0;  // the root the warm-up is at
  std::chrono::milliseconds pause_{0};  // before its next slice
};

}  // namespace sonvetta
