#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/statusbar/dock_placement.h"

namespace platform {
namespace {

const QRect screen(0, 0, 1280, 800);
constexpr int stripHeight = 22;

TEST(DockPlacementTest, StandsBelowThePanelsAlongTheTopOrAtTheVeryTop) {
  EXPECT_EQ(dockTop(screen, 0, {}), 0) << "no panel";
  EXPECT_EQ(dockTop(screen, 32, {}), 32) << "a top bar the desktop keeps outside any window";
  const std::vector<TopReservation> panels = {{30, 0, 1279}, {40, 1000, 1279}};
  EXPECT_EQ(dockTop(screen, 0, panels), 40) << "the lowest panel counts";
  EXPECT_EQ(dockTop(screen, 45, panels), 45);
  // Another screen's panel is no concern of this one.
  const std::vector<TopReservation> leftScreenPanel = {{60, 0, 1279}};
  EXPECT_EQ(dockTop(QRect(1280, 0, 1024, 768), 0, leftScreenPanel), 0);
  EXPECT_EQ(dockTop(screen, 5000, {}), 799) << "a reservation taller than the screen";
}

TEST(DockPlacementTest, LeavesItsOwnReservationOutOfTheWorkArea) {
  const std::vector<int> own = {54};
  EXPECT_EQ(desktopReservationBottom(32, 54, own, 0), 32) << "its own strut says nothing of the desktop's bar";
  EXPECT_EQ(desktopReservationBottom(0, 32, {}, 0), 32) << "before it reserves anything";
  EXPECT_EQ(desktopReservationBottom(0, 30, {}, 30), 0) << "a panel's strut explains the work area";
  EXPECT_EQ(desktopReservationBottom(32, 70, own, 0), 70) << "the desktop's bar grew beyond the strip";
  EXPECT_EQ(desktopReservationBottom(32, 0, own, 0), 32) << "a window manager just started, that counts nothing yet";
  EXPECT_EQ(desktopReservationBottom(32, std::nullopt, own, 0), 32) << "no work area, as between two window managers";
  const std::vector<int> rescaled = {76, 54};
  EXPECT_EQ(desktopReservationBottom(32, 54, rescaled, 0), 32) << "the strut before a new scale, not yet let go";
}

// A window manager that, like mutter, counts every strut and its own top
// bar into one work area, and a bar placed from it each time it changes:
// the bar must come to rest at once and stay there.
struct Desktop {
  int topBar = 0;
  std::vector<TopReservation> panels = {};
};

std::vector<int> topsOverRounds(const Desktop& desktop, int rounds) {
  int learnt = 0;
  std::vector<int> own;
  std::optional<int> strut;
  std::vector<int> tops;
  for (int round = 0; round < rounds; ++round) {
    int workAreaTop = std::max(desktop.topBar, reservationsBottom(screen, desktop.panels));
    if (strut) workAreaTop = std::max(workAreaTop, *strut);
    learnt = desktopReservationBottom(learnt, workAreaTop, own, reservationsBottom(screen, desktop.panels));
    const int top = dockTop(screen, learnt, desktop.panels);
    strut = static_cast<int>(topStrutFor(QRect(1080, top, 200, stripHeight))[2]);
    if (own.empty() || own.front() != *strut) own.insert(own.begin(), *strut);
    own.resize(std::min<std::size_t>(own.size(), 2));
    tops.push_back(top);
  }
  return tops;
}

TEST(DockPlacementTest, NeverChasesTheWorkAreaChangeItsOwnStrutCauses) {
  EXPECT_EQ(topsOverRounds({.topBar = 32}, 6), std::vector<int>(6, 32)) << "gnome-shell's top bar";
  EXPECT_EQ(topsOverRounds({.panels = {{30, 0, 1279}}}, 6), std::vector<int>(6, 30)) << "a panel window";
  EXPECT_EQ(topsOverRounds({}, 6), std::vector<int>(6, 0)) << "nothing along the top";
}

TEST(DockPlacementTest, TakesTheWorkAreaOfItsOwnMonitorFirst) {
  const std::vector<QRect> monitors = {QRect(0, 32, 1280, 768), QRect(1280, 0, 1024, 768)};
  EXPECT_EQ(workAreaTopOver(screen, monitors, QRect(0, 0, 2304, 800)), 32);
  EXPECT_EQ(workAreaTopOver(QRect(1280, 0, 1024, 768), monitors, std::nullopt), 0);
  EXPECT_EQ(workAreaTopOver(screen, {}, QRect(0, 27, 1280, 773)), 27);
  EXPECT_EQ(workAreaTopOver(screen, {}, std::nullopt), std::nullopt);
}

TEST(DockPlacementTest, ReservesFromTheScreensTopEdgeDownToItsBottomOverItsColumns) {
  const std::array<std::uint32_t, 12> belowTopBar = {0, 0, 54, 0, 0, 0, 0, 0, 1080, 1279, 0, 0};
  EXPECT_EQ(topStrutFor(QRect(1080, 32, 200, 22)), belowTopBar);
  EXPECT_EQ(topStrutFor(QRect(1080, 0, 200, 22))[2], 22u);
  EXPECT_EQ(topStrutFor(QRect(-10, -30, 5, 5))[2], 0u) << "off the root window reserves nothing";
}

}  // namespace
}  // namespace platform
