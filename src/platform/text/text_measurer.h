#pragma once

#include <string_view>

#include "platform/geometry.h"
#include "platform/text/font.h"

namespace platform {

// Measures one line of text; the stand-in for the platform's text system.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;

  // The advance width of `text` and the line height of `font`.
  virtual Size measure(std::string_view text, const Font& font) const = 0;
};

// The process-wide measurer: the toolkit's font engine unless a
// ScopedTextMeasurer is alive. The toolkit's one needs a QGuiApplication;
// without one it measures everything as empty.
const TextMeasurer& currentTextMeasurer();

// Makes `measurer` the current one for its own lifetime, then restores the
// previous one. Meant for tests that need layouts independent of the fonts
// installed; `measurer` must outlive this object.
class ScopedTextMeasurer {
 public:
  explicit ScopedTextMeasurer(const TextMeasurer& measurer);
  explicit ScopedTextMeasurer(const TextMeasurer&& measurer) = delete;  // would outlive a temporary
  ~ScopedTextMeasurer();
  ScopedTextMeasurer(const ScopedTextMeasurer&) = delete;
  ScopedTextMeasurer& operator=(const ScopedTextMeasurer&) = delete;

 private:
  const TextMeasurer* previous_;
};

// Every character (code point) has the same width and every line the same
// height, whatever the font.
class FixedTextMeasurer final : public TextMeasurer {
 public:
  FixedTextMeasurer(double characterWidth, double lineHeight)
      : characterWidth_(characterWidth), lineHeight_(lineHeight) {}

  Size measure(std::string_view text, const Font& font) const override;

 private:
  double characterWidth_;
  double lineHeight_;
};

}  // namespace platform
