#pragma once

#include <QImage>
#include <QRasterWindow>

#include "platform/statusbar/status_bar_window.h"

namespace platform {

// The status bar where nothing can place it: an ordinary window, titled as
// the dock is. Its frames come from the compositor thread as messages and
// are shown by the main thread, the only one that may paint a toolkit window.
class PlainWindow final : public QRasterWindow, public StatusBarWindow {
 public:
  explicit PlainWindow(const QString& title);

  void show(QSizeF size, QColor background) override;
  double devicePixelRatio() const override { return QRasterWindow::devicePixelRatio(); }
  QRect geometry() const override { return QRasterWindow::geometry(); }
  std::function<std::unique_ptr<PresentationSurface>()> surfaceMaker() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void showFrame(const QImage& frame);

  QImage frame_;
};

}  // namespace platform
