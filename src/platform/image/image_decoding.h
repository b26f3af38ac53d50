#pragma once

#include <cstddef>
#include <span>

#include "platform/image/image.h"

namespace platform {

// The picture the bytes hold, in any format Qt's image readers know (JPEG,
// PNG, GIF, BMP, WebP, TIFF among them), one pixel a point; none when the
// bytes hold no picture, or one that would take more than 128 MiB decoded.
// A large JPEG is decoded at a half, a quarter or an eighth of its size; one
// that would take too long or too much memory to decode is refused.
ImageRef decodeImage(std::span<const std::byte> bytes);

}  // namespace platform
