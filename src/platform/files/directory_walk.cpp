#include "platform/files/directory_walk.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 7> kPackageExtensions = {
    ".app", ".bundle", ".framework", ".plugin", ".musiclibrary", ".photoslibrary", ".tvlibrary"};

bool isHidden(const fs::path& entry) { return entry.filename().native().starts_with('.'); }

bool isRealFolder(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.is_directory(error) && !entry.is_symlink(error);
}

bool isPackage(const fs::directory_entry& entry) {
  std::string extension = entry.path().extension().string();
  std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
  return std::ranges::find(kPackageExtensions, extension) != kPackageExtensions.end();
}

}  // namespace

std::optional<DirectoryWalk::Listing> DirectoryWalk::list(const fs::path& folder) {
  std::error_code error;
  fs::directory_iterator entries(folder, fs::directory_options::skip_permission_denied, error);
  if (error) return std::nullopt;
  Listing listing;
  // An error part way keeps what came before it, as a walk that had gone on
  // from entry to entry would have.
  while (entries != fs::directory_iterator()) {
    if (!isHidden(entries->path())) listing.entries.push_back(*entries);
    entries.increment(error);
    if (error) break;
  }
  return listing;
}

std::optional<DirectoryWalk> DirectoryWalk::open(const fs::path& root) {
  std::optional<Listing> entries = list(root);
  if (!entries) return std::nullopt;
  return DirectoryWalk(std::move(*entries));
}

DirectoryWalk::DirectoryWalk(Listing root) { listings_.push_back(std::move(root)); }

// A stack of listings rather than recursive_directory_iterator: that one
// ends the whole walk at the first folder it fails to open for any reason
// other than permissions, where only that folder should be passed over.
std::optional<fs::path> DirectoryWalk::next() {
  if (folderToEnter_) {
    if (std::optional<Listing> below = list(*folderToEnter_)) listings_.push_back(std::move(*below));
    folderToEnter_.reset();
  }
  while (!listings_.empty()) {
    Listing& current = listings_.back();
    if (current.next == current.entries.size()) {
      listings_.pop_back();
      continue;
    }
    const fs::directory_entry entry = std::move(current.entries[current.next++]);
    if (isRealFolder(entry) && !isPackage(entry)) folderToEnter_ = entry.path();
    return entry.path();
  }
  return std::nullopt;
}

}  // namespace platform
