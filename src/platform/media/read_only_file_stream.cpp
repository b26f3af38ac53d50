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

// A size field of a few bytes can ask for any amount. No tag of the formats
// read holds more than an ID3v2 tag can (its size has 28 bits); a longer read
// comes back short, as from a file that was cut off.
constexpr unsigned int kMaxBlockSize = 1U << 28;

}  // namespace

ReadOnlyFileStream::ReadOnlyFileStream(const std::filesystem::path& file) : name_(file.string()) {
  struct stat named {};
  if (::stat(name_.c_str(), &named) != 0) {
    failed_ = true;
    return;
  }
  if (!S_ISREG(named.st_mode)) return;
  const int descriptor = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    failed_ = true;
    return;
  }
  // Another file may have taken the name in between.
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_dev != named.st_dev ||
      status.st_ino != named.st_ino) {
    ::close(descriptor);
    failed_ = true;
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
  const auto wanted = static_cast<unsigned int>(
      std::min({length, static_cast<unsigned long>(length_ - position_), static_cast<unsigned long>(kMaxBlockSize)}));
  // Built in place: every TagLib::ByteVector, even an empty one, costs
  // several allocations.
  TagLib::ByteVector block = wanted > kWindowSize ? readAt(position_, wanted) : readFromWindow(wanted);
  position_ += static_cast<long>(block.size());
  return block;
}

TagLib::ByteVector ReadOnlyFileStream::readFromWindow(unsigned int length) {
  const long windowEnd = windowStart_ + static_cast<long>(window_.size());
  if (position_ < windowStart_ || position_ + length > windowEnd) {
    windowStart_ = position_;
    window_ = readAt(position_, static_cast<unsigned int>(std::min(kWindowSize, length_ - position_)));
  }
  return window_.mid(static_cast<unsigned int>(position_ - windowStart_), length);
}

TagLib::ByteVector ReadOnlyFileStream::readAt(long offset, unsigned int length) {
  TagLib::ByteVector data(length, '\0');
  std::size_t got = 0;
  while (got < length) {
    const ssize_t count = ::pread(descriptor_, data.data() + got, length - got, offset + static_cast<long>(got));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    got += static_cast<std::size_t>(count);
  }
  // Only what lies within the length the file had when opened is asked for.
  if (got < length) failed_ = true;
  data.resize(static_cast<unsigned int>(got));
  return data;
}

// As with fseek, a target before the start of the file, or beyond what a
// position can hold, leaves the position where it was; a target past the end
// is kept, and reading there gives nothing. TagLib computes targets from
// sizes written in the file and relies on this: taken back to the start, it
// would read the same atoms again, without end.
void ReadOnlyFileStream::seek(long offset, Position from) {
  const long base = from == Beginning ? 0 : from == Current ? position_ : length_;
  long target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return;
  position_ = target;
}

}  // namespace platform
