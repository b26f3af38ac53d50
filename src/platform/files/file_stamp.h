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

  // True when the file had been left alone long enough, by the time the stamp
  // was taken, for its next change to show in its stamp: for longer than the
  // coarsest tick of the file systems a music library lives on (FAT's). What
  // was read of a file after its stamp was taken can be trusted to go with
  // the stamp only then, however long ago that was.
  bool isSettled() const;
  static constexpr std::chrono::seconds kSettlingTime{2};

  // Where a file system numbers files anew (keepsInodeNumbers), what stays
  // of an unchanged file's stamp: its size and modification time.
  bool sameSizeAndTime(const FileStamp& other) const { return size == other.size && modified == other.modified; }

  // Two stamps of one unchanged file are equal, whenever they were taken.
  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
           changed == other.changed;
  }

  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since the epoch, for the content
  std::int64_t changed = 0;   // nanoseconds since the epoch, for the content or anything else the file system keeps
  // Names the file has: a file with more than one can change through a name
  // in a folder nobody watches.
  nlink_t links = 1;
  // No later than the moment the file was looked at.
  std::chrono::system_clock::time_point takenAt = std::chrono::system_clock::now();
};

}  // namespace platform
