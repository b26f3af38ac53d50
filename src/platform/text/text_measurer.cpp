#include "platform/text/text_measurer.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include "platform/text/qt_font.h"

namespace platform {

Size QtTextMeasurer::measure(std::string_view text, const Font& font) const {
  if (qGuiApp == nullptr) return {};
  const QFontMetricsF metrics(qtFont(font));
  const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return {metrics.horizontalAdvance(string), metrics.height()};
}

}  // namespace platform
