#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// What the markers of a JPEG file tell about the work of decoding it, read
// without decoding anything.
struct JpegLayout {
  int scanCount = 0;
  // Of all DCT coefficients of the frame, which libjpeg holds at once while
  // it decodes a progressive or otherwise multi-scan file.
  std::int64_t coefficientBytes = 0;
};

// None unless the bytes begin as a JPEG file. Markers are followed as libjpeg
// follows them, up to the end of the picture or of the bytes.
std::optional<JpegLayout> readJpegLayout(std::span<const std::byte> bytes);

}  // namespace platform
