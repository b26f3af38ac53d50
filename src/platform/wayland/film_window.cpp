#include "platform/wayland/film_window.h"

#include <wayland-client.h>

#include <algorithm>
#include <cmath>

#include "viewporter-client-protocol.h"

namespace platform {
namespace {

int clampedOffset(const RetainedFrame& frame, int offset) { return std::clamp(offset, 0, frame.lastOffset()); }

}  // namespace

FilmWindow::FilmWindow(wl_compositor* compositor, wl_subcompositor* subcompositor, wp_viewporter* viewporter,
                       wl_shm* shm, wl_surface* parent)
    : surface_(wl_compositor_create_surface(compositor)),
      subsurface_(wl_subcompositor_get_subsurface(subcompositor, surface_, parent)),
      viewport_(wp_viewporter_get_viewport(viewporter, surface_)),
      buffers_(shm) {
  wl_subsurface_set_desync(subsurface_);
}

FilmWindow::~FilmWindow() {
  wp_viewport_destroy(viewport_);
  wl_subsurface_destroy(subsurface_);
  wl_surface_destroy(surface_);
}

bool FilmWindow::fits(const RetainedFrame& frame) {
  const double ratio = frame.still.devicePixelRatio();
  const auto onWholePoints = [ratio](int pixels) {
    const double points = pixels / ratio;
    return std::abs(points - std::round(points)) < 1e-6;
  };
  const QRect& window = frame.window;
  return !window.isEmpty() && frame.still.rect().contains(window) && frame.film.height() == window.height() &&
         frame.film.width() >= window.width() && onWholePoints(window.x()) && onWholePoints(window.y()) &&
         onWholePoints(window.width()) && onWholePoints(window.height());
}

bool FilmWindow::showWithParent(const RetainedFrame* frame, int offset) {
  // Synchronized, the window's new state waits for the parent's commit, so
  // that a new still and its film appear in the same frame.
  wl_subsurface_set_sync(subsurface_);
  held_.reset();
  bool shown = false;
  if (frame != nullptr) {
    const double ratio = frame->still.devicePixelRatio();
    const QRect& window = frame->window;
    size_ = QSize(static_cast<int>(std::lround(window.width() / ratio)),
                  static_cast<int>(std::lround(window.height() / ratio)));
    wl_subsurface_set_position(subsurface_, static_cast<int32_t>(std::lround(window.x() / ratio)),
                               static_cast<int32_t>(std::lround(window.y() / ratio)));
    wp_viewport_set_destination(viewport_, size_.width(), size_.height());
    shown = hold(*frame, clampedOffset(*frame, offset));
  }
  if (!shown) wl_surface_attach(surface_, nullptr, 0, 0);
  wl_surface_commit(surface_);
  return frame == nullptr || shown;
}

void FilmWindow::goOnAlone() { wl_subsurface_set_desync(subsurface_); }

bool FilmWindow::slideTo(const RetainedFrame& frame, int offset) {
  offset = clampedOffset(frame, offset);
  if (!held_ || !held_->holds(frame, offset)) return hold(frame, offset);
  setSource(frame, offset);
  return true;
}

// Sends the slice of the film around `offset`.
bool FilmWindow::hold(const RetainedFrame& frame, int offset) {
  const FilmSlice slice = FilmSlice::around(frame, offset);
  const QSize pixelSize(slice.width, frame.film.height());
  ShmBuffer* buffer = buffers_.freeBuffer(pixelSize);
  if (buffer == nullptr) return false;
  buffer->fill(frame.film.copy(QRect(QPoint(slice.start, 0), pixelSize)));
  wl_surface_attach(surface_, buffer->wlBuffer(), 0, 0);
  held_ = slice;
  setSource(frame, offset);
  return true;
}

// Everything in the window moves, so all of it is damaged, and nothing else.
void FilmWindow::setSource(const RetainedFrame& frame, int offset) {
  wp_viewport_set_source(viewport_, wl_fixed_from_int(offset - held_->start), 0,
                         wl_fixed_from_int(frame.window.width()), wl_fixed_from_int(frame.window.height()));
  wl_surface_damage(surface_, 0, 0, size_.width(), size_.height());
}

}  // namespace platform
