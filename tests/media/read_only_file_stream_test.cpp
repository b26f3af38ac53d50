#include "platform/media/read_only_file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <climits>
#include <cstring>
#include <fstream>


namespace {

using Position = TagLib::IOStream::Position;

class ReadOnlyFileStream : public testing::Test {
 protected:
  std::filesystem::path write(const std::string& content) {
    const auto file = folder_ / "file";
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

  QTemporaryDir temporaryFolder_;
  const std::filesystem::path folder_{temporaryFolder_.path().toStdString()};
};

// TagLib computes seek targets from sizes written in the file; one out of
// reach must leave the position alone, as fseek does, and never wrap around.
TEST_F(ReadOnlyFileStream, SeeksOutOfReachLeaveThePositionAndReadNothing) {
  platform::ReadOnlyFileStream stream(write("0123456789"));
  stream.seek(4, Position::Beginning);
  stream.seek(-1, Position::Beginning);
  stream.seek(-5, Position::Current);
  stream.seek(-11, Position::End);
  EXPECT_EQ(stream.tell(), 4);
  EXPECT_EQ(stream.readBlock(2), "45");

  stream.seek(LONG_MAX, Position::Beginning);
  stream.seek(1, Position::Current);
  stream.seek(LONG_MAX, Position::End);
  EXPECT_EQ(stream.tell(), LONG_MAX);
  EXPECT_TRUE(stream.readBlock(4).isEmpty());

  stream.seek(-3, Position::End);
  EXPECT_EQ(stream.readBlock(ULONG_MAX), "789");
}

// A size field can ask for gigabytes, or for more than a 32-bit length: a
// block of more than any tag item holds gives nothing, and leaves the
// position; one cut short by the end of the file comes back short.
TEST_F(ReadOnlyFileStream, BlocksLargerThanAnyItemGiveNothing) {
  const auto file = write("head");
  const int descriptor = ::open(file.c_str(), O_WRONLY);
  const off_t length = (off_t{1} << 32) + 4096;
  if (::ftruncate(descriptor, length) != 0) {
    const int error = errno;
    ::close(descriptor);
    GTEST_SKIP() << "the temporary folder cannot hold a sparse file of 4 GiB: " << std::strerror(error);
  }
  ::close(descriptor);

  platform::ReadOnlyFileStream stream(file);
  EXPECT_TRUE(stream.readBlock((1UL << 32) + 16).isEmpty());
  EXPECT_TRUE(stream.readBlock(65UL << 20).isEmpty());
  EXPECT_EQ(stream.tell(), 0);
  EXPECT_EQ(stream.readBlock(4), "head");

  stream.seek(-(16L << 20), Position::End);
  EXPECT_EQ(stream.readBlock(1UL << 32).size(), 16U << 20);
  EXPECT_EQ(stream.tell(), length);
}

}  // namespace
