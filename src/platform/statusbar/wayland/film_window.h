#pragma once

#include <QSize>
#include <optional>
#include <vector>

#include "platform/compositor/retained_frame.h"

struct wl_buffer;
struct wl_compositor;
struct wl_shm;
struct wl_shm_pool;
struct wl_subcompositor;
struct wl_subsurface;
struct wl_surface;
struct wp_viewport;
struct wp_viewporter;

namespace platform {

// The window of a retained frame on Wayland: a subsurface of the strip's
// surface that holds a slice of the film in shared memory and shows the part
// of it at the current offset. Sliding the film attaches another view into
// the same memory, a buffer that starts further along it, and commits this
// surface alone; pixels go out only when the offset leaves the slice held.
// (A viewport's source would do the same, but software-rendering wlroots
// ignores where a source starts.) The viewport sizes the window in points,
// for fractional scales.
class FilmWindow {
 public:
  FilmWindow(wl_compositor* compositor, wl_subcompositor* subcompositor, wp_viewporter* viewporter, wl_shm* shm,
             wl_surface* parent);
  ~FilmWindow();
  FilmWindow(const FilmWindow&) = delete;
  FilmWindow& operator=(const FilmWindow&) = delete;

  // Whether `frame`'s window can stand here: it lies on whole points of the
  // still, and the film is as high as the window and at least as wide.
  static bool fits(const RetainedFrame& frame);

  // Shows `frame`'s film at `offset`, or nothing with a null `frame`, together
  // with the parent surface's next commit, after which goOnAlone() lets the
  // window slide by itself again. False when the film's pixels cannot be
  // had: the window then shows nothing.
  bool showWithParent(const RetainedFrame* frame, int offset);
  void goOnAlone();
  // Slides the film of the frame shown to `offset`; the caller asks for a
  // frame callback on surface() and then commits it. False when a new slice
  // is due and its pixels cannot be had.
  bool slideTo(const RetainedFrame& frame, int offset);
  wl_surface* surface() const { return surface_; }
  bool showsFilm() const { return held_.has_value(); }

 private:
  bool hold(const RetainedFrame& frame, int offset);
  void show(const RetainedFrame& frame, int offset);
  static void release(void* data, wl_buffer* view);

  wl_shm* shm_;
  wl_surface* surface_;
  wl_subsurface* subsurface_;
  wp_viewport* viewport_;
  wl_shm_pool* slicePixels_ = nullptr;  // of held_
  std::optional<FilmSlice> held_;
  std::vector<wl_buffer*> views_;  // attached, and not yet released by the compositor
  QSize size_;                     // the window's, in points
};

}  // namespace platform
