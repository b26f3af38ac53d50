#pragma once

#include <string>

#include "platform/image/image.h"

namespace sonvetta {

// Finds the artwork of a track, as a square of `targetSize` points, or nothing.
class ArtworkSearch {
 public:
  virtual ~ArtworkSearch() = default;

  virtual platform::ImageRef findArtworkInMusicLibrary(const std::string& artist, const std::string& album,
                                                       const std::string& title, double targetSize) = 0;
};

}  // namespace sonvetta
