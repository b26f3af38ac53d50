#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The interfaces the session's Wayland compositor announces in its
// registry, asked over a connection opened and closed for this alone; none
// when WAYLAND_DISPLAY names no display that answers.
std::optional<std::vector<std::string>> waylandGlobals();

}  // namespace platform
