#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One entry of a folder, as a walk sees it.
struct FolderEntry {
  std::string name;
  ino_t inode = 0;
  bool entered = false;  // a folder the walk goes into: a real one (no link), and no package
  bool link = false;     // a symbolic link
};

// The entries of `folder` that a walk yields, in the file system's order,
// read whole and the folder closed again; none when it cannot be read. An
// error part way keeps what came before it, as a walk that had gone on from
// entry to entry would have.
std::optional<std::vector<FolderEntry>> listFolder(const std::filesystem::path& folder);

// Yields every entry below a folder, depth first: a folder comes before its
// own entries, which all come before its next sibling. Within one folder the
// order is the file system's.
//
// Passed over: hidden entries (names beginning with ".") and everything
// below them; the insides of packages, folders that the desktop presents as
// a single document (named .app, .bundle, .framework, .plugin, .musiclibrary,
// .photoslibrary or .tvlibrary), which are yielded as one entry; whatever lies behind a symbolic link to a folder (the link itself
// is yielded), so that no link loop can trap the walk; folders that cannot be
// read, silently.
//
// Each folder is read whole when the walk enters it and closed at once, so a
// walk holds no descriptor open however deep the tree; and a folder is
// entered only when the entry after it is asked for, never sooner.
class DirectoryWalk {
 public:
  // None when `root` cannot be listed, for instance because it is a file.
  static std::optional<DirectoryWalk> open(const std::filesystem::path& root);

  // The next entry, or none once the walk is over.
  std::optional<std::filesystem::path> next();

  // True when next() begins by reading a folder; otherwise it only takes
  // what has been read already, and touches the file system no further.
  bool nextReadsAFolder() const { return folderToEnter_.has_value(); }

 private:
  struct Listing {
    std::filesystem::path folder;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
  };

  explicit DirectoryWalk(Listing root);

  // One listing for each folder from the root down to the current entry.
  std::vector<Listing> listings_;
  std::optional<std::filesystem::path> folderToEnter_;  // yielded last, and not read yet
};

}  // namespace platform
