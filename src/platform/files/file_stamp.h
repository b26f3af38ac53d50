#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

// Which file a path leads to and when that file last changed: while a file's
// stamp stays the same, so does its content.
//
// The file system takes its times from a clock that ticks coarsely (once a
// few milliseconds, or once two seconds on some), so a file written twice in
// one tick keeps its stamp; a stamp tells nothing until its file has been
// left alone for longer than a tick.
struct FileStamp {
  // The stamp of the file that `path` leads to, symbolic links followed; none
  // when nothing can be found there.
  static std::optional<FileStamp> of(const std::filesystem::path& path);

  // True once the file has been left alone long enough, at `now`, for its
  // next change to show in its stamp: for longer than the coarsest tick of the
  // file systems a music library lives on (FAT's).
  bool isSettled(std::chrono::system_clock::time_point now) const;
  static constexpr std::chrono::seconds kSettlingTime{2};

  bool operator==(const FileStamp&) const = default;

  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch, for the content
  std::int64_t changed = 0;   // nanoseconds since the epoch, for the content or anything else the file system keeps
};

}  // namespace platform
