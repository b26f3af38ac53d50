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

std::optional<fs::directory_iterator> listing(const fs::path& folder) {
  std::error_code error;
  fs::directory_iterator entries(folder, fs::directory_options::skip_permission_denied, error);
  if (error) return std::nullopt;
  return entries;
}

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

std::optional<DirectoryWalk> DirectoryWalk::open(const fs::path& root) {
  std::optional<fs::directory_iterator> entries = listing(root);
  if (!entries) return std::nullopt;
  return DirectoryWalk(std::move(*entries));
}

DirectoryWalk::DirectoryWalk(fs::directory_iterator root) { listings_.push_back(std::move(root)); }

// A stack of plain listings rather than recursive_directory_iterator: that
// one ends the whole walk at the first folder it fails to open for any reason
// other than permissions, where only that folder should be passed over.
std::optional<fs::path> DirectoryWalk::next() {
  while (!listings_.empty()) {
    fs::directory_iterator& current = listings_.back();
    if (current == fs::directory_iterator()) {
      listings_.pop_back();
      continue;
    }
    const fs::directory_entry entry = *current;
    std::error_code error;
    current.increment(error);
    if (error) current = fs::directory_iterator();

    if (isHidden(entry.path())) continue;
    if (isRealFolder(entry) && !isPackage(entry)) {
      if (std::optional<fs::directory_iterator> below = listing(entry.path())) listings_.push_back(std::move(*below));
    }
    return entry.path();
  }
  return std::nullopt;
}

}  // namespace platform
