#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/artwork/track_fingerprint.h"
#include "platform/files/folder_watch.h"

namespace sonvetta {

// One library root as a walk sees it, kept in memory: each folder's entries
// in the order the folder yields them and, for each audio file, what its tags
// say about its track once read. The kernel's notes of what changed keep it
// true: before each search it takes in the changes queued, reading again only
// the folders and files they name. About 100 bytes a file.
//
// It holds only what it can promise a fresh walk would see: a root that is a
// real folder (no link) on file systems whose every change inotify sees,
// with every folder watched and no note lost. Where it cannot promise that
// any longer, it says so, and is to be dropped.
class LibraryMirror {
 public:
  // One audio file in the walk's order, as the search comes to it.
  class Candidate {
   public:
    std::filesystem::path file() const { return folder_ + "/" + name_; }
    const std::string& name() const { return name_; }
    // What its tags say, read now if not known; none when it could not be
    // read through, which only reading it again can tell.
    std::optional<TrackFingerprint> fingerprint();

   private:
    friend class LibraryMirror;
    Candidate(const std::string& folder, const std::string& name, std::optional<TrackFingerprint>& known,
              bool remembered)
        : folder_(folder), name_(name), known_(known), remembered_(remembered) {}

    const std::string& folder_;
    const std::string& name_;
    std::optional<TrackFingerprint>& known_;
    bool remembered_;
  };

  // Why no mirror could be made.
  enum class Refusal {
    none,
    lasting,  // no real folder, a file system inotify cannot fully watch, no more watches: trying again gains nothing
    passing,  // the root changed while it was read, or the work was abandoned
  };

  // Reads and watches the whole of `root`, and the tags of every audio file
  // in it; none where it cannot promise a fresh walk's view, or once
  // `abandoned` holds. Runs on any thread: the mirror is handed over whole.
  static std::unique_ptr<LibraryMirror> build(const std::filesystem::path& root,
                                              const platform::FileSystemTypeOf& typeOf,
                                              const std::atomic<bool>& abandoned, Refusal& refusal);
  ~LibraryMirror();
  LibraryMirror(const LibraryMirror&) = delete;
  LibraryMirror& operator=(const LibraryMirror&) = delete;

  // Takes in every change queued since the last call; false when the mirror
  // can no longer promise a fresh walk's view.
  bool catchUp();

  // Hands `visit` each audio file in the walk's order, until it says it has
  // found what it wanted.
  void search(const std::function<bool(Candidate&)>& visit);

 private:
  struct Folder;
  struct Entry {
    std::string name;
    ino_t inode;
    bool candidate;                               // named like an audio file
    // A link, whose file may change where no folder is watched: read by
    // every search.
    bool link;
    std::optional<TrackFingerprint> fingerprint;  // of candidates, once read
    std::unique_ptr<Folder> folder;               // of folders the walk enters
  };
  struct Folder {
    Folder* parent;
    std::string name;
    int watch = -1;
    std::vector<Entry> entries;
  };

  LibraryMirror(std::filesystem::path root, platform::FolderWatch watch, platform::FileSystemTypeOf typeOf,
                dev_t device, ino_t inode);

  // `building`: while the mirror is first made, which also reads every
  // audio file's tags; else new files are read when a search comes to them.
  bool fill(Folder& folder, const std::string& path, const std::atomic<bool>* building);
  bool relist(Folder& folder);
  void drop(Folder& folder);
  std::string pathOf(const Folder& folder) const;
  bool rootIsTheSame() const;

  std::filesystem::path root_;
  platform::FolderWatch watch_;
  platform::FileSystemTypeOf typeOf_;
  dev_t device_;
  ino_t inode_;
  Folder top_{nullptr, {}, -1, {}};
  std::unordered_map<int, Folder*> watches_;
  // Folders whose watch a folder listed later took over: the same folder,
  // moved, or else one folder in two places (a bind mount).
  std::vector<Folder*> takenOver_;
  std::unordered_set<const Folder*> dropped_;
  Refusal refusal_ = Refusal::none;  // of the last fill that failed
};

}  // namespace sonvetta
