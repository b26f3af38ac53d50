// Renders the marquee with a long track line at a few moments of its scroll
// and writes each moment as a PNG file into the folder given as argument.

#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/marquee/marquee_view.h"
#include "platform/image/canvas.h"
#include "platform/render/renderer.h"
#include "platform/text/text_measurer.h"

namespace {

// A stand-in for album artwork: a diagonal gradient with a disc on it.
class GeneratedArtwork final : public platform::Image {
 public:
  platform::Size size() const override { return {22, 22}; }

  void draw(platform::Canvas& canvas, const platform::Rect& rect) const override {
    QPainter& painter = canvas.painter();
    const QRectF area(rect.origin.x, rect.origin.y, rect.width(), rect.height());
    QLinearGradient gradient(area.topLeft(), area.bottomRight());
    gradient.setColorAt(0.0, QColor(230, 90, 60));
    gradient.setColorAt(1.0, QColor(60, 70, 200));
    painter.fillRect(area, gradient);
    painter.setBrush(QColor(250, 240, 220));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(area.center(), area.width() / 4, area.height() / 4);
  }
};

constexpr double momentsInSeconds[] = {0.0, 1.0, 2.5, 5.0, 10.0};

}  // namespace

int main(int argc, char* argv[]) {
  // Without a display Qt's offscreen platform still has fonts and painting.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  const QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
    return EXIT_FAILURE;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return EXIT_FAILURE;
  }

  const platform::QtTextMeasurer measurer;
  sonvetta::MarqueeView marquee(platform::Rect(0, 0, 200, 22), measurer);
  marquee.update(std::make_shared<GeneratedArtwork>(),
                 "Bohemian Rhapsody (Remastered 2011) - A Night at the Opera - Queen");
  const platform::Layer* contentLayer = marquee.subviews().at(0)->layer();
  const platform::BasicAnimation* scroll = contentLayer->animation("marqueeAnimation");
  const double begin = scroll != nullptr ? scroll->beginTime : 0.0;

  const QColor textColor = QGuiApplication::palette().color(QPalette::WindowText);
  for (const double moment : momentsInSeconds) {
    const QImage frame = platform::renderViewTree(marquee, begin + moment, 2.0, textColor);
    const QString path = folder.filePath(QString("marquee-%1s.png").arg(moment, 4, 'f', 1, QChar('0')));
    if (!frame.save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return EXIT_FAILURE;
    }
    std::printf("%s\n", qPrintable(path));
  }
  return EXIT_SUCCESS;
}
