#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "platform/geometry.h"
#include "platform/text/font.h"
#include "platform/text/text_measurer.h"

namespace platform {

// One line of text cut into runs that are measured, and later drawn, each on
// its own, so that drawing a very long line costs only what is visible.
// Text of up to a few hundred bytes stays one run and so is shaped whole.
class TextLine {
 public:
  struct Run {
    std::size_t begin;   // byte offset into the text
    std::size_t length;  // in bytes
    double x;            // from the start of the line
    double width;
  };

  TextLine(std::string_view text, const Font& font, const TextMeasurer& measurer);

  Size size() const { return size_; }

  // The runs that reach into the horizontal range [left, right].
  std::span<const Run> runsBetween(double left, double right) const;

 private:
  std::vector<Run> runs_;
  Size size_;
};

}  // namespace platform
