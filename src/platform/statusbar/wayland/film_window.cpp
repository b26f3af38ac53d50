#include "platform/statusbar/wayland/film_window.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "viewporter-client-protocol.h"

namespace platform {
namespace {

constexpr int bytesPerPixel = 4;

int clampedOffset(const RetainedFrame& frame, int offset) { return std::clamp(offset, 0, frame.lastOffset()); }

// `pixels` in shared memory that only the compositor maps from then on;
// null when the memory cannot be had.
wl_shm_pool* sharedPixels(wl_shm* shm, const QImage& pixels) {
  const auto rowBytes = static_cast<std::size_t>(pixels.width()) * bytesPerPixel;
  const std::size_t size = rowBytes * static_cast<std::size_t>(pixels.height());
  if (size == 0 || size > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  const int fd = memfd_create("sonvetta-film", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  void* memory = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) == 0) memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  wl_shm_pool* pool = nullptr;
  if (memory != MAP_FAILED) {
    const QImage source = pixels.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < source.height(); ++row) {
      std::memcpy(static_cast<unsigned char*>(memory) + rowBytes * static_cast<std::size_t>(row),
                  source.constScanLine(row), rowBytes);
    }
    munmap(memory, size);
    pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
  }
  close(fd);
  return pool;
}

}  // namespace

FilmWindow::FilmWindow(wl_compositor* compositor, wl_subcompositor* subcompositor, wp_viewporter* viewporter,
                       wl_shm* shm, wl_surface* parent)
    : shm_(shm),
      surface_(wl_compositor_create_surface(compositor)),
      subsurface_(wl_subcompositor_get_subsurface(subcompositor, surface_, parent)),
      viewport_(wp_viewporter_get_viewport(viewporter, surface_)) {
  wl_subsurface_set_desync(subsurface_);
  wl_surface_set_buffer_transform(surface_, WL_OUTPUT_TRANSFORM_270);
}

FilmWindow::~FilmWindow() {
  for (wl_buffer* view : views_) wl_buffer_destroy(view);
  if (slicePixels_ != nullptr) wl_shm_pool_destroy(slicePixels_);
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
  show(frame, offset);
  return true;
}

// Sends the slice of the film around `offset`. The views into the slice
// before keep its memory for as long as the compositor holds them.
bool FilmWindow::hold(const RetainedFrame& frame, int offset) {
  const FilmSlice slice = FilmSlice::around(frame, offset);
  if (slicePixels_ != nullptr) wl_shm_pool_destroy(slicePixels_);
  // Turned a quarter, the film's columns are rows of the memory: each view
  // is then a run of whole rows, which every compositor reads alike.
  slicePixels_ = sharedPixels(
      shm_, frame.film.copy(slice.start, 0, slice.width, frame.film.height()).transformed(QTransform().rotate(90)));
  held_.reset();
  if (slicePixels_ == nullptr) return false;
  held_ = slice;
  show(frame, offset);
  return true;
}

// Everything in the window moves, so all of it is damaged, and nothing else.
void FilmWindow::show(const RetainedFrame& frame, int offset) {
  const int rowBytes = frame.window.height() * bytesPerPixel;
  wl_buffer* view = wl_shm_pool_create_buffer(slicePixels_, (offset - held_->start) * rowBytes, frame.window.height(),
                                              frame.window.width(), rowBytes, WL_SHM_FORMAT_ARGB8888);
  static const wl_buffer_listener listener = {&FilmWindow::release};
  wl_buffer_add_listener(view, &listener, this);
  views_.push_back(view);
  wl_surface_attach(surface_, view, 0, 0);
  wl_surface_damage(surface_, 0, 0, size_.width(), size_.height());
}

void FilmWindow::release(void* data, wl_buffer* view) {
  auto& views = static_cast<FilmWindow*>(data)->views_;
  std::erase(views, view);
  wl_buffer_destroy(view);
}

}  // namespace platform
