#include "platform/statusbar/wayland/wayland_globals.h"

#include <wayland-client.h>

namespace platform {

namespace {

void announced(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  static_cast<std::vector<std::string>*>(data)->emplace_back(interface);
}
void removed(void*, wl_registry*, uint32_t) {}
constexpr wl_registry_listener listener = {&announced, &removed};

}  // namespace

std::optional<std::vector<std::string>> waylandGlobals() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return std::nullopt;
  std::vector<std::string> interfaces;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &interfaces);
  const bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (!answered) return std::nullopt;
  return interfaces;
}

}  // namespace platform
