#include "platform/image/jpeg_layout.h"

#include <algorithm>

namespace platform {

namespace {

constexpr std::byte kMarkerPrefix{0xFF};

class MarkerReader {
 public:
  explicit MarkerReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

  std::uint8_t byte(std::size_t at) const { return std::to_integer<std::uint8_t>(bytes_[at]); }
  int twoBytes(std::size_t at) const { return byte(at) << 8 | byte(at + 1); }
  bool holds(std::size_t at, std::size_t count) const { return at <= bytes_.size() && count <= bytes_.size() - at; }

  // The next marker code at or after `position`, which moves past it; any
  // bytes before the marker (entropy-coded data, garbage) are passed over.
  std::optional<std::uint8_t> nextMarker(std::size_t& position) const {
    const auto prefix = std::find(bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(position, bytes_.size())),
                                  bytes_.end(), kMarkerPrefix);
    position = static_cast<std::size_t>(prefix - bytes_.begin());
    while (position < bytes_.size() && bytes_[position] == kMarkerPrefix) ++position;  // fill bytes
    if (position == bytes_.size()) return std::nullopt;
    return byte(position++);
  }

 private:
  std::span<const std::byte> bytes_;
};

bool isFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers without a length: a zero byte after 0xFF in entropy-coded data,
// the restart markers, and TEM.
bool standsAlone(std::uint8_t marker) { return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

std::int64_t divideRoundingUp(std::int64_t value, std::int64_t divisor) { return (value + divisor - 1) / divisor; }

// libjpeg keeps each component's blocks in whole multiples of its sampling
// factors, 64 coefficients of two bytes each.
std::int64_t coefficientBytes(const MarkerReader& reader, std::size_t frame, int componentCount) {
  const std::int64_t height = reader.twoBytes(frame + 1);
  const std::int64_t width = reader.twoBytes(frame + 3);
  int maxHorizontal = 1;
  int maxVertical = 1;
  for (int component = 0; component < componentCount; ++component) {
    const std::uint8_t sampling = reader.byte(frame + 7 + 3 * component);
    maxHorizontal = std::max(maxHorizontal, sampling >> 4);
    maxVertical = std::max(maxVertical, sampling & 0x0F);
  }
  std::int64_t bytes = 0;
  for (int component = 0; component < componentCount; ++component) {
    const std::uint8_t sampling = reader.byte(frame + 7 + 3 * component);
    const int horizontal = std::max(1, sampling >> 4);
    const int vertical = std::max(1, sampling & 0x0F);
    const std::int64_t columns = divideRoundingUp(divideRoundingUp(width * horizontal, 8 * maxHorizontal), horizontal);
    const std::int64_t rows = divideRoundingUp(divideRoundingUp(height * vertical, 8 * maxVertical), vertical);
    bytes += columns * horizontal * rows * vertical * 64 * 2;
  }
  return bytes;
}

}  // namespace

std::optional<JpegLayout> readJpegLayout(std::span<const std::byte> bytes) {
  const MarkerReader reader(bytes);
  if (!reader.holds(0, 2) || reader.twoBytes(0) != 0xFFD8) return std::nullopt;

  JpegLayout layout;
  bool frameSeen = false;
  std::size_t position = 2;
  while (const std::optional<std::uint8_t> marker = reader.nextMarker(position)) {
    if (*marker == 0xD9) break;  // end of picture
    if (standsAlone(*marker)) continue;
    if (!reader.holds(position, 2)) break;
    const int length = reader.twoBytes(position);
    if (*marker == 0xDA) ++layout.scanCount;
    if (isFrameHeader(*marker) && !frameSeen && reader.holds(position, 8)) {
      frameSeen = true;
      const int componentCount = reader.byte(position + 7);
      if (reader.holds(position + 8, 3 * static_cast<std::size_t>(componentCount))) {
        layout.coefficientBytes = coefficientBytes(reader, position + 2, componentCount);
      }
    }
    position += static_cast<std::size_t>(std::max(length, 2));
  }
  return layout;
}

}  // namespace platform
