#include "app/artwork/library_mirror.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <deque>
#include <string_view>

#include "platform/files/read_ahead.h"

namespace sonvetta {

namespace fs = std::filesystem;

namespace {

// Long enough that a library beyond the kernel's limit does not ask at every
// search; a watch freed by the mirror ends it at once.
constexpr std::chrono::seconds kNoWatchesBackOff{60};

// Enough to keep a few readers busy while the walk goes on; few enough that
// little is read in vain past the file that matches.
constexpr std::size_t kWindowSize = 64;

fs::path targetOf(const fs::path& root) {
  std::error_code error;
  fs::path target = fs::canonical(root, error);
  return error ? root : target;
}

constexpr std::array<std::string_view, 5> kAudioFileExtensions = {"mp3", "m4a", "aac", "flac", "wav"};

}  // namespace

// Called for every entry of the library: no allocation. The extensions are
// ASCII, and no other letter lowercases to one of theirs.
bool isAudioFileName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = name.substr(dot + 1);
  return std::ranges::any_of(kAudioFileExtensions, [extension](std::string_view known) {
    return std::ranges::equal(extension, known, [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
  });
}

// Goes through the mirror in the walk's order. A search's walk lists each
// folder that is not current when it comes to it, never sooner: the files it
// reads ahead are those of folders already listed, and it waits for the file
// it comes to. The warm-up's walk never waits for a read, so it lists ahead
// as far as its window goes and reads at idle priority every file that
// memory cannot vouch for.
class LibraryMirror::Walk {
 public:
  enum class Pace { search, warmUp };
  struct Found {
    std::string file;
    std::optional<TrackFingerprint> fingerprint;
  };

  Walk(LibraryMirror& mirror, Pace pace)
      : mirror_(mirror),
        pace_(pace),
        reading_(
            [tags = mirror.access_->readTags](const fs::path& file) {
              std::optional<platform::FileStamp> stamp = platform::FileStamp::of(file);
              return Reading{stamp, tags(file)};
            },
            pace == Pace::search ? platform::WorkPool::Priority::normal : platform::WorkPool::Priority::idle) {
    levels_.push_back({&mirror.top_, 0, mirror.root_.string(), !current(mirror.top_)});
  }

  // The next candidate, once read; none at the end.
  std::optional<Found> next() {
    fill();
    if (window_.empty()) {
      mirror_.walkedThrough_ = true;
      return std::nullopt;
    }
    Ahead first = std::move(window_.front());
    window_.pop_front();
    if (!first.readAhead) return Found{first.file, mirror_.fingerprintOf(*first.entry, *first.folder, first.file)};
    Reading reading = reading_.take();
    remember(*first.entry, reading.stamp, reading.fingerprint);
    return Found{std::move(first.file), reading.fingerprint};
  }

  enum class Taken { file, waiting, end };
  // Takes in the next candidate if nothing has to be waited for.
  Taken takeInNext() {
    fill();
    if (window_.empty()) {
      mirror_.walkedThrough_ = true;
      return Taken::end;
    }
    if (passFirst()) return Taken::file;
    return reading_.attended() ? Taken::waiting : Taken::end;
  }

  // Keeps what the readers have finished, in the walk's order, and nothing
  // after the first file still being read.
  void keepWhatIsRead() {
    while (!window_.empty() && passFirst()) {
    }
  }

 private:
  struct Level {
    Folder* folder;
    std::size_t next;
    std::string path;
    bool toList;
  };
  struct Ahead {
    Entry* entry;
    const Folder* folder;
    std::string file;
    bool readAhead;  // else known, or read when it is come to
  };
  struct Reading {
    std::optional<platform::FileStamp> stamp;
    std::optional<TrackFingerprint> fingerprint;
  };

  void fill() {
    while (window_.size() < kWindowSize && step(pace_ == Pace::warmUp || window_.empty())) {
    }
  }

  // Passes the window's first candidate unless its read is still to be
  // waited for, remembering what was read; one not read ahead needs nothing.
  bool passFirst() {
    if (window_.front().readAhead) {
      std::optional<Reading> reading = reading_.takeIfRead();
      if (!reading) return false;
      remember(*window_.front().entry, reading->stamp, reading->fingerprint);
    }
    window_.pop_front();
    return true;
  }

  bool readsAhead(const Entry& entry, const Folder& folder) const {
    if (pace_ == Pace::search) return !entry.known;
    return !(entry.known && entry.vouched && current(folder));
  }

  // Adds the next candidate to the window; false at the end, or where the
  // next step lists a folder and `mayList` does not hold.
  bool step(bool mayList) {
    while (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.toList) {
        if (!mayList) return false;
        mirror_.list(*level.folder, level.path);
        level.toList = false;
      }
      if (level.next == level.folder->entries.size()) {
        levels_.pop_back();
        continue;
      }
      Folder* folder = level.folder;
      Entry& entry = folder->entries[level.next++];
      if (!entry.folder && !entry.candidate) continue;
      std::string path = level.path + "/" + entry.name;
      if (entry.folder) levels_.push_back({entry.folder.get(), 0, path, !current(*entry.folder)});
      if (entry.candidate) {
        const bool readAhead = readsAhead(entry, *folder);
        if (readAhead) reading_.push(path);
        window_.push_back({&entry, folder, std::move(path), readAhead});
        return true;
      }
    }
    return false;
  }

  LibraryMirror& mirror_;
  const Pace pace_;
  std::vector<Level> levels_;
  std::deque<Ahead> window_;
  platform::ReadAhead<Reading> reading_;
};

LibraryMirror::LibraryMirror(fs::path root, std::shared_ptr<const LibraryAccess> access,
                             std::shared_ptr<platform::WatchBudget> budget)
    : root_(std::move(root)),
      access_(std::move(access)),
      budget_(std::move(budget)),
      identity_(identity()),
      target_(targetOf(root_)) {
  openWatch();
}

LibraryMirror::~LibraryMirror() {
  warming_.reset();
  for (std::size_t i = 0; i < watches_.size(); ++i) budget_->giveBack();
}

LibraryMirror::Warming LibraryMirror::warm(std::chrono::steady_clock::time_point until) {
  if (!warming_) {
    takeInNoted();
    warming_ = std::make_unique<Walk>(*this, Walk::Pace::warmUp);
  }
  bool tookAny = false;
  while (std::chrono::steady_clock::now() < until) {
    switch (warming_->takeInNext()) {
      case Walk::Taken::file:
        tookAny = true;
        break;
      case Walk::Taken::waiting:
        return tookAny ? Warming::going : Warming::stalled;
      case Walk::Taken::end:
        warming_.reset();
        return Warming::walkedThrough;
    }
  }
  return Warming::going;
}

void LibraryMirror::endWarming() {
  if (!warming_) return;
  warming_->keepWhatIsRead();
  warming_.reset();
}

void LibraryMirror::search(
    const std::function<bool(const std::string& file, std::optional<TrackFingerprint> fingerprint)>& visit) {
  endWarming();
  Walk walk(*this, Walk::Pace::search);
  while (std::optional<Walk::Found> found = walk.next()) {
    if (!visit(found->file, found->fingerprint)) continue;
    // What was read past the match is what the next search would read.
    walk.keepWhatIsRead();
    return;
  }
}

std::optional<LibraryMirror::Identity> LibraryMirror::identity() const {
  struct stat itself {};
  struct stat target {};
  if (::lstat(root_.c_str(), &itself) != 0 || ::stat(root_.c_str(), &target) != 0) return std::nullopt;
  return Identity{itself.st_dev, itself.st_ino, target.st_dev, target.st_ino};
}

// Only a real folder (no link) on a file system whose every change inotify
// sees, and within the library's share of watches. A folder is on its
// parent's file system unless one is mounted on it: the file system's type
// is asked once, not once a folder.
std::optional<int> LibraryMirror::watchFolder(Folder& folder, const std::string& path) {
  const bool mounted =
      !folder.parent || (watch_ && watch_->isMountPoint(std::string_view(path).substr(root_.native().size() + 1)));
  folder.fileSystem = mounted ? access_->typeOf(path) : folder.parent->fileSystem;
  if (!folder.fileSystem || !platform::isFullyWatchable(*folder.fileSystem)) return std::nullopt;
  const bool held = folder.watch >= 0;
  if (!held && (access_->now() < noWatchesBefore_ || !budget_->take())) return std::nullopt;
  if (!watch_ && !openWatch()) {
    budget_->giveBack();
    return std::nullopt;
  }
  const std::optional<int> watch = access_->watch(*watch_, target_.native() + path.substr(root_.native().size()));
  if (!watch && errno == ENOSPC) noWatchesBefore_ = access_->now() + kNoWatchesBackOff;
  // Each watch the mirror holds is one of the budget's, including the new
  // one of a folder that a file system has been mounted on: the old one is
  // given back once it is replaced.
  const bool ours = watch && !watches_.contains(*watch);
  if (held && ours && !budget_->take()) {
    watch_->unwatch(*watch);
    return std::nullopt;
  }
  if (!held && !ours) budget_->giveBack();
  return watch;
}

bool LibraryMirror::openWatch() {
  std::optional<platform::FolderWatch> opened = access_->openWatch(root_);
  if (!opened) {
    noWatchesBefore_ = access_->now() + kNoWatchesBackOff;
    return false;
  }
  watch_.emplace(std::move(*opened));
  watch_->whenQueued([this] { changesQueued(); });
  return true;
}

// The watch comes before the listing, so that a change made after the
// listing was read is noted; one made before it is in the listing. Entries
// still there under their name and inode keep what is known of them, to be
// vouched for again by their stamps.
void LibraryMirror::list(Folder& folder, const std::string& path) {
  const int heldWatch = folder.watch;
  const std::optional<int> watch = watchFolder(folder, path);
  if (folder.watch >= 0 && watch != folder.watch) unwatch(folder);
  if (watch && folder.watch < 0) {
    // A watch held by another folder: the same folder shown twice (a bind
    // mount), which that one's notes speak for; this one is listed anew.
    if (!watches_.contains(*watch)) {
      folder.watch = *watch;
      watches_[*watch] = &folder;
    }
  }
  // Notes kept unbroken since the last listing vouch for the files still there.
  const bool notesWhole = folder.noted && folder.watch >= 0 && folder.watch == heldWatch;
  std::optional<std::vector<platform::FolderEntry>> listing = access_->list(path);
  // A folder that cannot be read is passed over by a walk: nothing in it.
  folder.listed = listing.has_value();
  folder.noted = folder.listed && folder.watch >= 0;
  std::vector<Entry> former = std::move(folder.entries);
  folder.entries.clear();
  std::unordered_map<std::string_view, std::size_t> byName;
  for (std::size_t i = 0; i < former.size(); ++i) byName.emplace(former[i].name, i);
  if (listing) {
    folder.entries.reserve(listing->size());
    for (platform::FolderEntry& listed : *listing) {
      if (const auto known = byName.find(listed.name); known != byName.end()) {
        Entry& kept = former[known->second];
        if ((kept.inode == listed.inode || !keepsInodes(folder)) && (kept.folder != nullptr) == listed.entered &&
            kept.link == listed.link) {
          byName.erase(known);
          kept.inode = listed.inode;
          kept.vouched = kept.vouched && notesWhole;
          folder.entries.push_back(std::move(kept));
          continue;
        }
      }
      const bool candidate = isAudioFileName(listed.name);
      Entry entry{std::move(listed.name), listed.inode, candidate, listed.link, false, std::nullopt, nullptr};
      if (listed.entered) {
        entry.folder = std::make_unique<Folder>(Folder{.parent = &folder});
      }
      folder.entries.push_back(std::move(entry));
    }
  }
  for (const auto& [name, index] : byName) {
    if (former[index].folder) drop(*former[index].folder);
  }
}

void LibraryMirror::unwatch(Folder& folder) {
  watch_->unwatch(folder.watch);
  forgetWatch(folder.watch);
}

void LibraryMirror::forgetWatch(int watch) {
  const auto found = watches_.find(watch);
  if (found == watches_.end()) return;
  found->second->watch = -1;
  found->second->listed = false;
  found->second->noted = false;
  watches_.erase(found);
  budget_->giveBack();
  noWatchesBefore_ = {};
}

void LibraryMirror::drop(Folder& folder) {
  for (Entry& entry : folder.entries) {
    if (entry.folder) drop(*entry.folder);
  }
  if (folder.watch >= 0) unwatch(folder);
}

bool LibraryMirror::catchUp() {
  endWarming();
  if (!watch_) return identity() == identity_;
  noteQueued();
  if (identity() != identity_) return false;
  takeInNoted();
  // Every move made before the search has both its halves queued by now.
  forgetMovedAway();
  return true;
}

// A renamed or moved entry keeps what is known of it, a folder its whole
// tree and watches, for the listings to come: they find it under its new
// name with its inode. Until then the folders are not current.
void LibraryMirror::moveAway(Folder& folder, const platform::FolderChange& change) {
  folder.listed = false;
  const auto moved = std::ranges::find(folder.entries, change.name, &Entry::name);
  if (moved == folder.entries.end()) return;
  movedAway_.insert_or_assign(change.cookie, std::move(*moved));
  folder.entries.erase(moved);
}

// Whatever had the name before is gone; an entry that came from outside
// the watched folders is left to the listing.
void LibraryMirror::moveHere(Folder* folder, const platform::FolderChange& change) {
  auto moved = movedAway_.extract(change.cookie);
  if (!folder) {
    if (moved && moved.mapped().folder) drop(*moved.mapped().folder);
    return;
  }
  folder->listed = false;
  if (const auto former = std::ranges::find(folder->entries, change.name, &Entry::name);
      former != folder->entries.end()) {
    if (former->folder) drop(*former->folder);
    folder->entries.erase(former);
  }
  if (!moved) return;
  // Checked again, by its stamp or its listing, as whatever was read through
  // its old name may have come from what took that name since.
  Entry& entry = moved.mapped();
  entry.name = change.name;
  entry.vouched = false;
  entry.moved = true;
  if (entry.folder) {
    entry.folder->parent = folder;
    entry.folder->listed = entry.folder->noted = false;
  }
  folder->entries.push_back(std::move(entry));
}

// Moved out of the library, or to a folder that no watch notes.
void LibraryMirror::forgetMovedAway() {
  for (auto& [cookie, entry] : movedAway_) {
    if (entry.folder) drop(*entry.folder);
  }
  movedAway_.clear();
}

void LibraryMirror::noteQueued() {
  const std::vector<platform::FolderChange> changes = watch_->changes();
  noted_.insert(noted_.end(), changes.begin(), changes.end());
}

// The walk of warm() holds on to entries that changes move, so they wait for
// it to end: until a search comes, or the walk has gone through the root,
// or they are so many that keeping them costs more than the walk's reads
// lost.
void LibraryMirror::changesQueued() {
  constexpr std::size_t kMostWaiting = 1 << 16;
  noteQueued();
  if (warming_ && noted_.size() < kMostWaiting) return;
  endWarming();
  takeInNoted();
}

void LibraryMirror::takeInNoted() {
  const std::vector<platform::FolderChange> changes = std::exchange(noted_, {});
  for (const platform::FolderChange& change : changes) {
    const auto found = watches_.find(change.watch);
    switch (change.kind) {
      case platform::FolderChange::Kind::lost:
        // Every folder is listed again and every file's stamp looked at, as
        // a walk would; no tags are read again but those of changed files.
        for (const auto& [watch, folder] : watches_) folder->listed = folder->noted = false;
        break;
      case platform::FolderChange::Kind::gone:
        // Its name may come back with a new folder under the old inode:
        // listed and watched anew, whatever its parent's notes say.
        forgetWatch(change.watch);
        break;
      case platform::FolderChange::Kind::entries:
        if (found == watches_.end()) break;
        found->second->listed = false;
        // Whatever has the name now, made anew or taken away, is not what
        // the notes knew.
        for (Entry& entry : found->second->entries) {
          if (entry.name == change.name) entry.vouched = false;
        }
        break;
      case platform::FolderChange::Kind::movedAway:
        if (found != watches_.end()) moveAway(*found->second, change);
        break;
      case platform::FolderChange::Kind::movedHere:
        moveHere(found != watches_.end() ? found->second : nullptr, change);
        break;
      case platform::FolderChange::Kind::file:
        if (found == watches_.end()) break;
        for (Entry& entry : found->second->entries) {
          if (entry.name == change.name) entry.known.reset();
        }
        break;
    }
  }
}

std::optional<TrackFingerprint> LibraryMirror::fingerprintOf(Entry& entry, const Folder& folder,
                                                             const std::string& file) {
  if (entry.known && entry.vouched && current(folder)) return entry.known->fingerprint;
  std::optional<platform::FileStamp> stamp = platform::FileStamp::of(file);
  if (stamp && entry.known && isKnownFile(entry, folder, *stamp)) {
    if (entry.moved && stamp->isSettled()) {
      entry.known->stamp = *stamp;
      entry.moved = false;
    }
    entry.vouched = !entry.link && stamp->links == 1;
    return entry.known->fingerprint;
  }
  const std::optional<TrackFingerprint> fingerprint = access_->readTags(file);
  remember(entry, stamp, fingerprint);
  return fingerprint;
}

bool LibraryMirror::isKnownFile(const Entry& entry, const Folder& folder, const platform::FileStamp& stamp) {
  const platform::FileStamp& known = entry.known->stamp;
  if (!keepsInodes(folder)) return known.sameSizeAndTime(stamp);
  if (entry.moved) return known.device == stamp.device && known.inode == stamp.inode && known.sameSizeAndTime(stamp);
  return known == stamp;
}

// A read that failed says nothing about the file, however its stamp stays;
// and a file changed too recently for its next change to show in its stamp
// is read again next time.
void LibraryMirror::remember(Entry& entry, const std::optional<platform::FileStamp>& stamp,
                             const std::optional<TrackFingerprint>& fingerprint) {
  entry.moved = false;
  if (!stamp || !fingerprint || !stamp->isSettled()) {
    entry.known.reset();
    return;
  }
  entry.known = Known{*stamp, *fingerprint};
  // Only the folder's own notes vouch for it, and only for a file that no
  // other name can change.
  entry.vouched = !entry.link && stamp->links == 1;
}

}  // namespace sonvetta
