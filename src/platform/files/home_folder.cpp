#include "platform/files/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

namespace {

std::filesystem::path passwordDatabaseHome() {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  if (found->pw_dir == nullptr) return {};
  return found->pw_dir;
}

}  // namespace

std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (std::filesystem::path home = passwordDatabaseHome(); !home.empty()) return home;
  // Still an absolute folder, so that nothing is ever looked up relative to
  // wherever the program happened to be started.
  return "/";
}

}  // namespace platform
