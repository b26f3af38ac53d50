#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace platform {

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
class DirectoryWalk {
 public:
  // None when `root` cannot be listed, for instance because it is a file.
  static std::optional<DirectoryWalk> open(const std::filesystem::path& root);

  // The next entry, or none once the walk is over.
  std::optional<std::filesystem::path> next();

 private:
  explicit DirectoryWalk(std::filesystem::directory_iterator root);

  // One listing for each folder from the root down to the current entry.
  std::vector<std::filesystem::directory_iterator> listings_;
};

}  // namespace platform
