#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/artwork/artwork_extraction.h"
#include "app/artwork/track_fingerprint.h"
#include "platform/files/directory_walk.h"
#include "platform/files/file_stamp.h"
#include "platform/files/folder_watch.h"

namespace sonvetta {

// Whether an entry's name `name` is that of an audio file: mp3, m4a, aac,
// flac or wav, in any letter case. Only the name makes a candidate: a folder
// named like an audio file is one too, and simply has no tags.
bool isAudioFileName(std::string_view name);

// What the library search asks of the machine: the program asks the machine
// itself, tests stand in for it or count what is asked.
struct LibraryAccess {
  platform::FileSystemTypeOf typeOf = platform::fileSystemType;
  std::function<std::optional<std::vector<platform::FolderEntry>>(const std::filesystem::path&)> list =
      platform::listFolder;
  // Called on several threads at once.
  std::function<std::optional<TrackFingerprint>(const std::filesystem::path&)> readTags = readTrackFingerprint;
  long watches = platform::WatchBudget::fairShare();
  // The kernel's instance that watches a root's folders: none when it
  // refuses (the limit on instances a user may have, errno EMFILE).
  std::function<std::optional<platform::FolderWatch>(const std::filesystem::path&)> openWatch =
      platform::FolderWatch::create;
  // The kernel's watch on a folder: none, with errno set, when it refuses.
  std::function<std::optional<int>(platform::FolderWatch&, const std::filesystem::path&)> watch =
      &platform::FolderWatch::watch;
  // The time that the mirror's waits are counted in.
  std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
};

// One library root as a walk sees it, kept in memory as far as a search has
// walked it: each folder's entries in the order the folder yields them and,
// for each audio file, what its tags said and the file's stamp when they were
// read. About 175 bytes a file.
//
// A folder the kernel watches (inotify) is taken from memory: its notes of
// what changed keep it true. The mirror takes them in as they come, from the
// event loop, and before each search, marking the folders and files they
// name to be looked at again; an entry renamed or moved between watched
// folders keeps what is known of it. Any other folder is listed again whenever a search comes to it, as a
// walk would: one whose file system inotify cannot fully watch, one that
// cannot be read or watched, one shown a second time (a bind mount), and
// those beyond the library's share of watches. Either way a file's tags are
// read again only once its stamp (inode, size, modification and change
// times; on FAT and exFAT, which number files anew, size and modification
// time) is no longer the one they were read with; the stamp is looked at
// wherever the folder's notes cannot vouch for the file: outside watched
// folders, after notes were lost, for links and for files with several names.
class LibraryMirror {
 public:
  // Knows nothing yet: the first search lists each folder as it comes to it.
  LibraryMirror(std::filesystem::path root, std::shared_ptr<const LibraryAccess> access,
                std::shared_ptr<platform::WatchBudget> budget);
  ~LibraryMirror();
  LibraryMirror(const LibraryMirror&) = delete;
  LibraryMirror& operator=(const LibraryMirror&) = delete;

  // Goes on with the walk of the whole root until `until`, on the calling
  // thread, never waiting for a file: files are read ahead at idle priority
  // and taken in as they are done. A search ends this walk and takes its
  // place; the next call begins again, from what the mirror has kept.
  enum class Warming {
    walkedThrough,  // or nothing more that it can do: no thread to read on
    going,
    stalled,        // nothing was read meanwhile
  };
  Warming warm(std::chrono::steady_clock::time_point until);

  // Takes in every change queued since the last call, and what the walk of
  // warm() has read; false when the root is no longer the folder the mirror
  // was made of.
  bool catchUp();

  // Hands `visit` each audio file in the walk's order, with what its tags say
  // (none when the file could not be read through), until it says it has
  // found what it wanted. Folders are listed, and files read, as the search
  // comes to them; files never read are read on the machine's other cores a
  // little ahead of it, within the folders already listed.
  void search(const std::function<bool(const std::string& file, std::optional<TrackFingerprint> fingerprint)>& visit);

  // Whether a search or warm() has come to the end of the root.
  bool walkedThrough() const { return walkedThrough_; }

 private:
  class Walk;
  struct Folder;
  struct Known {
    platform::FileStamp stamp;  // taken before the read
    TrackFingerprint fingerprint;
  };
  struct Entry {
    std::string name;
    ino_t inode;
    bool candidate;  // named like an audio file
    bool link;
    // The folder's notes say the file is as it was when `known` was taken.
    bool vouched = false;
    std::optional<Known> known;
    std::unique_ptr<Folder> folder;  // of folders the walk enters
    // Renamed or moved since `known` was taken, which changed only its
    // change time.
    bool moved = false;
  };
  struct Folder {
    Folder* parent = nullptr;
    int watch = -1;
    bool listed = false;  // since it was watched, and no note lost since
    // Its watch has noted every change since it was last listed, so the
    // notes still vouch for the files it had.
    bool noted = false;
    std::optional<long> fileSystem = std::nullopt;  // its type, as the last listing found it
    std::vector<Entry> entries = {};
  };

  static bool current(const Folder& folder) { return folder.watch >= 0 && folder.listed; }
  // Else its files are known by name, size and modification time alone.
  static bool keepsInodes(const Folder& folder) {
    return !folder.fileSystem || platform::keepsInodeNumbers(*folder.fileSystem);
  }
  std::optional<int> watchFolder(Folder& folder, const std::string& path);
  bool openWatch();
  void list(Folder& folder, const std::string& path);
  void unwatch(Folder& folder);
  void drop(Folder& folder);
  void moveAway(Folder& folder, const platform::FolderChange& change);
  void moveHere(Folder* folder, const platform::FolderChange& change);
  void forgetMovedAway();
  void endWarming();
  void noteQueued();
  void changesQueued();
  void takeInNoted();
  void forgetWatch(int watch);
  std::optional<TrackFingerprint> fingerprintOf(Entry& entry, const Folder& folder, const std::string& file);
  static bool isKnownFile(const Entry& entry, const Folder& folder, const platform::FileStamp& stamp);
  static void remember(Entry& entry, const std::optional<platform::FileStamp>& stamp,
                       const std::optional<TrackFingerprint>& fingerprint);
  // The root itself and, where it is a link, the folder it leads to.
  struct Identity {
    dev_t device;
    ino_t inode;
    dev_t targetDevice;
    ino_t targetInode;
    bool operator==(const Identity&) const = default;
  };
  std::optional<Identity> identity() const;

  std::filesystem::path root_;
  std::shared_ptr<const LibraryAccess> access_;
  std::shared_ptr<platform::WatchBudget> budget_;
  std::optional<platform::FolderWatch> watch_;
  std::optional<Identity> identity_;
  // Where the root leads, links followed: the kernel watches no link.
  std::filesystem::path target_;
  Folder top_;
  std::unordered_map<int, Folder*> watches_;
  // After the kernel said it had no more watches, or no instance to hold
  // them, none is asked for until then, or until one of ours is freed.
  std::chrono::steady_clock::time_point noWatchesBefore_{};
  bool walkedThrough_ = false;
  std::unique_ptr<Walk> warming_;
  // Changes taken from the kernel as they came, and not yet taken in.
  std::vector<platform::FolderChange> noted_;
  // Entries moved away from a watched folder, by the move's cookie, until
  // the other half of the move says where to.
  std::unordered_map<std::uint32_t, Entry> movedAway_;
};

}  // namespace sonvetta
