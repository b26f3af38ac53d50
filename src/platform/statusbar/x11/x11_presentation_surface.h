#pragma once

#include <xcb/xcb.h>

#include <QSize>
#include <cstdint>
#include <memory>

#include "platform/compositor/presentation_surface.h"

namespace platform {

// The window's property, a 32-bit 1 or 0, through which the thread that keeps
// the window says whether something X does not report hides it (a locker, a
// full-screen window under a compositing window manager).
inline constexpr char hiddenProperty[] = "_SONVETTA_HIDDEN";

// Whether a user can see an X window at all: not while it is unmapped,
// wholly covered (a full-screen window, a locker's), while the screen saver
// has blanked the screen (DPMS turns the saver on too), or while the window
// says it is hidden. Under a compositing window manager the server
// reports every window as uncovered, its locker included.
class X11WindowSight {
 public:
  // Starts listening; the window's events come through `connection`.
  X11WindowSight(xcb_connection_t* connection, xcb_window_t window);

  // Takes in `event`, which came through `connection`; true when it brought
  // the window back into sight.
  bool handle(xcb_connection_t* connection, const xcb_generic_event_t& event);
  bool seen() const { return mapped_ && !covered_ && !blanked_ && !hidden_; }

  // What the window has to hear for this, besides the screen saver's events.
  static constexpr std::uint32_t events =
      XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_PROPERTY_CHANGE;

 private:
  bool hiddenPropertyOf(xcb_connection_t* connection, xcb_window_t window) const;

  std::uint8_t screenSaverNotify_ = 0;  // no such event: no such extension
  xcb_atom_t hiddenAtom_ = XCB_ATOM_NONE;
  bool mapped_ = true;
  bool covered_ = false;
  bool blanked_ = false;
  bool hidden_ = false;
};

// Shows frames in an X window that the main thread made and placed, over a
// connection of the compositor thread's own: it hears that window's
// exposures itself and puts each frame into it. It takes no frames while
// the window cannot be seen.
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
  bool readyForFrame() const override { return sight_.seen(); }
  double minimumFrameInterval() const override { return frameInterval_; }
  void present(const QImage& frame) override;
  // The film goes once into a pixmap on the server, a slice at a time; a
  // frame is then one copy request.
  void presentRetained(const std::shared_ptr<const RetainedFrame>& frame, int offset) override;

 private:
  X11PresentationSurface(xcb_connection_t* connection, std::uint32_t window);
  void handle(const xcb_generic_event_t& event);
  bool handleQueuedEvents();
  void put(const QImage& pixels);
  void putImage(std::uint32_t drawable, const QImage& pixels, std::int16_t left);
  void holdFilm(const RetainedFrame& frame, int offset);
  void showFilm(const RetainedFrame& frame, int offset);

  xcb_connection_t* connection_;
  std::uint32_t window_;
  std::uint32_t graphicsContext_;
  std::uint8_t depth_ = 24;
  int windowWidth_ = 0;
  int drawnLeft_ = 0;  // where the last frame was put
  double frameInterval_;
  std::uint32_t filmPixmap_ = 0;  // none yet
  QSize filmPixmapSize_;
  std::shared_ptr<const RetainedFrame> shown_;  // whose still the window shows
  FilmSlice heldSlice_{0, 0};                   // of shown_'s film, in filmPixmap_
  double devicePixelRatio_ = 1.0;
  bool needsRedraw_ = true;
  X11WindowSight sight_;
};

}  // namespace platform
