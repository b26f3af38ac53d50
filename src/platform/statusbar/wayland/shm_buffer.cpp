#include "platform/statusbar/wayland/shm_buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr int bytesPerPixel = 4;

std::size_t byteCount(QSize pixelSize) {
  return static_cast<std::size_t>(pixelSize.width()) * bytesPerPixel * static_cast<std::size_t>(pixelSize.height());
}

}  // namespace

std::unique_ptr<ShmBuffer> ShmBuffer::create(wl_shm* shm, QSize pixelSize) {
  if (pixelSize.isEmpty()) return nullptr;
  const std::size_t size = byteCount(pixelSize);
  const int fd = memfd_create("sonvetta-frame", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  void* memory = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
    memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (memory == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, pixelSize.width(), pixelSize.height(),
                                                pixelSize.width() * bytesPerPixel, WL_SHM_FORMAT_ARGB8888);
  // The buffer keeps the pool's memory alive on both sides.
  wl_shm_pool_destroy(pool);
  close(fd);
  return std::unique_ptr<ShmBuffer>(new ShmBuffer(buffer, static_cast<unsigned char*>(memory), pixelSize));
}

ShmBuffer::ShmBuffer(wl_buffer* buffer, unsigned char* pixels, QSize pixelSize)
    : buffer_(buffer), pixels_(pixels), pixelSize_(pixelSize) {
  static const wl_buffer_listener listener = {&ShmBuffer::release};
  wl_buffer_add_listener(buffer_, &listener, this);
}

ShmBuffer::~ShmBuffer() {
  wl_buffer_destroy(buffer_);
  munmap(pixels_, byteCount(pixelSize_));
}

void ShmBuffer::release(void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy_ = false; }

void ShmBuffer::fill(const QImage& frame) {
  const QImage source = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const auto rowBytes = static_cast<std::size_t>(pixelSize_.width()) * bytesPerPixel;
  for (int row = 0; row < pixelSize_.height(); ++row) {
    std::memcpy(pixels_ + rowBytes * static_cast<std::size_t>(row), source.constScanLine(row), rowBytes);
  }
  busy_ = true;
}

ShmBuffer* ShmBufferPool::freeBuffer(QSize pixelSize) {
  std::erase_if(buffers_, [pixelSize](const auto& buffer) {
    return !buffer->busy() && buffer->pixelSize() != pixelSize;
  });
  for (const auto& buffer : buffers_) {
    if (!buffer->busy() && buffer->pixelSize() == pixelSize) return buffer.get();
  }
  std::unique_ptr<ShmBuffer> buffer = ShmBuffer::create(shm_, pixelSize);
  if (buffer == nullptr) return nullptr;
  buffers_.push_back(std::move(buffer));
  return buffers_.back().get();
}

}  // namespace platform
