#pragma once

#include <string>

#include "platform/image/image.h"

namespace platform {

// The desktop's named symbol pictograms, drawn from vector data so that they
// stay crisp at any size and pixel density, in the colour of the text around
// them. Only the symbols the application uses are known; other names give
// nothing.
ImageRef systemSymbolImage(const std::string& name, const std::string& accessibilityDescription);

}  // namespace platform
