#pragma once

#include <filesystem>
#include <ostream>

#include "app/artwork/artwork_search.h"
#include "app/artwork/tag_memo.h"

namespace sonvetta {

// Looks for the track in the music library folders under the home folder, in
// this order:
//   ~/Music/Media.localized/Music
//   ~/Music/iTunes/iTunes Media/Music
//   ~/Music/Music
// and returns the artwork of the first audio file (mp3, m4a, aac, flac, wav;
// in any letter case) that is the track and holds a picture.
//
// Every call walks the folders anew, and the file it returns the artwork of
// is read afresh. What each file's tags said is remembered, in memory, for as
// long as the file stays unchanged, so that only new and changed files are
// read again to rule them out; those are read on the machine's other cores a
// little ahead of the walk. Either way the result and the lines written are
// those of reading every file in turn.
//
// Writes its progress, one flushed line at a time, so that whoever reads the
// log sees where a long search is.
class LibraryArtworkSearch final : public ArtworkSearch {
 public:
  LibraryArtworkSearch(std::ostream& log, std::filesystem::path homeFolder);

  platform::ImageRef findArtworkInMusicLibrary(const std::string& artist, const std::string& album,
                                               const std::string& title, double targetSize) override;

 private:
  void writeLine(const std::string& line);

  std::ostream& log_;
  std::filesystem::path homeFolder_;
  TagMemo memo_;
};

}  // namespace sonvetta
