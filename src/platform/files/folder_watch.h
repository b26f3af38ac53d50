#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// What the kernel noted about a watched folder.
struct FolderChange {
  enum class Kind {
    entries,  // entries came, went or were renamed; or the folder's own attributes changed
    file,     // the file `name` in it was written, or its attributes changed
    gone,     // the folder itself was removed or moved away
    lost,     // notes were lost (the queue overflowed, a file system was mounted or went away): anything may have changed
  };
  Kind kind;
  int watch = -1;
  std::string name;
};

// Folders watched with inotify for changes to their entries and to the files
// in them. Each change is queued by the kernel before the call that made it
// returns, so changes() sees every change completed before it is called.
class FolderWatch {
 public:
  // None when the kernel gives no inotify instance (the limit on instances).
  static std::optional<FolderWatch> create();
  ~FolderWatch();
  FolderWatch(FolderWatch&& other) noexcept;
  FolderWatch& operator=(FolderWatch&&) = delete;
  FolderWatch(const FolderWatch&) = delete;

  // The watch of the folder `folder` itself (links are not followed): its
  // number, or none when it cannot be watched: gone, or the limit on watches
  // reached (errno ENOSPC).
  // A folder watched twice, under any name, has one watch.
  std::optional<int> watch(const std::filesystem::path& folder);
  void unwatch(int watch);

  // Every change queued so far, in order, without waiting.
  std::vector<FolderChange> changes();

 private:
  FolderWatch(int descriptor, int mounts) : descriptor_(descriptor), mounts_(mounts) {}

  int descriptor_;
  int mounts_;  // the process's mount table, which signals when it changes
};

// The type of the file system that holds `path` (statfs's f_type), or none.
using FileSystemTypeOf = std::function<std::optional<long>(const std::filesystem::path&)>;
std::optional<long> fileSystemType(const std::filesystem::path& path);

// Whether inotify sees every change to a file system of `type`: not to
// network file systems (NFS, SMB, AFS, Ceph, 9P, ...), whose files other
// machines change, nor to FUSE, whose files change wherever the daemon says.
bool isFullyWatchable(long type);

}  // namespace platform
