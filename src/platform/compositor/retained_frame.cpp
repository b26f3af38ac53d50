#include "platform/compositor/retained_frame.h"

#include <QPainter>
#include <algorithm>

namespace platform {

QImage RetainedFrame::shownAt(int offset) const {
  QImage shown = still.copy();
  if (window.isEmpty()) return shown;
  shown.setDevicePixelRatio(1.0);
  {
    QPainter painter(&shown);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(window.topLeft(), film, QRect(std::clamp(offset, 0, lastOffset()), 0, window.width(), window.height()));
  }
  shown.setDevicePixelRatio(still.devicePixelRatio());
  return shown;
}

FilmSlice FilmSlice::around(const RetainedFrame& frame, int offset) {
  const int start = std::clamp(offset, 0, frame.lastOffset()) / step * step;
  return {start, std::min(step + frame.window.width(), frame.film.width() - start)};
}

}  // namespace platform
