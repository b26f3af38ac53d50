#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <functional>

// What the end-to-end tests share while they watch a desktop from outside.
namespace sonvetta_test {

// Lets the event loop run for `milliseconds`.
inline void wait(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

// True once `condition` holds, false when it still does not after `milliseconds`.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    if (condition()) return true;
    wait(20);
  }
  return condition();
}

// How light `image` is on the whole, from 0 (black) to 255 (white).
inline double meanLightness(const QImage& image) {
  double sum = 0.0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) sum += QColor(image.pixel(x, y)).lightness();
  }
  return sum / (image.width() * image.height());
}

}  // namespace sonvetta_test
