#include <gtest/gtest.h>

#include <vector>

#include "platform/statusbar/dock_placement.h"

namespace platform {
namespace {

const QRect screen(0, 0, 1280, 800);

TEST(DockPlacementTest, StandsBelowThePanelsAlongTheTopOrAtTheVeryTop) {
  EXPECT_EQ(dockTop(screen, 0, std::nullopt, {}), 0) << "no panel";
  EXPECT_EQ(dockTop(screen, 30, std::nullopt, {}), 30) << "a panel the work area leaves out";
  const std::vector<TopReservation> panels = {{30, 0, 1279}, {40, 1000, 1279}};
  EXPECT_EQ(dockTop(screen, 40, std::nullopt, panels), 40) << "the lowest panel counts";
  // Another screen's panel is no concern of this one.
  const std::vector<TopReservation> leftScreenPanel = {{60, 0, 1279}};
  EXPECT_EQ(dockTop(QRect(1280, 0, 1024, 768), 0, std::nullopt, leftScreenPanel), 0);
}

TEST(DockPlacementTest, LeavesItsOwnReservationOutOfTheWorkArea) {
  // Below a 30-pixel panel, the bar's own band makes the work area start at 52.
  const std::vector<TopReservation> panel = {{30, 0, 1279}};
  EXPECT_EQ(dockTop(screen, 52, 52, panel), 30) << "it must not walk down by its own height";
  EXPECT_EQ(dockTop(screen, 22, 22, {}), 0) << "the panel above it went away";
  EXPECT_EQ(dockTop(screen, 70, 52, panel), 70) << "a taller panel came that it does not know of";
  EXPECT_EQ(dockTop(screen, 5000, std::nullopt, {}), 799) << "a reservation taller than the screen";
}

TEST(DockPlacementTest, ReservesTheBandFromTheTopOfTheScreenDownToItsBottomOverItsColumns) {
  const auto strut = topStrutFor(QRect(1080, 30, 200, 22));
  const std::array<std::uint32_t, 12> expected = {0, 0, 52, 0, 0, 0, 0, 0, 1080, 1279, 0, 0};
  EXPECT_EQ(strut, expected);
  EXPECT_EQ(topStrutFor(QRect(-10, -30, 5, 5))[2], 0u) << "off the root window reserves nothing";
}

}  // namespace
}  // namespace platform
