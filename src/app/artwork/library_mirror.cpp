#include "app/artwork/library_mirror.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "app/artwork/artwork_extraction.h"
#include "app/artwork/candidate_files.h"
#include "platform/files/directory_walk.h"

namespace sonvetta {

namespace fs = std::filesystem;

namespace {

std::optional<struct stat> realFolder(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
  return status;
}

}  // namespace

std::optional<TrackFingerprint> LibraryMirror::Candidate::fingerprint() {
  if (known_) return known_;
  std::optional<TrackFingerprint> read = readTrackFingerprint(file());
  // A read that failed says nothing; the next search reads the file again.
  if (remembered_) known_ = read;
  return read;
}

LibraryMirror::LibraryMirror(fs::path root, platform::FolderWatch watch, platform::FileSystemTypeOf typeOf,
                             dev_t device, ino_t inode)
    : root_(std::move(root)), watch_(std::move(watch)), typeOf_(std::move(typeOf)), device_(device), inode_(inode) {}

LibraryMirror::~LibraryMirror() = default;

std::unique_ptr<LibraryMirror> LibraryMirror::build(const fs::path& root, const platform::FileSystemTypeOf& typeOf,
                                                    const std::atomic<bool>& abandoned, Refusal& refusal) {
  refusal = Refusal::lasting;
  const std::optional<struct stat> status = realFolder(root);
  if (!status) return nullptr;
  std::optional<platform::FolderWatch> watch = platform::FolderWatch::create();
  if (!watch) return nullptr;
  refusal = Refusal::passing;
  std::unique_ptr<LibraryMirror> mirror(
      new LibraryMirror(root, std::move(*watch), typeOf, status->st_dev, status->st_ino));
  if (!mirror->fill(mirror->top_, root.string(), &abandoned)) {
    refusal = mirror->refusal_;
    return nullptr;
  }
  // One folder in two places, or the root replaced while it was read.
  if (!mirror->takenOver_.empty() || !mirror->rootIsTheSame()) return nullptr;
  refusal = Refusal::none;
  return mirror;
}

// The watch comes before the listing, so that a change made after the
// listing was read is noted; one made before it is in the listing.
bool LibraryMirror::fill(Folder& folder, const std::string& path, const std::atomic<bool>* building) {
  // A folder gone while it was read is no reason to give up for good.
  refusal_ = Refusal::passing;
  if (building != nullptr && *building) return false;
  const std::optional<long> type = typeOf_(path);
  if (!type) return false;
  refusal_ = Refusal::lasting;
  if (!platform::isFullyWatchable(*type)) return false;
  const std::optional<int> watch = watch_.watch(path);
  if (!watch) {
    if (errno != ENOSPC) refusal_ = Refusal::passing;
    return false;
  }
  if (const auto earlier = watches_.find(*watch); earlier != watches_.end()) {
    earlier->second->watch = -1;
    takenOver_.push_back(earlier->second);
  }
  folder.watch = *watch;
  watches_[*watch] = &folder;

  std::optional<std::vector<platform::FolderEntry>> listing = platform::listFolder(path);
  // A folder that cannot be read is passed over by a walk: nothing in it.
  if (!listing) return true;
  folder.entries.reserve(listing->size());
  for (platform::FolderEntry& listed : *listing) {
    const std::string below = path + "/" + listed.name;
    Entry entry{std::move(listed.name), listed.inode, isAudioFileName(fs::path(below)), listed.link, std::nullopt,
                nullptr};
    if (listed.entered) {
      entry.folder = std::make_unique<Folder>(Folder{&folder, entry.name, -1, {}});
      if (!fill(*entry.folder, below, building)) return false;
    }
    // Read while the mirror is made, so that no search has to; a change
    // made since the read is noted and read again.
    if (entry.candidate && !entry.link && building != nullptr) entry.fingerprint = readTrackFingerprint(below);
    folder.entries.push_back(std::move(entry));
  }
  return true;
}

// Keeps what it knows of every entry still there under its name and inode;
// new entries it reads, new folders whole, with their watches.
bool LibraryMirror::relist(Folder& folder) {
  const std::string path = pathOf(folder);
  std::optional<std::vector<platform::FolderEntry>> listing = platform::listFolder(path);
  std::vector<Entry> former = std::move(folder.entries);
  folder.entries.clear();
  std::unordered_map<std::string_view, std::size_t> byName;
  for (std::size_t i = 0; i < former.size(); ++i) byName.emplace(former[i].name, i);

  bool promised = true;
  if (listing) {
    folder.entries.reserve(listing->size());
    for (platform::FolderEntry& listed : *listing) {
      const auto known = byName.find(listed.name);
      if (known != byName.end()) {
        Entry& kept = former[known->second];
        if (kept.inode == listed.inode && (kept.folder != nullptr) == listed.entered) {
          byName.erase(known);
          folder.entries.push_back(std::move(kept));
          continue;
        }
      }
      const std::string below = path + "/" + listed.name;
      Entry entry{std::move(listed.name), listed.inode, isAudioFileName(fs::path(below)), listed.link, std::nullopt,
                  nullptr};
      if (listed.entered) {
        entry.folder = std::make_unique<Folder>(Folder{&folder, entry.name, -1, {}});
        promised = promised && fill(*entry.folder, below, nullptr);
      }
      folder.entries.push_back(std::move(entry));
    }
  }
  for (const auto& [name, index] : byName) {
    if (former[index].folder) drop(*former[index].folder);
  }
  return promised;
}

void LibraryMirror::drop(Folder& folder) {
  for (Entry& entry : folder.entries) {
    if (entry.folder) drop(*entry.folder);
  }
  if (folder.watch >= 0) {
    watch_.unwatch(folder.watch);
    watches_.erase(folder.watch);
  }
  dropped_.insert(&folder);
}

std::string LibraryMirror::pathOf(const Folder& folder) const {
  if (folder.parent == nullptr) return root_.string();
  return pathOf(*folder.parent) + "/" + folder.name;
}

bool LibraryMirror::rootIsTheSame() const {
  const std::optional<struct stat> status = realFolder(root_);
  return status && status->st_dev == device_ && status->st_ino == inode_;
}

bool LibraryMirror::catchUp() {
  const std::vector<platform::FolderChange> changes = watch_.changes();
  if (!rootIsTheSame()) return false;

  std::vector<int> relisted;
  std::unordered_map<int, std::unordered_set<std::string>> rewritten;
  for (const platform::FolderChange& change : changes) {
    switch (change.kind) {
      case platform::FolderChange::Kind::lost:
        return false;
      case platform::FolderChange::Kind::gone:
        // The folder's parent notes it too; only the root has none here.
        if (change.watch == top_.watch) return false;
        break;
      case platform::FolderChange::Kind::entries:
        if (std::ranges::find(relisted, change.watch) == relisted.end()) relisted.push_back(change.watch);
        break;
      case platform::FolderChange::Kind::file:
        rewritten[change.watch].insert(change.name);
        break;
    }
  }

  dropped_.clear();
  for (const int watch : relisted) {
    // Gone with a folder above it that was listed again first.
    const auto folder = watches_.find(watch);
    if (folder != watches_.end() && !relist(*folder->second)) return false;
  }
  for (const auto& [watch, names] : rewritten) {
    const auto folder = watches_.find(watch);
    if (folder == watches_.end()) continue;
    for (Entry& entry : folder->second->entries) {
      if (names.contains(entry.name)) entry.fingerprint.reset();
    }
  }
  // A folder's watch moved with it; but one folder shown in two places has
  // one watch for both, and the other would no longer hear of changes.
  const bool eachWatched = std::ranges::all_of(takenOver_, [this](const Folder* folder) { return dropped_.contains(folder); });
  takenOver_.clear();
  return eachWatched;
}

void LibraryMirror::search(const std::function<bool(Candidate&)>& visit) {
  struct Level {
    Folder* folder;
    std::size_t next;
    std::size_t pathLength;
  };
  std::string path = root_.string();
  std::vector<Level> levels{{&top_, 0, path.size()}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.folder->entries.size()) {
      levels.pop_back();
      continue;
    }
    Entry& entry = level.folder->entries[level.next++];
    path.resize(level.pathLength);
    if (entry.candidate) {
      Candidate candidate(path, entry.name, entry.fingerprint, !entry.link);
      if (visit(candidate)) return;
    }
    if (entry.folder) {
      path += "/";
      path += entry.name;
      levels.push_back({entry.folder.get(), 0, path.size()});
    }
  }
}

}  // namespace sonvetta
