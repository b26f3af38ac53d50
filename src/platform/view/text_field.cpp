#include "platform/view/text_field.h"

#include <QFontMetricsF>
#include <QPainter>

#include "platform/image/canvas.h"
#include "platform/text/qt_font.h"

namespace platform {

std::shared_ptr<TextField> TextField::labelWithString(std::string string, const TextMeasurer& measurer) {
  std::shared_ptr<TextField> label(new TextField(measurer));
  label->string_ = std::move(string);
  return label;
}

void TextField::setStringValue(std::string string) {
  if (string == string_) return;
  string_ = std::move(string);
  line_.reset();
  setNeedsDisplay();
}

void TextField::setFont(Font font) {
  if (font == font_) return;
  font_ = std::move(font);
  line_.reset();
  setNeedsDisplay();
}

void TextField::setBackgroundColor(const Color& color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  setNeedsDisplay();
}

void TextField::setBezeled(bool bezeled) {
  if (bezeled == bezeled_) return;
  bezeled_ = bezeled;
  setNeedsDisplay();
}

void TextField::sizeToFit() { setFrame({frame().origin.x, frame().origin.y, line().size().width, line().size().height}); }

std::optional<AccessibilityElement> TextField::accessibilityElement() const {
  if (string_.empty()) return std::nullopt;
  return AccessibilityElement{.role = AccessibilityRole::staticText, .label = string_, .description = {}};
}

const TextLine& TextField::line() const {
  if (!line_) line_.emplace(string_, font_, measurer_);
  return *line_;
}

void TextField::draw(Canvas& canvas) const {
  QPainter& painter = canvas.painter();
  const QRectF area(0.0, 0.0, frame().width(), frame().height());
  if (backgroundColor_.alpha > 0.0) {
    painter.fillRect(area, QColor::fromRgbF(static_cast<float>(backgroundColor_.red),
                                            static_cast<float>(backgroundColor_.green),
                                            static_cast<float>(backgroundColor_.blue),
                                            static_cast<float>(backgroundColor_.alpha)));
  }
  if (bezeled_) painter.drawRect(area);

  const QRectF visible = painter.hasClipping() ? area & painter.clipBoundingRect() : area;
  if (visible.isEmpty()) return;
  const QFont font = qtFont(font_);
  const QFontMetricsF metrics(font);
  painter.setFont(font);
  const double baseline = (area.height() - metrics.height()) / 2.0 + metrics.ascent();
  const Qt::LayoutDirection direction = painter.layoutDirection();
  for (const TextLine::Run& run : line().runsBetween(visible.left(), visible.right())) {
    // A run of a long line is shaped in the direction it has in the whole
    // line, whatever its own characters would make of it alone.
    if (run.rightToLeft) painter.setLayoutDirection(*run.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    const QString text = QString::fromUtf8(string_.data() + run.begin, static_cast<qsizetype>(run.length));
    painter.drawText(QPointF(run.x, baseline), text);
  }
  painter.setLayoutDirection(direction);
}

}  // namespace platform
