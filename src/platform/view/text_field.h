#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/text/font.h"
#include "platform/text/text_line.h"
#include "platform/view/color.h"
#include "platform/view/view.h"

namespace platform {

// A one-line text label, drawn in the text colour the renderer is given.
class TextField : public View {
 public:
  // A non-editable label without bezel or background, in the default font,
  // whose text `measurer` lays out; `measurer` must outlive the label.
  static std::shared_ptr<TextField> labelWithString(std::string string, const TextMeasurer& measurer);

  const std::string& stringValue() const { return string_; }
  void setStringValue(std::string string);

  void setFont(Font font);
  void setBackgroundColor(const Color& color);
  void setBezeled(bool bezeled);

  // Gives the frame the size the text needs in the font; the origin stays.
  void sizeToFit();

  void draw(Canvas& canvas) const override;
  // The whole text, however much of it is in view.
  std::optional<AccessibilityElement> accessibilityElement() const override;

 private:
  explicit TextField(const TextMeasurer& measurer) : measurer_(measurer) {}

  // The laid-out line, kept until the text or the font changes.
  const TextLine& line() const;

  const TextMeasurer& measurer_;
  std::string string_;
  Font font_ = Font::menuBarFontOfSize(0.0);
  Color backgroundColor_ = Color::clear();
  bool bezeled_ = false;
  mutable std::optional<TextLine> line_;
};

}  // namespace platform
