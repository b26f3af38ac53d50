#pragma once

#include <QImage>
#include <memory>

#include "platform/compositor/retained_frame.h"

namespace platform {

// Where the compositor shows its frames: the status bar's window on the
// display (an X11 dock window, or a Wayland layer surface). Made, used and
// destroyed on the compositor thread only, over a display connection of its
// own, so a busy main thread never holds a frame back.
class PresentationSurface {
 public:
  virtual ~PresentationSurface() = default;

  // The display connection's descriptor. The compositor waits on it together
  // with its own wake-ups and calls dispatchEvents() when it is readable.
  virtual int eventDescriptor() const = 0;
  // Handles whatever the display has sent, without blocking, and flushes
  // pending requests. False once the display has gone away or closed the
  // surface: the compositor then stops.
  virtual bool dispatchEvents() = 0;

  // Pixels per point on the output the surface is shown on.
  virtual double devicePixelRatio() const = 0;
  // True when the display wants the whole surface drawn again (first
  // showing, exposure, a new scale or size); present() clears it.
  virtual bool needsRedraw() const = 0;
  // True when a frame may be presented now. Wayland paces frames with frame
  // callbacks; a surface without such pacing is always ready.
  virtual bool readyForFrame() const = 0;
  // The shortest time between two frames, in seconds: the display's refresh
  // interval, 0 where it is not known.
  virtual double minimumFrameInterval() const = 0;

  // Shows `frame`, whose size in points is frame.deviceIndependentSize() and
  // whose pixel density is frame.devicePixelRatio().
  virtual void present(const QImage& frame) = 0;
  // Shows `frame` with its film at `offset`. The same frame comes again for
  // every step of its scroll: a display that keeps pixels takes them once
  // and is then sent only the offset.
  virtual void presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) {
    present(frame->shownAt(offset));
  }
};

}  // namespace platform
