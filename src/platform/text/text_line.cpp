#include "platform/text/text_line.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

// Long enough that an ordinary track line is one run, short enough that
// shaping the one or two runs in sight is cheap on every frame.
constexpr std::size_t maxRunBytes = 256;

// Walks forwards only: ICU caches what it has found ahead, whereas looking
// backwards from each limit rescans the text and makes a long line quadratic.
std::size_t lastBoundaryWithin(icu::BreakIterator& iterator, std::size_t begin, std::size_t limit) {
  std::size_t last = begin;
  for (int32_t boundary = iterator.following(static_cast<int32_t>(begin));
       boundary != icu::BreakIterator::DONE && static_cast<std::size_t>(boundary) <= limit; boundary = iterator.next()) {
    last = static_cast<std::size_t>(boundary);
  }
  return last;
}

// Finds where to end each run: preferably at a line-break opportunity, so
// that no word is shaped in two pieces, else between two characters as the
// reader sees them, and only for absurdly long clusters between code points.
class RunCutter {
 public:
  explicit RunCutter(std::string_view text) : text_(text) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUTF8(&utext_, text.data(), static_cast<int64_t>(text.size()), &status);
    words_.reset(icu::BreakIterator::createLineInstance(icu::Locale::getRoot(), status));
    characters_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
      words_.reset();
      characters_.reset();
      return;
    }
    words_->setText(&utext_, status);
    characters_->setText(&utext_, status);
  }

  ~RunCutter() { utext_close(&utext_); }
  RunCutter(const RunCutter&) = delete;
  RunCutter& operator=(const RunCutter&) = delete;

  // The end of the run that starts at `begin`.
  std::size_t endOfRunFrom(std::size_t begin) const {
    const std::size_t limit = begin + maxRunBytes;
    if (limit >= text_.size()) return text_.size();
    for (icu::BreakIterator* iterator : {words_.get(), characters_.get()}) {
      if (iterator == nullptr) break;
      const std::size_t boundary = lastBoundaryWithin(*iterator, begin, limit);
      if (boundary > begin) return boundary;
    }
    std::size_t end = limit;
    while (end > begin + 1 && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) --end;
    return end;
  }

 private:
  std::string_view text_;
  UText utext_ = UTEXT_INITIALIZER;
  std::unique_ptr<icu::BreakIterator> words_;
  std::unique_ptr<icu::BreakIterator> characters_;
};

}  // namespace

TextLine::TextLine(std::string_view text, const Font& font, const TextMeasurer& measurer) {
  if (text.size() <= maxRunBytes) {
    size_ = measurer.measure(text, font);
    runs_.push_back({0, text.size(), 0.0, size_.width});
    return;
  }
  const RunCutter cutter(text);
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = cutter.endOfRunFrom(begin);
    const Size runSize = measurer.measure(text.substr(begin, end - begin), font);
    runs_.push_back({begin, end - begin, size_.width, runSize.width});
    size_.width += runSize.width;
    size_.height = std::max(size_.height, runSize.height);
    begin = end;
  }
}

std::span<const TextLine::Run> TextLine::runsBetween(double left, double right) const {
  const auto first = std::partition_point(runs_.begin(), runs_.end(),
                                          [left](const Run& run) { return run.x + run.width < left; });
  const auto last = std::partition_point(first, runs_.end(), [right](const Run& run) { return run.x <= right; });
  return {first, last};
}

}  // namespace platform
