#include "platform/files/directory_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <string_view>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 7> kPackageExtensions = {
    ".app", ".bundle", ".framework", ".plugin", ".musiclibrary", ".photoslibrary", ".tvlibrary"};

bool isPackage(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string extension(name.substr(dot));
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::ranges::find(kPackageExtensions, extension) != kPackageExtensions.end();
}

// A folder itself, not a link to one.
bool isRealFolder(const fs::path& folder, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
  struct stat status {};
  return ::lstat((folder / entry.d_name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::optional<std::vector<FolderEntry>> listFolder(const fs::path& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
  if (!listing) return std::nullopt;
  std::vector<FolderEntry> entries;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with('.')) continue;
    entries.push_back(
        {std::string(name), entry->d_ino, isRealFolder(folder, *entry) && !isPackage(name), entry->d_type == DT_LNK});
  }
  return entries;
}

std::optional<DirectoryWalk> DirectoryWalk::open(const fs::path& root) {
  std::optional<std::vector<FolderEntry>> entries = listFolder(root);
  if (!entries) return std::nullopt;
  return DirectoryWalk(Listing{root, std::move(*entries)});
}

DirectoryWalk::DirectoryWalk(Listing root) { listings_.push_back(std::move(root)); }

std::optional<fs::path> DirectoryWalk::next() {
  if (folderToEnter_) {
    if (std::optional<std::vector<FolderEntry>> below = listFolder(*folderToEnter_)) {
      listings_.push_back({std::move(*folderToEnter_), std::move(*below)});
    }
    folderToEnter_.reset();
  }
  while (!listings_.empty()) {
    Listing& current = listings_.back();
    if (current.next == current.entries.size()) {
      listings_.pop_back();
      continue;
    }
    const FolderEntry& entry = current.entries[current.next++];
    fs::path path = current.folder / entry.name;
    if (entry.entered) folderToEnter_ = path;
    return path;
  }
  return std::nullopt;
}

}  // namespace platform
