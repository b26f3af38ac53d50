#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

#include "platform/compositor/presentation_surface.h"

namespace platform {

// Shows frames in an X window that the main thread made and placed, over a
// connection of the compositor thread's own: it hears that window's
// exposures itself and puts each frame into it.
class X11PresentationSurface final : public PresentationSurface {
 public:
  // Connects to the display that DISPLAY names, as the toolkit does; null
  // when it cannot be reached.
  static std::unique_ptr<X11PresentationSurface> connect(std::uint32_t window);
  ~X11PresentationSurface() override;
  X11PresentationSurface(const X11PresentationSurface&) = delete;
  X11PresentationSurface& operator=(const X11PresentationSurface&) = delete;

  int eventDescriptor() const override;
  bool dispatchEvents() override;
  // X has no density of its own: the one the frames are drawn at.
  double devicePixelRatio() const override { return devicePixelRatio_; }
  bool needsRedraw() const override { return needsRedraw_; }
  bool readyForFrame() const override { return true; }
  double minimumFrameInterval() const override { return frameInterval_; }
  void present(const QImage& frame) override;

 private:
  X11PresentationSurface(xcb_connection_t* connection, std::uint32_t window);
  void handle(xcb_generic_event_t* event);
  bool handleQueuedEvents();
  void put(const QImage& pixels);

  xcb_connection_t* connection_;
  std::uint32_t window_;
  std::uint32_t graphicsContext_;
  std::uint8_t depth_ = 24;
  int windowWidth_ = 0;
  int drawnLeft_ = 0;  // where the last frame was put
  double frameInterval_;
  double devicePixelRatio_ = 1.0;
  bool needsRedraw_ = true;
};

}  // namespace platform
