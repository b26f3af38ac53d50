#pragma once

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

#include <filesystem>
#include <string>

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
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return descriptor_ >= 0; }
  void seek(long offset, Position from) override;
  long tell() const override { return position_; }
  long length() override { return length_; }
  void truncate(long) override {}

  // True when `file` was a regular file or could not be looked at, and it
  // could not be opened, or a read of it failed or came back short (an I/O
  // error; the file cut while it was read). What was read then says nothing
  // about the file.
  bool failed() const { return failed_; }

 private:
  TagLib::ByteVector readFromWindow(unsigned int length);
  TagLib::ByteVector readAt(long offset, unsigned int length);

  std::string name_;
  bool failed_ = false;
  int descriptor_ = -1;
  long length_ = 0;
  long position_ = 0;
  long windowStart_ = 0;
  TagLib::ByteVector window_;
};

}  // namespace platform
