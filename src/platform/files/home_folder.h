#pragma once

#include <filesystem>

namespace platform {

// The current user's home folder: $HOME, else the user's entry in the
// password database, else the file system's root.
std::filesystem::path homeFolder();

}  // namespace platform
