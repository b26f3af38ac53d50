#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

namespace platform {

// What the kernel noted about a watched folder.
struct FolderChange {
  enum class Kind {
    entries,    // entries came or went; or the folder's own attributes changed
    movedAway,  // the entry `name` was renamed, or moved to another folder
    movedHere,  // an entry was renamed `name`, or moved here
    file,     // the file `name` in it was written, or its attributes changed
    gone,     // the folder's watch ended: it was removed, or its file system went away
    lost,     // notes were lost (the queue overflowed, a file system was mounted or went away): anything may have changed
  };
  Kind kind;
  int watch = -1;
  std::string name;
  // The same for both halves of one move, and for no other.
  std::uint32_t cookie = 0;
};

// Folders below one root watched with inotify for changes to their entries
// and to the files in them. Each change is queued by the kernel before the
// call that made it returns, so changes() sees every change completed before
// it is called.
class FolderWatch {
 public:
  // None when the kernel gives no inotify instance (the limit on instances).
  // Mounts count as lost notes only where they change what `root` shows:
  // at or below it, or the file systems that hold it.
  static std::optional<FolderWatch> create(const std::filesystem::path& root);
  ~FolderWatch();
  FolderWatch(FolderWatch&& other) noexcept;
  FolderWatch& operator=(FolderWatch&&) = delete;
  FolderWatch(const FolderWatch&) = delete;

  // The watch of the folder `folder` itself (links are not followed): its
  // number, or none when it cannot be watched: gone, unreadable, or the
  // limit on watches reached (errno ENOSPC).
  // A folder watched twice, under any name, has one watch.
  std::optional<int> watch(const std::filesystem::path& folder);
  void unwatch(int watch);

  // Every change queued so far, in order, without waiting.
  std::vector<FolderChange> changes();

  // Has `queued` called from this thread's event loop whenever the kernel
  // has queued changes, so that they are taken in as they come: the kernel's
  // queue holds only so many (fs.inotify.max_queued_events) before it drops
  // them all.
  void whenQueued(std::function<void()> queued);

  // Whether a file system is mounted on the folder `below` (its path from the
  // root), as the mount table said when changes() last looked: any other
  // folder is on its parent's file system.
  bool isMountPoint(std::string_view below) const;

 private:
  struct Mounts {
    std::string lines;               // of the mount table, that concern the root
    std::vector<std::string> below;  // the mount points below the root
  };

  FolderWatch(int descriptor, int mounts, std::filesystem::path root);
  static Mounts mountsConcerning(int mounts, const std::filesystem::path& root);
  bool mountsChanged();

  int descriptor_;
  int mounts_;  // the process's mount table, which signals when it changes
  std::filesystem::path root_;
  Mounts rootMounts_;
  std::unique_ptr<QSocketNotifier> queued_;
};

// A share of the user's inotify watches, which the user's editors and sync
// tools need too: a library that needs more is watched only as far as its
// share goes. Shared by threads.
class WatchBudget {
 public:
  explicit WatchBudget(long watches) : left_(watches) {}
  // Half of what the kernel allows the user (fs.inotify.max_user_watches).
  static long fairShare();

  bool take();
  void giveBack() { ++left_; }

 private:
  std::atomic<long> left_;
};

// The type of the file system that holds `path` (statfs's f_type), or none.
using FileSystemTypeOf = std::function<std::optional<long>(const std::filesystem::path&)>;
std::optional<long> fileSystemType(const std::filesystem::path& path);

// Whether inotify sees every change to a file system of `type`: only local
// file systems whose every change is made through this kernel (ext2/3/4,
// XFS, Btrfs, F2FS, tmpfs, FAT, ...). Not network file systems, whose files
// other machines change, nor FUSE, virtiofs, hypervisors' shared folders,
// cluster file systems or overlays, whose files change elsewhere.
bool isFullyWatchable(long type);

// Whether a file keeps its inode number on a file system of `type`: not on
// FAT and exFAT, which number a file anew whenever the kernel has dropped it
// from its cache.
bool keepsInodeNumbers(long type);

}  // namespace platform
