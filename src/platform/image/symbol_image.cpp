#include "platform/image/symbol_image.h"

#include <QPainter>
#include <QPainterPath>

#include "platform/image/canvas.h"

namespace platform {

namespace {

// An eighth note on a 16 x 16 point grid (top-left origin): a slanted head,
// a stem rising from its right side and a flag curling down from the top.
QPainterPath musicNotePath() {
  QPainterPath head;
  head.addEllipse(QPointF(0, 0), 3.4, 2.5);
  QPainterPath note = QTransform().translate(5.6, 12.6).rotate(-22).map(head);

  QPainterPath stem;
  stem.addRect(QRectF(8.2, 1.5, 1.3, 11.2));
  note = note.united(stem);

  QPainterPath flag;
  flag.moveTo(8.2, 1.5);
  flag.cubicTo(9.6, 4.2, 13.8, 4.6, 12.6, 9.6);
  flag.cubicTo(12.4, 7.2, 11.0, 6.2, 9.5, 6.0);
  flag.lineTo(9.5, 1.5);
  flag.closeSubpath();
  return note.united(flag);
}

class SymbolImage final : public Image {
 public:
  SymbolImage(QPainterPath path, std::string accessibilityDescription)
      : path_(std::move(path)), accessibilityDescription_(std::move(accessibilityDescription)) {}

  Size size() const override { return {16.0, 16.0}; }

  // Symbols are templates: they take the colour the painter's pen has, which
  // the renderer sets to the text colour.
  void draw(Canvas& canvas, const Rect& rect) const override {
    QPainter& painter = canvas.painter();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.origin.x, rect.origin.y);
    painter.scale(rect.width() / size().width, rect.height() / size().height);
    painter.fillPath(path_, painter.pen().color());
    painter.restore();
  }

  std::string accessibilityDescription() const override { return accessibilityDescription_; }

 private:
  QPainterPath path_;
  std::string accessibilityDescription_;
};

}  // namespace

ImageRef systemSymbolImage(const std::string& name, const std::string& accessibilityDescription) {
  if (name != "music.note") return nullptr;
  static const QPainterPath path = musicNotePath();
  return std::make_shared<SymbolImage>(path, accessibilityDescription);
}

}  // namespace platform
