#include "music_library.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace sonvetta::testdata {

namespace {

const char* extension(AudioFormat format) {
  switch (format) {
    case AudioFormat::m4a: return ".m4a";
    case AudioFormat::flac: return ".flac";
    case AudioFormat::wavID3v2:
    case AudioFormat::wavInfo: return ".wav";
    case AudioFormat::aac: return ".aac";
    case AudioFormat::mp3ID3v23:
    case AudioFormat::mp3ID3v24:
    case AudioFormat::mp3ID3v1: break;
  }
  return ".mp3";
}

}  // namespace

MusicLibrary& MusicLibrary::add(Track track) {
  tracks_.push_back(std::move(track));
  return *this;
}

MusicLibrary& MusicLibrary::playable(int seconds) {
  seconds_ = seconds;
  return *this;
}

MusicLibrary& MusicLibrary::linkedAsMusicMusic() {
  linked_ = true;
  return *this;
}

std::vector<std::filesystem::path> MusicLibrary::writeInto(const std::filesystem::path& home) const {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path root = linked_ ? home / "Music" : home / "Music" / "Music";
  if (linked_ && !tracks_.empty()) {
    std::filesystem::create_directories(root);
    std::filesystem::create_directory_symlink(root, root / "Music");
  }
  for (const Track& track : tracks_) {
    std::string artist = track.artist;
    std::ranges::replace(artist, '\0', ' ');
    const std::filesystem::path album = root / artist / track.album;
    std::filesystem::create_directories(album);
    char number[8];
    std::snprintf(number, sizeof number, "%02zu ", files.size() + 1);
    const std::filesystem::path file = album / (number + track.title + extension(track.format));
    if (track.tagged) {
      writePlayableAudio(file, track.format, trackTags(track.artist, track.album, track.title, track.picture),
                         seconds_);
    } else {
      std::ofstream(file, std::ios::binary) << mpegSilence(seconds_);
    }
    files.push_back(file);
  }
  return files;
}

}  // namespace sonvetta::testdata
