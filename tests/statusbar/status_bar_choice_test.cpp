#include <gtest/gtest.h>

#include <string>

#include "platform/statusbar/status_bar_display.h"

namespace platform {
namespace {

const std::vector<std::string> sway = {"wl_compositor", "wl_shm", "wl_output", "zwlr_layer_shell_v1"};
const std::vector<std::string> kwin = {"wl_compositor", "wl_shm", "zwlr_layer_shell_v1", "org_kde_plasma_shell"};
const std::vector<std::string> mutter = {"wl_compositor", "wl_shm", "xdg_wm_base"};

TEST(StatusBarChoiceTest, TakesTheLayerShellWhereItKeepsClearOfPanelsElseX11ElseAPlainWindow) {
  const struct {
    const char* desktop;
    OfferedDisplays offered;
    StatusBarDisplay display;
    std::string toolkit;
    bool noticed;
  } rows[] = {
      {"X11 alone", {true, std::nullopt}, StatusBarDisplay::x11Dock, "xcb", false},
      {"sway", {false, sway}, StatusBarDisplay::waylandLayerShell, "wayland;xcb", false},
      {"sway with XWayland", {true, sway}, StatusBarDisplay::waylandLayerShell, "wayland;xcb", false},
      {"KWin with XWayland", {true, kwin}, StatusBarDisplay::x11Dock, "xcb", true},
      {"KWin without XWayland", {false, kwin}, StatusBarDisplay::waylandLayerShell, "wayland;xcb", false},
      {"GNOME on Wayland", {true, mutter}, StatusBarDisplay::x11Dock, "xcb", true},
      {"a Wayland display that does not answer", {true, std::vector<std::string>()}, StatusBarDisplay::x11Dock,
       "xcb", true},
      {"GNOME without XWayland", {false, mutter}, StatusBarDisplay::plainWindow, "", true},
      {"no display at all", {false, std::nullopt}, StatusBarDisplay::plainWindow, "", true},
  };
  for (const auto& row : rows) {
    const StatusBarChoice choice = chooseStatusBar(row.offered);
    EXPECT_EQ(choice.display, row.display) << row.desktop;
    EXPECT_EQ(choice.toolkit, row.toolkit) << row.desktop;
    EXPECT_EQ(*choice.notice != '\0', row.noticed) << row.desktop;
    // Beside a layer surface the toolkit may use either display; the dock must be an X window.
    EXPECT_EQ(choice.userToolkitStands, row.display == StatusBarDisplay::waylandLayerShell) << row.desktop;
  }
}

}  // namespace
}  // namespace platform
