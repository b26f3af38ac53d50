#pragma once

#include <cstddef>
#include <optional>
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
// The runs of a longer line stand in the visual order of the whole line as
// one left-to-right paragraph: each run is of one direction, and the runs of
// a right-to-left stretch stand from right to left.
class TextLine {
 public:
  struct Run {
    std::size_t begin;   // byte offset into the text
    std::size_t length;  // in bytes
    double x;            // from the left end of the line
    double width;
    // Of a long line's run, its direction in the paragraph; none for a line
    // short enough to be one run, shaped by the toolkit's own rules.
    std::optional<bool> rightToLeft;
  };

  TextLine(std::string_view text, const Font& font, const TextMeasurer& measurer);

  Size size() const { return size_; }

  // The runs that reach into the horizontal range [left, right].
  std::span<const Run> runsBetween(double left, double right) const;

 private:
  void addRun(std::size_t begin, std::size_t end, bool rightToLeft, std::string_view text, const Font& font,
              const TextMeasurer& measurer);

  std::vector<Run> runs_;
  Size size_;
};

}  // namespace platform
