#include "platform/media/read_only_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// Large enough for the header reads of one region of a file, small enough to
// cost nothing when the next read is elsewhere.
constexpr long kWindowSize = 4096;

}  // namespace

ReadOnlyFileStream::ReadOnlyFileStream(const std::filesystem::path& file) : name_(file.string()) {
  const int descriptor = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return;
  }
  descriptor_ = descriptor;
  length_ = static_cast<long>(status.st_size);
}

ReadOnlyFileStream::~ReadOnlyFileStream() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

TagLib::ByteVector ReadOnlyFileStream::readBlock(unsigned long length) {
  if (!isOpen() || position_ >= length_) return {};
  const long wanted = static_cast<long>(std::min<unsigned long>(length, static_cast<unsigned long>(length_ - position_)));
  // Built in place: every TagLib::ByteVector, even an empty one, costs
  // several allocations.
  TagLib::ByteVector block = wanted > kWindowSize ? readAt(position_, wanted) : readFromWindow(wanted);
  position_ += static_cast<long>(block.size());
  return block;
}

TagLib::ByteVector ReadOnlyFileStream::readFromWindow(long length) {
  const long windowEnd = windowStart_ + static_cast<long>(window_.size());
  if (position_ < windowStart_ || position_ + length > windowEnd) {
    windowStart_ = position_;
    window_ = readAt(position_, std::min(kWindowSize, length_ - position_));
  }
  return window_.mid(static_cast<unsigned int>(position_ - windowStart_), static_cast<unsigned int>(length));
}

TagLib::ByteVector ReadOnlyFileStream::readAt(long offset, long length) const {
  TagLib::ByteVector data(static_cast<unsigned int>(length), '\0');
  long got = 0;
  while (got < length) {
    const ssize_t count = ::pread(descriptor_, data.data() + got, static_cast<std::size_t>(length - got), offset + got);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    got += count;
  }
  data.resize(static_cast<unsigned int>(got));
  return data;
}

void ReadOnlyFileStream::seek(long offset, Position from) {
  const long base = from == Beginning ? 0 : from == Current ? position_ : length_;
  position_ = std::max(0L, base + offset);
}

}  // namespace platform
