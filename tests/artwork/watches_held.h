#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace sonvetta::testdata {

// The inotify watches the process holds.
inline int watchesHeld() {
  namespace fs = std::filesystem;
  int watches = 0;
  for (const fs::directory_entry& descriptor : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(descriptor.path(), error) != "anon_inode:inotify") continue;
    std::ifstream info("/proc/self/fdinfo/" + descriptor.path().filename().string());
    for (std::string line; std::getline(info, line);) watches += line.starts_with("inotify wd:") ? 1 : 0;
  }
  return watches;
}

}  // namespace sonvetta::testdata
