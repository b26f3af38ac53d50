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
constexpr taglib::Offset kWindowSize = 4096;

// TagLib reads each item of a tag (a frame, an atom, a picture block) as one
// block of the size its header declares. The largest real ones, covers of a
// few thousand pixels square, take tens of megabytes; a size field of a few
// bytes can declare gigabytes of a sparse file. A block of more than this
// gives nothing, and costs nothing.
constexpr taglib::Offset kMaxBlockSize = taglib::Offset{64} << 20;

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
  length_ = static_cast<taglib::Offset>(status.st_size);
}

ReadOnlyFileStream::~ReadOnlyFileStream() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

// A block that reaches past the end comes back short, as from a file that was
// cut off.
TagLib::ByteVector ReadOnlyFileStream::readBlock(taglib::Length length) {
  if (!isOpen() || position_ >= length_) return {};
  const taglib::Offset remaining = length_ - position_;
  const taglib::Offset wanted =
      length < static_cast<taglib::Length>(remaining) ? static_cast<taglib::Offset>(length) : remaining;
  if (wanted > kMaxBlockSize) return {};
  // Built in place: every TagLib::ByteVector, even an empty one, costs
  // several allocations.
  const auto size = static_cast<unsigned int>(wanted);
  TagLib::ByteVector block = wanted > kWindowSize ? readAt(position_, size) : readFromWindow(size);
  applyOverlays(block, position_);
  position_ += static_cast<taglib::Offset>(block.size());
  return block;
}

void ReadOnlyFileStream::overlay(taglib::Offset offset, std::array<char, 4> bytes) {
  overlays_.push_back({offset, bytes});
}

void ReadOnlyFileStream::applyOverlays(TagLib::ByteVector& block, taglib::Offset start) const {
  constexpr taglib::Offset kOverlaySize = std::tuple_size_v<decltype(Overlay::bytes)>;
  const taglib::Offset end = start + static_cast<taglib::Offset>(block.size());
  auto overlay = std::ranges::lower_bound(overlays_, start - kOverlaySize + 1, {}, &Overlay::offset);
  for (; overlay != overlays_.end() && overlay->offset < end; ++overlay) {
    for (taglib::Offset i = 0; i < kOverlaySize; ++i) {
      const taglib::Offset at = overlay->offset + i - start;
      if (at >= 0 && at < end - start) block[static_cast<int>(at)] = overlay->bytes[static_cast<std::size_t>(i)];
    }
  }
}

TagLib::ByteVector ReadOnlyFileStream::readFromWindow(unsigned int length) {
  const taglib::Offset windowEnd = windowStart_ + static_cast<taglib::Offset>(window_.size());
  if (position_ < windowStart_ || position_ + length > windowEnd) {
    windowStart_ = position_;
    window_ = readAt(position_, static_cast<unsigned int>(std::min(kWindowSize, length_ - position_)));
  }
  return window_.mid(static_cast<unsigned int>(position_ - windowStart_), length);
}

TagLib::ByteVector ReadOnlyFileStream::readAt(taglib::Offset offset, unsigned int length) {
  TagLib::ByteVector data(length, '\0');
  std::size_t got = 0;
  while (got < length) {
    const ssize_t count = ::pread(descriptor_, data.data() + got, length - got, offset + static_cast<taglib::Offset>(got));
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
void ReadOnlyFileStream::seek(taglib::Offset offset, Position from) {
  const taglib::Offset base = from == Beginning ? 0 : from == Current ? position_ : length_;
  taglib::Offset target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return;
  position_ = target;
}

}  // namespace platform
