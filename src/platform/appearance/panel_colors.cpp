#include "platform/appearance/panel_colors.h"

#include <cmath>
#include <unordered_map>

namespace platform {
namespace {

double channelLuminance(int value) {
  const double c = value / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(QColor color) {
  return 0.2126 * channelLuminance(color.red()) + 0.7152 * channelLuminance(color.green()) +
         0.0722 * channelLuminance(color.blue());
}

}  // namespace

double contrastRatio(QColor first, QColor second) {
  const double a = luminance(first);
  const double b = luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

std::optional<QColor> plainColorOf(const QImage& sample) {
  if (sample.isNull()) return std::nullopt;
  const QImage pixels = sample.convertToFormat(QImage::Format_RGB32);
  std::unordered_map<QRgb, qsizetype> counts;
  for (int y = 0; y < pixels.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int x = 0; x < pixels.width(); ++x) ++counts[row[x]];
  }
  const qsizetype half = (static_cast<qsizetype>(pixels.width()) * pixels.height() + 1) / 2;
  for (const auto& [rgb, count] : counts) {
    if (count >= half) return QColor(rgb);
  }
  return std::nullopt;
}

std::optional<QColor> panelColorIn(const QImage& band, const QRect& columns) {
  if (const std::optional<QColor> beside = plainColorOf(band.copy(columns))) return beside;
  return plainColorOf(band);
}

std::optional<QColor> translucentPanelColor(std::optional<QColor> onScreen, std::optional<QColor> asDrawn,
                                            std::optional<QColor> theme) {
  const bool shownAsDrawn = onScreen && asDrawn && onScreen->rgb() == asDrawn->rgb();
  return shownAsDrawn || !theme ? onScreen : theme;
}

StripColors colorsBeside(QColor panel, const StripColors& light, const StripColors& dark) {
  panel.setAlpha(255);
  const bool darkPanel = contrastRatio(panel, dark.text) > contrastRatio(panel, light.text);
  const QColor text = darkPanel ? dark.text : light.text;
  if (contrastRatio(panel, text) >= readableContrast) return {panel, text};
  const QColor black(Qt::black);
  const QColor white(Qt::white);
  return {panel, contrastRatio(panel, black) >= contrastRatio(panel, white) ? black : white};
}

}  // namespace platform
