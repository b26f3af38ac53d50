#include "platform/files/file_stamp.h"

#include <sys/stat.h>

namespace platform {

namespace {

std::int64_t nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

std::optional<FileStamp> FileStamp::of(const std::filesystem::path& path) {
  const auto takenAt = std::chrono::system_clock::now();
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStamp{status.st_dev,
                   status.st_ino,
                   static_cast<std::int64_t>(status.st_size),
                   nanoseconds(status.st_mtim),
                   nanoseconds(status.st_ctim),
                   status.st_nlink,
                   takenAt};
}

bool FileStamp::isSettled() const {
  const std::int64_t settledBefore =
      std::chrono::duration_cast<std::chrono::nanoseconds>((takenAt - kSettlingTime).time_since_epoch()).count();
  return modified < settledBefore && changed < settledBefore;
}

}  // namespace platform
