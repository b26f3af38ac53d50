#pragma once

#include <QFont>

#include "platform/text/font.h"

namespace platform {

// The toolkit font for `font`, for code that measures or draws with Qt.
// Needs a QGuiApplication.
QFont qtFont(const Font& font);

}  // namespace platform
