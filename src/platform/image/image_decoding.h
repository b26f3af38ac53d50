#pragma once

#include <cstddef>
#include <span>

#include "platform/image/image.h"

namespace platform {

// The picture the bytes hold, in any format Qt's image readers know (JPEG,
// PNG, GIF, BMP, WebP, TIFF among them), one pixel a point; none when the
// bytes hold no picture, or one too large to be worth holding in memory.
ImageRef decodeImage(std::span<const std::byte> bytes);

}  // namespace platform
