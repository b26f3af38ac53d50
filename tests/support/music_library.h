#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tagged_audio.h"

namespace sonvetta::testdata {

// A music library as the application searches it, in a home folder:
// ~/Music/Music/ARTIST/ALBUM/NN TITLE.mp3 (or .m4a, ...), each track tagged, with its
// picture where it has one, and `seconds` of silence for players to play
// (mp3, m4a and flac).
class MusicLibrary {
 public:
  struct Track {
    std::string artist;  // "\0" between several, which the folder's name joins by a space
    std::string album;
    std::string title;
    std::optional<std::string> picture = std::nullopt;
    AudioFormat format = AudioFormat::mp3ID3v24;
    bool tagged = true;
  };

  MusicLibrary& add(Track track);
  // Silence after each track's tag, for players to play.
  MusicLibrary& playable(int seconds);
  // The library in ~/Music itself, linked as ~/Music/Music, as the README
  // tells Linux users.
  MusicLibrary& linkedAsMusicMusic();

  // The tracks' files in `home`, in the order added.
  std::vector<std::filesystem::path> writeInto(const std::filesystem::path& home) const;

 private:
  std::vector<Track> tracks_;
  int seconds_ = 0;
  bool linked_ = false;
};

}  // namespace sonvetta::testdata
