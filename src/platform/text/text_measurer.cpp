#include "platform/text/text_measurer.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>

#include "platform/text/qt_font.h"

namespace platform {

namespace {

class QtTextMeasurer final : public TextMeasurer {
 public:
  Size measure(std::string_view text, const Font& font) const override {
    if (qGuiApp == nullptr) return {};
    const QFontMetricsF metrics(qtFont(font));
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return {metrics.horizontalAdvance(string), metrics.height()};
  }
};

const QtTextMeasurer qtTextMeasurer;
const TextMeasurer* current = &qtTextMeasurer;

}  // namespace

const TextMeasurer& currentTextMeasurer() { return *current; }

ScopedTextMeasurer::ScopedTextMeasurer(const TextMeasurer& measurer) : previous_(current) {
  current = &measurer;
}

ScopedTextMeasurer::~ScopedTextMeasurer() { current = previous_; }

Size FixedTextMeasurer::measure(std::string_view text, const Font&) const {
  const auto isLeadByte = [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; };
  const auto characters = std::count_if(text.begin(), text.end(), isLeadByte);
  return {characterWidth_ * static_cast<double>(characters), lineHeight_};
}

}  // namespace platform
