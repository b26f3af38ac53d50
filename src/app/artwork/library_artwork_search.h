#pragma once

#include <sys/types.h>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>

#include "app/artwork/artwork_search.h"
#include "app/artwork/library_mirror.h"
#include "app/artwork/tag_memo.h"
#include "platform/files/folder_watch.h"
#include "platform/files/idle_work.h"

namespace sonvetta {

// Looks for the track in the music library folders under the home folder, in
// this order:
//   ~/Music/Media.localized/Music
//   ~/Music/iTunes/iTunes Media/Music
//   ~/Music/Music
// and returns the artwork of the first audio file (mp3, m4a, aac, flac, wav;
// in any letter case) that is the track and holds a picture.
//
// Once warmed up, it searches each folder from its memory of it, which the
// kernel's notes of changes keep true (LibraryMirror); where that memory
// cannot promise what a walk would see, it walks the folder anew, and what
// each file's tags said is remembered for as long as the file stays
// unchanged, so that only new and changed files are read again; those are
// read on the machine's other cores a little ahead of the walk. Either way
// the file it returns the artwork of is read afresh, and the result and the
// lines written are those of reading every file in turn.
//
// Writes its progress, one flushed line at a time, so that whoever reads the
// log sees where a long search is.
class LibraryArtworkSearch final : public ArtworkSearch {
 public:
  // `typeOf` tells the type of the file system a folder is on.
  LibraryArtworkSearch(std::ostream& log, std::filesystem::path homeFolder,
                       platform::FileSystemTypeOf typeOf = platform::fileSystemType);

  // Fills the memory of the library folders on the machine's other cores, at
  // idle priority, so that the first search after start-up costs no more
  // than later ones, and keeps it filled from then on. Never delays a search,
  // writes nothing and changes no result.
  void warmUp();

  // How many of the folders a search would now take from memory, once their
  // warm-up has come back; none while it is still at work.
  int foldersInMemory();

  platform::ImageRef findArtworkInMusicLibrary(const std::string& artist, const std::string& album,
                                               const std::string& title, double targetSize) override;

 private:
  struct Built {
    std::unique_ptr<LibraryMirror> mirror;
    LibraryMirror::Refusal refusal;
  };
  struct Root {
    std::filesystem::path folder;
    std::unique_ptr<LibraryMirror> mirror;
    std::unique_ptr<platform::IdleWork<Built>> building;
    // What the root was when a mirror was refused for good: tried again only
    // once it is something else.
    std::optional<std::optional<std::pair<dev_t, ino_t>>> refusedFor;
  };

  static std::optional<std::pair<dev_t, ino_t>> identity(const std::filesystem::path& folder);
  void takeBuilt(Root& root);
  void startBuilding(Root& root);
  platform::ImageRef searchMirror(LibraryMirror& mirror, const std::string& artist, const std::string& album,
                                  const std::string& title, double targetSize);
  platform::ImageRef walk(const std::filesystem::path& root, const std::string& artist, const std::string& album,
                          const std::string& title, double targetSize);
  void writeLine(const std::string& line);

  std::ostream& log_;
  platform::FileSystemTypeOf typeOf_;
  std::array<Root, 3> roots_;
  bool warm_ = false;
  TagMemo memo_;
};

}  // namespace sonvetta
