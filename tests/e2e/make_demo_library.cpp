// sonvetta-demo-library HOME: puts a small music library, tagged files with
// cover pictures, into HOME/Music/Music, for the demo run.
#include <QGuiApplication>
#include <cstdio>
#include <filesystem>

#include "tagged_audio.h"

int main(int argc, char* argv[]) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: sonvetta-demo-library HOME\n");
    return 2;
  }
  using namespace sonvetta::testdata;
  const auto album = std::filesystem::path(argv[1]) / "Music" / "Music" / "Demo Band" / "Hues";
  std::filesystem::create_directories(album);
  writeTaggedAudio(album / "01 Primary.mp3", AudioFormat::mp3ID3v24,
                   trackTags("Demo Band", "Hues", "Primary", encodedPicture(500, 500, "JPEG")));
  writeTaggedAudio(album / "02 Red.m4a", AudioFormat::m4a,
                   trackTags("Demo Band", "Hues", "Red", solidPicture("red", "PNG")));
  writeTaggedAudio(album / "03 Blue.flac", AudioFormat::flac,
                   trackTags("Demo Band", "Hues", "Blue", solidPicture("blue", "JPEG")));
  return 0;
}
