#pragma once

#include <algorithm>

#include "platform/text/text_measurer.h"

namespace platform {

// Every character (code point) has the same width and every line the same
// height, whatever the font: layouts that do not depend on the fonts
// installed.
class FixedTextMeasurer final : public TextMeasurer {
 public:
  FixedTextMeasurer(double characterWidth, double lineHeight)
      : characterWidth_(characterWidth), lineHeight_(lineHeight) {}

  Size measure(std::string_view text, const Font&) const override {
    const auto isLeadByte = [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; };
    const auto characters = std::count_if(text.begin(), text.end(), isLeadByte);
    return {characterWidth_ * static_cast<double>(characters), lineHeight_};
  }

 private:
  double characterWidth_;
  double lineHeight_;
};

}  // namespace platform
