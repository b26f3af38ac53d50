#pragma once

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

#include "platform/media/taglib_versions.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// A regular file opened for TagLib to read tags from, and never to write.
//
// TagLib's own FileStream asks the file's length, with three seeks, before
// every read, which also throws away the C library's buffer; reading a tag
// then costs dozens of system calls. Here the length is taken once, and the
// many small reads of headers near one another are served from one window.
class ReadOnlyFileStream final : public TagLib::IOStream {
 public:
  // Not open when `file` is not a regular file that can be read. Anything
  // else is only looked at: opening a device runs its driver, and a FIFO's
  // writer would notice.
  explicit ReadOnlyFileStream(const std::filesystem::path& file);
  ~ReadOnlyFileStream() override;
  ReadOnlyFileStream(const ReadOnlyFileStream&) = delete;
  ReadOnlyFileStream& operator=(const ReadOnlyFileStream&) = delete;

  TagLib::FileName name() const override { return name_.c_str(); }
  TagLib::ByteVector readBlock(taglib::Length length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, taglib::BlockStart, taglib::Length) override {}
  void removeBlock(taglib::BlockStart, taglib::Length) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return descriptor_ >= 0; }
  void seek(taglib::Offset offset, Position from) override;
  taglib::Offset tell() const override { return position_; }
  taglib::Offset length() override { return length_; }
  void truncate(taglib::Offset) override {}

  // From now on the four bytes at `offset` read as `bytes`, as though the
  // file held them. Offsets are given in increasing order.
  void overlay(taglib::Offset offset, std::array<char, 4> bytes);

  // True when `file` was a regular file or could not be looked at, and it
  // could not be opened, or a read of it failed or came back short (an I/O
  // error; the file cut while it was read). What was read then says nothing
  // about the file.
  bool failed() const { return failed_; }

 private:
  TagLib::ByteVector readFromWindow(unsigned int length);
  TagLib::ByteVector readAt(taglib::Offset offset, unsigned int length);
  void applyOverlays(TagLib::ByteVector& block, taglib::Offset start) const;

  struct Overlay {
    taglib::Offset offset;
    std::array<char, 4> bytes;
  };

  std::string name_;
  bool failed_ = false;
  int descriptor_ = -1;
  taglib::Offset length_ = 0;
  taglib::Offset position_ = 0;
  taglib::Offset windowStart_ = 0;
  TagLib::ByteVector window_;
  std::vector<Overlay> overlays_;
};

}  // namespace platform
