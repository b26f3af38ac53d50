#pragma once

#include <QImage>
#include <QSize>
#include <memory>
#include <vector>

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

// The buffers one surface draws into. Buffers are reused once the compositor
// releases them; two suffice while frames wait for frame callbacks, a third
// only when the compositor holds on.
class ShmBufferPool {
 public:
  explicit ShmBufferPool(wl_shm* shm) : shm_(shm) {}

  // A buffer of `pixelSize` that the compositor does not hold; null when the
  // shared memory cannot be had.
  ShmBuffer* freeBuffer(QSize pixelSize);

 private:
  wl_shm* shm_;
  std::vector<std::unique_ptr<ShmBuffer>> buffers_;
};

}  // namespace platform
