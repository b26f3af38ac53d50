#include "platform/statusbar/plain/plain_window.h"

#include <QPainter>

namespace platform {

namespace {

// Hands each frame on to the main thread. The window keeps the last one for
// its own exposures, so the display never asks for a redraw.
class PlainPresentationSurface final : public PresentationSurface {
 public:
  explicit PlainPresentationSurface(std::function<void(const QImage&)> deliver) : deliver_(std::move(deliver)) {}

  int eventDescriptor() const override { return -1; }  // nothing to hear: poll() passes over it
  bool dispatchEvents() override { return true; }
  double devicePixelRatio() const override { return devicePixelRatio_; }
  bool needsRedraw() const override { return false; }
  bool readyForFrame() const override { return true; }
  double minimumFrameInterval() const override { return 1.0 / 60.0; }
  void present(const QImage& frame) override {
    devicePixelRatio_ = frame.devicePixelRatio();
    deliver_(frame);
  }

 private:
  std::function<void(const QImage&)> deliver_;
  double devicePixelRatio_ = 1.0;
};

}  // namespace

PlainWindow::PlainWindow(const QString& title) {
  setFlags(Qt::Window | Qt::WindowDoesNotAcceptFocus);
  setTitle(title);
}

void PlainWindow::show(QSizeF size, QColor) {
  resize(size.toSize());
  QRasterWindow::show();
}

// The window outlives the compositor, whose thread ends before it goes.
std::function<std::unique_ptr<PresentationSurface>()> PlainWindow::surfaceMaker() const {
  auto* window = const_cast<PlainWindow*>(this);
  return [window] {
    return std::make_unique<PlainPresentationSurface>([window](const QImage& frame) {
      QMetaObject::invokeMethod(window, [window, frame] { window->showFrame(frame); });
    });
  };
}

void PlainWindow::showFrame(const QImage& frame) {
  frame_ = frame;
  update();
}

void PlainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, frame_);
}

}  // namespace platform
