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

// The toolkit's font engine. It needs a QGuiApplication; without one it
// measures everything as empty.
class QtTextMeasurer final : public TextMeasurer {
 public:
  Size measure(std::string_view text, const Font& font) const override;
};

}  // namespace platform
