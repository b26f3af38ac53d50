#pragma once

#include <QImage>
#include <QSize>
#include <memory>

struct wl_buffer;
struct wl_shm;

namespace platform {

// One frame's worth of pixels in memory shared with the Wayland compositor:
// 32-bit premultiplied ARGB, the layout of QImage::Format_ARGB32_Premultiplied.
// Busy from the moment it is attached until the compositor releases it; only
// then may it be written again.
class ShmBuffer {
 public:
  // Null when the shared memory cannot be had.
  static std::unique_ptr<ShmBuffer> create(wl_shm* shm, QSize pixelSize);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  QSize pixelSize() const { return pixelSize_; }
  bool busy() const { return busy_; }
  // Copies `frame`, which must have pixelSize() pixels, and marks the buffer
  // busy: the caller attaches wlBuffer() next.
  void fill(const QImage& frame);
  wl_buffer* wlBuffer() const { return buffer_; }

 private:
  ShmBuffer(wl_buffer* buffer, unsigned char* pixels, QSize pixelSize);
  static void release(void* data, wl_buffer* buffer);

  wl_buffer* buffer_;
  unsigned char* pixels_;
  QSize pixelSize_;
  bool busy_ = false;
};

}  // namespace platform
