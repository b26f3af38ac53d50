#include "platform/files/folder_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

namespace {

constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kFileEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

FolderChange::Kind kindOf(std::uint32_t mask, bool named) {
  if ((mask & (IN_Q_OVERFLOW | IN_UNMOUNT)) != 0) return FolderChange::Kind::lost;
  if ((mask & kSelfEvents) != 0) return FolderChange::Kind::gone;
  if ((mask & kEntryEvents) != 0) return FolderChange::Kind::entries;
  // A folder's own attributes (who may read it) change what a walk sees in it.
  if (!named || (mask & IN_ISDIR) != 0) return FolderChange::Kind::entries;
  return FolderChange::Kind::file;
}

}  // namespace

std::optional<FolderWatch> FolderWatch::create() {
  const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  // A file system mounted on a watched folder changes what it holds unnoted.
  const int mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (mounts < 0) {
    ::close(descriptor);
    return std::nullopt;
  }
  return FolderWatch(descriptor, mounts);
}

FolderWatch::~FolderWatch() {
  if (descriptor_ >= 0) ::close(descriptor_);
  if (mounts_ >= 0) ::close(mounts_);
}

FolderWatch::FolderWatch(FolderWatch&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), mounts_(std::exchange(other.mounts_, -1)) {}

std::optional<int> FolderWatch::watch(const std::filesystem::path& folder) {
  const int watch = inotify_add_watch(descriptor_, folder.c_str(),
                                      kEntryEvents | kFileEvents | kSelfEvents | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
  if (watch < 0) return std::nullopt;
  return watch;
}

void FolderWatch::unwatch(int watch) { inotify_rm_watch(descriptor_, watch); }

std::vector<FolderChange> FolderWatch::changes() {
  std::vector<FolderChange> changes;
  pollfd mounts{mounts_, POLLPRI, 0};
  if (::poll(&mounts, 1, 0) > 0 && (mounts.revents & (POLLPRI | POLLERR)) != 0) {
    changes.push_back({FolderChange::Kind::lost, -1, {}});
  }
  alignas(inotify_event) std::array<char, 64 * 1024> buffer;
  while (true) {
    const ssize_t length = ::read(descriptor_, buffer.data(), buffer.size());
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      inotify_event event;
      std::memcpy(&event, buffer.data() + offset, sizeof event);
      const char* name = buffer.data() + offset + sizeof event;
      if ((event.mask & IN_IGNORED) == 0) {
        std::string named(name, event.len > 0 ? strnlen(name, event.len) : 0);
        changes.push_back({kindOf(event.mask, !named.empty()), event.wd, std::move(named)});
      }
      offset += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
  return changes;
}

std::optional<long> fileSystemType(const std::filesystem::path& path) {
  struct statfs status {};
  if (::statfs(path.c_str(), &status) != 0) return std::nullopt;
  return static_cast<long>(status.f_type);
}

bool isFullyWatchable(long type) {
  static constexpr std::array<unsigned long, 12> kPartlyWatchable = {
      0x6969,      // NFS
      0x517B,      // SMB
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x5346414F,  // AFS
      0x6B414653,  // kAFS
      0x00C36400,  // Ceph
      0x01021997,  // 9P
      0x65735546,  // FUSE
      0x47504653,  // GPFS
      0x0BD00BD0,  // Lustre
      0x013111A8,  // IBRIX
  };
  return std::ranges::find(kPartlyWatchable, static_cast<unsigned long>(type) & 0xFFFFFFFFUL) == kPartlyWatchable.end();
}

}  // namespace platform
