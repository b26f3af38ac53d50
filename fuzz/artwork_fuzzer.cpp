// One library file, its tags read and its artwork extracted. The bytes go to
// a file named with the extension this target is built for (AUDIO_EXTENSION),
// as the type of a file follows its extension.
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "app/artwork/artwork_extraction.h"
#include "fuzz_support.h"

namespace {

const std::filesystem::path& libraryFile() {
  static const QTemporaryDir folder;
  static const std::filesystem::path file = std::filesystem::path(folder.path().toStdString()) / ("track." AUDIO_EXTENSION);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sonvetta::fuzzing::silenceQtMessages();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(libraryFile(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  sonvetta::extractArtwork(libraryFile(), sonvetta::fuzzing::kArtist, sonvetta::fuzzing::kAlbum,
                           sonvetta::fuzzing::kTitle, 22);
  return 0;
}
