#pragma once

#include <QImage>
#include <QRect>

namespace platform {

// What a display keeps of a layer tree between frames: a still picture and,
// where a layer scrolls, a strip of film behind a window in it. A frame only
// slides the film along behind the window, so the pixels go to the display
// once per tree and a frame is a few bytes of requests.
struct RetainedFrame {
  QImage still;  // the whole frame at rest, with its pixel density
  QRect window;  // in the still's pixels; empty when nothing scrolls
  QImage film;   // window.height() rows, at least window.width() columns

  // The highest offset a frame may show the film at: its columns
  // offset .. offset + window.width() - 1 fill the window.
  int lastOffset() const { return film.width() - window.width(); }
  // What the screen shows with the film at `offset`.
  QImage shownAt(int offset) const;
};

// The part of a film a display holds at a time, so that what it keeps stays
// small however long the film: slices overlap by the window's width, and a
// new one is sent only each time the film has slid by a slice's step.
struct FilmSlice {
  static constexpr int step = 4096;

  int start;  // first column of the film held
  int width;

  static FilmSlice around(const RetainedFrame& frame, int offset);
  bool holds(const RetainedFrame& frame, int offset) const {
    return offset >= start && offset + frame.window.width() <= start + width;
  }
};

}  // namespace platform
