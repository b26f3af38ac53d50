#include "platform/statusbar/wayland/band_reservation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

// Compositors by what their registries announce: the strip keeps a band of
// its own beside the panels' wherever that moves no panel's band.
TEST(BandReservationTest, ReservesABandOfItsOwnWhereThatMovesNoPanelsBand) {
  const struct {
    const char* compositor;
    std::vector<std::string> globals;
    bool ownBand;
  } rows[] = {
      {"sway", {"wl_compositor", "zwlr_layer_shell_v1", "zwlr_output_manager_v1"}, true},
      {"labwc", {"wl_compositor", "zwlr_layer_shell_v1", "zwlr_foreign_toplevel_manager_v1"}, true},
      {"wayfire", {"wl_compositor", "zwlr_layer_shell_v1", "zwf_shell_manager_v2"}, true},
      {"Hyprland, which lays out background bands first",
       {"wl_compositor", "zwlr_layer_shell_v1", "hyprland_focus_grab_manager_v1"}, false},
  };
  for (const auto& row : rows) EXPECT_EQ(reservesOwnBand(row.globals), row.ownBand) << row.compositor;
}

}  // namespace
}  // namespace platform
