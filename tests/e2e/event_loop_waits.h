#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace sonvetta::testdata {

// Lets the event loop run for `milliseconds`.
inline void wait(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

// Lets the event loop run until `condition` holds, for `milliseconds` at most;
// whether it held.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    if (condition()) return true;
    wait(20);
  }
  return condition();
}

}  // namespace sonvetta::testdata
