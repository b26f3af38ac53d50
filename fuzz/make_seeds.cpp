// sonvetta-fuzz-seeds FOLDER: writes the first inputs of every fuzzing target,
// made by the tests' own writers: small valid files into FOLDER/seeds/TARGET,
// and the hostile files that once crashed or stalled Sonvetta into
// FOLDER/regressions/TARGET.
#include <QByteArray>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "hostile_files.h"
#include "tagged_audio.h"

namespace {

namespace fs = std::filesystem;
using namespace sonvetta::testdata;

void writeInput(const fs::path& folder, const std::string& name, const std::string& content) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
}

// One of each format Qt reads; Qt writes no GIF, so that one is spelled out.
std::vector<std::pair<std::string, std::string>> pictures() {
  return {{"png", encodedPicture(24, 16, "PNG")},
          {"jpeg", encodedPicture(24, 16, "JPEG")},
          {"progressive-jpeg", progressiveJpeg(24, 16)},
          {"bmp", encodedPicture(8, 8, "BMP")},
          {"webp", encodedPicture(24, 16, "WEBP")},
          {"tiff", encodedPicture(8, 8, "TIFF")},
          {"gif", QByteArray::fromBase64("R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw==").toStdString()}};
}

struct ArtworkTarget {
  const char* extension;
  std::vector<AudioFormat> formats;
};

const ArtworkTarget kArtworkTargets[] = {{"mp3", {AudioFormat::mp3ID3v23, AudioFormat::mp3ID3v24, AudioFormat::mp3ID3v1}},
                                         {"m4a", {AudioFormat::m4a}},
                                         {"aac", {AudioFormat::aac}},
                                         {"flac", {AudioFormat::flac}},
                                         {"wav", {AudioFormat::wavID3v2, AudioFormat::wavInfo}}};

// A file of each format the extension stands for, tagged with the fuzzed
// track and each of the pictures.
void writeArtworkSeeds(const fs::path& folder, const ArtworkTarget& target) {
  const fs::path seeds = folder / "seeds" / (std::string("artwork_") + target.extension);
  fs::create_directories(seeds);
  int count = 0;
  for (const AudioFormat format : target.formats) {
    for (const auto& [name, picture] : pictures()) {
      const fs::path file = seeds / (std::to_string(++count) + "-" + name + "." + target.extension);
      writeTaggedAudio(file, format,
                       trackTags(sonvetta::fuzzing::kArtist, sonvetta::fuzzing::kAlbum, sonvetta::fuzzing::kTitle, picture));
    }
  }
}

void writeRegressions(const fs::path& folder) {
  const fs::path regressions = folder / "regressions";
  writeInput(regressions / "artwork_m4a", "overflowing-atom.m4a", mp4WithOverflowingAtom());
  writeInput(regressions / "artwork_m4a", "overflowing-atom-in-container.m4a", mp4WithOverflowingAtomInContainer());
  writeInput(regressions / "artwork_m4a", "deeply-nested.m4a", mp4WithNestedAtoms(100'000));
  const std::string chapters = id3v2WithNestedChapters(50'000);
  const std::string compressed = id3v2WithCompressedPicture(sonvetta::fuzzing::kArtist, sonvetta::fuzzing::kAlbum,
                                                            sonvetta::fuzzing::kTitle, 1 << 26);
  for (const char* extension : {"mp3", "aac"}) {
    writeInput(regressions / (std::string("artwork_") + extension), std::string("nested-chapters.") + extension, chapters);
    writeInput(regressions / (std::string("artwork_") + extension), std::string("compressed-picture.") + extension,
               compressed);
  }
  const std::string scanHeavy = jpegWithEmptyScans(4096, 2000);
  writeInput(regressions / "picture", "scan-heavy.jpeg", scanHeavy);
  const fs::path scanHeavyCover = regressions / "artwork_mp3" / "scan-heavy-cover.mp3";
  fs::create_directories(scanHeavyCover.parent_path());
  writeTaggedAudio(scanHeavyCover, AudioFormat::mp3ID3v24,
                   trackTags(sonvetta::fuzzing::kArtist, sonvetta::fuzzing::kAlbum, sonvetta::fuzzing::kTitle, scanHeavy));
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sonvetta-fuzz-seeds FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];
  for (const ArtworkTarget& target : kArtworkTargets) writeArtworkSeeds(folder, target);
  for (const auto& [name, picture] : pictures()) writeInput(folder / "seeds" / "picture", name, picture);
  // Several atoms of one name, as appending taggers write them.
  writeInput(folder / "seeds" / "artwork_m4a", "repeated-items.m4a",
             mp4WithRepeatedItems(encodedPicture(24, 16, "PNG"), encodedPicture(24, 16, "JPEG")));
  writeRegressions(folder);
  return 0;
}
