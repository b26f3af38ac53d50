#include "platform/files/folder_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace platform {

namespace {

constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kFileEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;

FolderChange::Kind kindOf(std::uint32_t mask, bool named) {
  if ((mask & (IN_Q_OVERFLOW | IN_UNMOUNT)) != 0) return FolderChange::Kind::lost;
  // The kernel ends a watch on its own when its folder goes; the folder's
  // parent may not tell, when a new folder takes its name and inode.
  if ((mask & (IN_IGNORED | IN_DELETE_SELF)) != 0) return FolderChange::Kind::gone;
  if ((mask & IN_MOVED_FROM) != 0) return FolderChange::Kind::movedAway;
  if ((mask & IN_MOVED_TO) != 0) return FolderChange::Kind::movedHere;
  if ((mask & kEntryEvents) != 0) return FolderChange::Kind::entries;
  // A folder's own attributes (who may read it) change what a walk sees in it.
  if (!named || (mask & IN_ISDIR) != 0) return FolderChange::Kind::entries;
  return FolderChange::Kind::file;
}

// Mount points in the mount table are escaped: "\040" for a space.
std::string unescaped(std::string_view field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) != 0) {
      text += static_cast<char>(std::stoi(std::string(field.substr(i + 1, 3)), nullptr, 8));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

bool within(const std::string& inner, const std::string& outer) {
  return inner.starts_with(outer) && (inner.size() == outer.size() || outer == "/" || inner[outer.size()] == '/');
}

}  // namespace

// The mounts at or below `root`, and those that hold it.
FolderWatch::Mounts FolderWatch::mountsConcerning(int mounts, const std::filesystem::path& root) {
  std::string table;
  std::array<char, 16 * 1024> buffer;
  for (off_t offset = 0;;) {
    const ssize_t length = ::pread(mounts, buffer.data(), buffer.size(), offset);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) break;
    table.append(buffer.data(), static_cast<std::size_t>(length));
    offset += length;
  }
  Mounts concerning;
  for (std::size_t start = 0; start < table.size();) {
    std::size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::string_view line(table.data() + start, end - start);
    // Mount id, parent id, device, root within its file system, mount point, ...
    std::size_t field = 0;
    for (int skipped = 0; skipped < 4 && field != std::string_view::npos; ++skipped) {
      field = line.find(' ', field);
      if (field != std::string_view::npos) ++field;
    }
    if (field != std::string_view::npos) {
      const std::string mountPoint = unescaped(line.substr(field, line.find(' ', field) - field));
      if (within(mountPoint, root.native()) || within(root.native(), mountPoint)) {
        concerning.lines.append(line).append("\n");
      }
      if (mountPoint != root.native() && within(mountPoint, root.native())) concerning.below.push_back(mountPoint);
    }
    start = end + 1;
  }
  return concerning;
}

namespace {

// The mount table names folders with no link in their path.
std::filesystem::path withoutLinks(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::path real = std::filesystem::weakly_canonical(root, error);
  return error ? root : real;
}

}  // namespace

FolderWatch::FolderWatch(int descriptor, int mounts, std::filesystem::path root)
    : descriptor_(descriptor), mounts_(mounts), root_(withoutLinks(root)), rootMounts_(mountsConcerning(mounts, root_)) {}

// Any change to the mount table signals; only one that concerns the root counts.
bool FolderWatch::mountsChanged() {
  pollfd mounts{mounts_, POLLPRI, 0};
  if (::poll(&mounts, 1, 0) <= 0 || (mounts.revents & (POLLPRI | POLLERR)) == 0) return false;
  Mounts now = mountsConcerning(mounts_, root_);
  if (now.lines == rootMounts_.lines) return false;
  rootMounts_ = std::move(now);
  return true;
}

bool FolderWatch::isMountPoint(std::string_view below) const {
  const std::string folder = (root_ / below).native();
  return std::ranges::find(rootMounts_.below, folder) != rootMounts_.below.end();
}

std::optional<FolderWatch> FolderWatch::create(const std::filesystem::path& root) {
  const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  // A file system mounted on a watched folder changes what it holds unnoted.
  const int mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (mounts < 0) {
    ::close(descriptor);
    return std::nullopt;
  }
  return FolderWatch(descriptor, mounts, root);
}

void FolderWatch::whenQueued(std::function<void()> queued) {
  queued_ = std::make_unique<QSocketNotifier>(descriptor_, QSocketNotifier::Read);
  QObject::connect(queued_.get(), &QSocketNotifier::activated, std::move(queued));
}

FolderWatch::~FolderWatch() {
  queued_.reset();
  if (descriptor_ >= 0) ::close(descriptor_);
  if (mounts_ >= 0) ::close(mounts_);
}

FolderWatch::FolderWatch(FolderWatch&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      mounts_(std::exchange(other.mounts_, -1)),
      root_(std::move(other.root_)),
      rootMounts_(std::move(other.rootMounts_)),
      queued_(std::move(other.queued_)) {}

std::optional<int> FolderWatch::watch(const std::filesystem::path& folder) {
  const int watch = inotify_add_watch(descriptor_, folder.c_str(),
                                      kEntryEvents | kFileEvents | kSelfEvents | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK);
  if (watch < 0) return std::nullopt;
  return watch;
}

void FolderWatch::unwatch(int watch) { inotify_rm_watch(descriptor_, watch); }

std::vector<FolderChange> FolderWatch::changes() {
  std::vector<FolderChange> changes;
  if (mountsChanged()) changes.push_back({FolderChange::Kind::lost, -1, {}, 0});
  alignas(inotify_event) std::array<char, 64 * 1024> buffer;
  while (true) {
    const ssize_t length = ::read(descriptor_, buffer.data(), buffer.size());
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) break;
    for (ssize_t offset = 0; offset < length;) {
      inotify_event event;
      std::memcpy(&event, buffer.data() + offset, sizeof event);
      const char* name = buffer.data() + offset + sizeof event;
      std::string named(name, event.len > 0 ? strnlen(name, event.len) : 0);
      changes.push_back({kindOf(event.mask, !named.empty()), event.wd, std::move(named), event.cookie});
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
  static constexpr std::array<unsigned long, 16> kFullyWatchable = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // XFS
      0x9123683E,  // Btrfs
      0xF2F52010,  // F2FS
      0x01021994,  // tmpfs
      0x858458F6,  // ramfs
      0xCA451A4E,  // bcachefs
      0x3153464A,  // JFS
      0x52654973,  // ReiserFS
      0x3434,      // NILFS
      0x2FC12FC1,  // ZFS
      0x4D44,      // FAT
      0x2011BAB0,  // exFAT (both numbering files anew: keepsInodeNumbers)
      0x7366746E,  // NTFS (ntfs3)
      0x482B,      // HFS+
      0x15013346,  // UDF
  };
  return std::ranges::find(kFullyWatchable, static_cast<unsigned long>(type) & 0xFFFFFFFFUL) != kFullyWatchable.end();
}

bool keepsInodeNumbers(long type) {
  const unsigned long magic = static_cast<unsigned long>(type) & 0xFFFFFFFFUL;
  return magic != 0x4D44 && magic != 0x2011BAB0;
}

long WatchBudget::fairShare() {
  // The kernel's default where the limit cannot be read.
  long limit = 8192;
  if (FILE* file = std::fopen("/proc/sys/fs/inotify/max_user_watches", "re")) {
    if (std::fscanf(file, "%ld", &limit) != 1) limit = 8192;
    std::fclose(file);
  }
  return limit / 2;
}

bool WatchBudget::take() {
  long left = left_.load();
  while (left > 0) {
    if (left_.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

}  // namespace platform
