#include "platform/text/qt_font.h"

#include <QFontDatabase>
#include <algorithm>
#include <cmath>

namespace platform {

QFont qtFont(const Font& font) {
  QFont result = font.family.empty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                                     : QFont(QString::fromStdString(font.family));
  // Points are logical pixels here, and Qt takes pixel sizes as whole numbers.
  result.setPixelSize(std::max(1, static_cast<int>(std::lround(font.size))));
  // Unhinted glyphs advance by the same logical width at every pixel density,
  // so a width measured without a device holds on a 1x and on a 2x screen.
  result.setHintingPreference(QFont::PreferNoHinting);
  return result;
}

}  // namespace platform
