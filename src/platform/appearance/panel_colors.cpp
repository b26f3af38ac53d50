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

// `color` taken `share` (0 to 1) of the way to `target`.
QColor towards(QColor color, QColor target, double share) {
  const auto mix = [share](int from, int to) { return static_cast<int>(std::lround(from + (to - from) * share)); };
  return QColor(mix(color.red(), target.red()), mix(color.green(), target.green()), mix(color.blue(), target.blue()));
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

StripColors colorsBeside(QColor panel, const StripColors& light, const StripColors& dark) {
  panel.setAlpha(255);
  const bool darkPanel = contrastRatio(panel, dark.text) > contrastRatio(panel, light.text);
  const StripColors& palette = darkPanel ? dark : light;
  const double needed = contrastRatio(palette.background, palette.text);
  const QColor extreme = darkPanel ? QColor(Qt::black) : QColor(Qt::white);
  if (contrastRatio(panel, palette.text) >= needed) return {panel, palette.text};
  // The least step towards black or white that gives the contrast, found by
  // halving: contrast grows steadily along the way.
  double enough = 1.0;
  double tooLittle = 0.0;
  for (int step = 0; step < 16; ++step) {
    const double middle = (enough + tooLittle) / 2;
    (contrastRatio(towards(panel, extreme, middle), palette.text) >= needed ? enough : tooLittle) = middle;
  }
  return {towards(panel, extreme, enough), palette.text};
}

}  // namespace platform
