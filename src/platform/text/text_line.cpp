#include "platform/text/text_line.h"

#include <unicode/brkiter.h>
#include <unicode/ubidi.h>
#include <unicode/unistr.h>
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

  // The end of the run that starts at `begin` and ends by `end`.
  std::size_t endOfRunFrom(std::size_t begin, std::size_t end) const {
    const std::size_t limit = begin + maxRunBytes;
    if (limit >= end) return end;
    for (icu::BreakIterator* iterator : {words_.get(), characters_.get()}) {
      if (iterator == nullptr) break;
      const std::size_t boundary = lastBoundaryWithin(*iterator, begin, limit);
      if (boundary > begin) return boundary;
    }
    std::size_t cut = limit;
    while (cut > begin + 1 && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) --cut;
    return cut;
  }

 private:
  std::string_view text_;
  UText utext_ = UTEXT_INITIALIZER;
  std::unique_ptr<icu::BreakIterator> words_;
  std::unique_ptr<icu::BreakIterator> characters_;
};

struct Stretch {
  std::size_t begin;
  std::size_t end;
  bool rightToLeft;
};

// The byte offset in `text` of each UTF-16 unit of it, and of its end.
std::vector<std::size_t> byteOffsetsOfUtf16Units(std::string_view text, std::size_t unitCount) {
  std::vector<std::size_t> offsets;
  offsets.reserve(unitCount + 1);
  for (std::size_t byte = 0; byte < text.size(); ++byte) {
    const auto lead = static_cast<unsigned char>(text[byte]);
    if ((lead & 0xC0) == 0x80) continue;
    offsets.push_back(byte);
    if ((lead & 0xF8) == 0xF0) offsets.push_back(byte);  // beyond the basic plane: two units
  }
  offsets.resize(unitCount, text.size());  // malformed bytes, which ICU replaced
  offsets.push_back(text.size());
  return offsets;
}

// The stretches of one direction of `text` as a left-to-right paragraph (the
// toolkit's direction, unless the application says otherwise), in visual
// order.
std::vector<Stretch> visualStretches(std::string_view text) {
  const icu::UnicodeString utf16 =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  const std::vector<std::size_t> offsets = byteOffsetsOfUtf16Units(text, static_cast<std::size_t>(utf16.length()));
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<UBiDi, decltype(&ubidi_close)> bidi(ubidi_openSized(utf16.length(), 0, &status), &ubidi_close);
  ubidi_setPara(bidi.get(), utf16.getBuffer(), utf16.length(), UBIDI_LTR, nullptr, &status);
  const int32_t count = ubidi_countRuns(bidi.get(), &status);
  if (U_FAILURE(status)) return {{0, text.size(), false}};

  std::vector<Stretch> stretches;
  for (int32_t run = 0; run < count; ++run) {
    int32_t start = 0;
    int32_t length = 0;
    const bool rightToLeft = ubidi_getVisualRun(bidi.get(), run, &start, &length) == UBIDI_RTL;
    stretches.push_back({offsets[static_cast<std::size_t>(start)], offsets[static_cast<std::size_t>(start + length)],
                         rightToLeft});
  }
  return stretches;
}

}  // namespace

TextLine::TextLine(std::string_view text, const Font& font, const TextMeasurer& measurer) {
  if (text.size() <= maxRunBytes) {
    size_ = measurer.measure(text, font);
    runs_.push_back({0, text.size(), 0.0, size_.width, std::nullopt});
    return;
  }
  const RunCutter cutter(text);
  for (const Stretch& stretch : visualStretches(text)) {
    std::vector<std::size_t> cuts = {stretch.begin};
    while (cuts.back() < stretch.end) cuts.push_back(cutter.endOfRunFrom(cuts.back(), stretch.end));
    if (stretch.rightToLeft) {
      for (std::size_t i = cuts.size() - 1; i > 0; --i) addRun(cuts[i - 1], cuts[i], true, text, font, measurer);
    } else {
      for (std::size_t i = 1; i < cuts.size(); ++i) addRun(cuts[i - 1], cuts[i], false, text, font, measurer);
    }
  }
}

void TextLine::addRun(std::size_t begin, std::size_t end, bool rightToLeft, std::string_view text, const Font& font,
                      const TextMeasurer& measurer) {
  const Size runSize = measurer.measure(text.substr(begin, end - begin), font);
  runs_.push_back({begin, end - begin, size_.width, runSize.width, rightToLeft});
  size_.width += runSize.width;
  size_.height = std::max(size_.height, runSize.height);
}

std::span<const TextLine::Run> TextLine::runsBetween(double left, double right) const {
  const auto first = std::partition_point(runs_.begin(), runs_.end(),
                                          [left](const Run& run) { return run.x + run.width < left; });
  const auto last = std::partition_point(first, runs_.end(), [right](const Run& run) { return run.x <= right; });
  return {first, last};
}

}  // namespace platform
