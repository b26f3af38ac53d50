#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/statusbar/x11/dock_placement.h"
#include "platform/statusbar/x11/plasma_panels.h"

namespace platform {
namespace {

const QRect screen(0, 0, 1280, 800);
const QSize root(1280, 800);
const QSize strip(200, 22);

QRect placed(const QRect& on, QSize rootSize, EdgeDepths reserved, QSize size = strip) {
  return dockGeometry(on, rootSize, reserved, size);
}

TEST(DockPlacementTest, StandsBelowATopPanelElseAboveABottomOneElseInTheTopRightCorner) {
  EXPECT_EQ(placed(screen, root, {0, 0}), QRect(1080, 0, 200, 22)) << "no panel";
  EXPECT_EQ(placed(screen, root, {32, 0}), QRect(1080, 32, 200, 22)) << "gnome-shell's top bar";
  EXPECT_EQ(placed(screen, root, {0, 44}), QRect(1080, 734, 200, 22)) << "Plasma's panel along the bottom";
  EXPECT_EQ(placed(screen, root, {25, 25}), QRect(1080, 25, 200, 22)) << "MATE: the top panel wins";
  EXPECT_EQ(dockEdge(screen, root, {0, 40}), ScreenEdge::bottom);
  EXPECT_EQ(dockEdge(screen, root, {0, 0}), ScreenEdge::top);
  // At 2x the strip is twice as high, and still right above the panel.
  EXPECT_EQ(placed(screen, QSize(1280, 800), {0, 88}, QSize(400, 44)), QRect(880, 668, 400, 44));
  EXPECT_EQ(placed(screen, root, {5000, 0}), QRect(1080, 778, 200, 22)) << "a reservation taller than the screen";
  EXPECT_EQ(placed(screen, root, {0, 5000}), QRect(1080, 0, 200, 22));
}

TEST(DockPlacementTest, MeasuresEachMonitorsPanelsFromTheRootWindowsEdges) {
  // A 1280x800 monitor beside a taller 1024x1024 one: the root is 2304x1024,
  // and a panel along the first monitor's bottom reserves from the root's
  // bottom edge, past the 224 rows the first monitor lacks.
  const QSize wide(2304, 1024);
  const QRect second(1280, 0, 1024, 1024);
  EXPECT_EQ(screenDepth(ScreenEdge::bottom, screen, wide), 224);
  const std::vector<EdgeReservation> panels = {{ScreenEdge::bottom, 224 + 32, 0, 1279},
                                               {ScreenEdge::top, 30, 1280, 2303}};
  const EdgeDepths first{reservationsDepth(ScreenEdge::top, screen, wide, panels),
                         reservationsDepth(ScreenEdge::bottom, screen, wide, panels)};
  EXPECT_EQ(placed(screen, wide, first), QRect(1080, 746, 200, 22)) << "above the first monitor's own panel";
  const EdgeDepths other{reservationsDepth(ScreenEdge::top, second, wide, panels),
                         reservationsDepth(ScreenEdge::bottom, second, wide, panels)};
  EXPECT_EQ(placed(second, wide, other), QRect(2104, 30, 200, 22)) << "below the second monitor's own panel";
  EXPECT_EQ(reservationsDepth(ScreenEdge::top, screen, wide, panels), 0) << "another monitor's panel is no concern";
}

TEST(DockPlacementTest, PicksTheScreenAtTheOriginWhereNoneIsPrimary) {
  const std::vector<QRect> screens = {QRect(1280, 0, 1280, 800), QRect(0, 0, 1280, 800)};
  EXPECT_EQ(screenAtOrigin(screens), 1u);
  EXPECT_EQ(screenAtOrigin(std::vector<QRect>{QRect(10, 0, 5, 5)}), std::nullopt);
  EXPECT_EQ(screenAtOrigin({}), std::nullopt);
}

TEST(DockPlacementTest, LeavesItsOwnReservationOutOfTheWorkArea) {
  const std::vector<int> own = {54};
  EXPECT_EQ(desktopReservationDepth(32, 54, own, 0), 32) << "its own strut says nothing of the desktop's bar";
  EXPECT_EQ(desktopReservationDepth(0, 32, {}, 0), 32) << "before it reserves anything";
  EXPECT_EQ(desktopReservationDepth(0, 30, {}, 30), 0) << "a panel's strut explains the work area";
  EXPECT_EQ(desktopReservationDepth(32, 70, own, 0), 70) << "the desktop's bar grew beyond the strip";
  EXPECT_EQ(desktopReservationDepth(32, 0, own, 0), 32) << "a window manager just started, that counts nothing yet";
  EXPECT_EQ(desktopReservationDepth(32, std::nullopt, own, 0), 32) << "no work area, as between two window managers";
  const std::vector<int> rescaled = {76, 54};
  EXPECT_EQ(desktopReservationDepth(32, 54, rescaled, 0), 32) << "the strut before a new scale, not yet let go";
  // The strip moved to the top: along the bottom it reserves nothing now,
  // and its former bottom strut may linger a moment in the work area.
  const std::vector<int> leftBottom = {0, 62};
  EXPECT_EQ(desktopReservationDepth(40, 62, leftBottom, 0), 40) << "its former strut, not yet let go";
  EXPECT_EQ(desktopReservationDepth(40, 0, leftBottom, 0), 0) << "the shell's bottom panel gone";
}

TEST(DockPlacementTest, TakesTheWorkAreaOfItsOwnMonitorFirst) {
  const std::vector<QRect> monitors = {QRect(0, 32, 1280, 768), QRect(1280, 0, 1024, 728)};
  EXPECT_EQ(workAreaOver(screen, monitors, QRect(0, 0, 2304, 800)), monitors[0]);
  EXPECT_EQ(workAreaOver(QRect(1280, 0, 1024, 768), monitors, std::nullopt), monitors[1]);
  EXPECT_EQ(workAreaOver(screen, {}, QRect(0, 27, 1280, 773)), QRect(0, 27, 1280, 773));
  EXPECT_EQ(workAreaOver(screen, {}, std::nullopt), std::nullopt);
  EXPECT_EQ(depthOf(ScreenEdge::bottom, QRect(0, 0, 1280, 760), root), 40) << "Cinnamon's panel, drawn by the shell";
  EXPECT_EQ(depthOf(ScreenEdge::top, QRect(0, 32, 1280, 768), root), 32);
}

TEST(DockPlacementTest, ReservesFromTheEdgeItStandsAtOverItsColumns) {
  const std::array<std::uint32_t, 12> belowTopBar = {0, 0, 54, 0, 0, 0, 0, 0, 1080, 1279, 0, 0};
  EXPECT_EQ(strutFor(ScreenEdge::top, QRect(1080, 32, 200, 22), root), belowTopBar);
  const std::array<std::uint32_t, 12> aboveBottomPanel = {0, 0, 0, 66, 0, 0, 0, 0, 0, 0, 1080, 1279};
  EXPECT_EQ(strutFor(ScreenEdge::bottom, QRect(1080, 734, 200, 22), root), aboveBottomPanel);
  EXPECT_EQ(strutFor(ScreenEdge::top, QRect(-10, -30, 5, 5), root)[2], 0u) << "off the root window reserves nothing";
}

// A window manager that, like mutter, counts every strut and the shell's
// own panels into one work area, and a bar placed from it each time it
// changes: the bar must come to rest at once and stay there, and follow a
// panel from one edge to the other.
struct Desktop {
  EdgeDepths shell{0, 0};  // drawn by the shell, no window
  std::vector<EdgeReservation> panels = {};
};

class PlacementRounds {
 public:
  QRect round(const Desktop& desktop) {
    const auto depthAlong = [&](ScreenEdge edge, int shell, std::uint32_t ownStrut, int& learnt,
                                const std::vector<int>& own) {
      const int others = reservationsDepth(edge, screen, root, desktop.panels);
      const int workArea = std::max({shell, others, static_cast<int>(ownStrut)});
      learnt = desktopReservationDepth(learnt, workArea, own, others);
      return std::max(learnt, others);
    };
    const EdgeDepths reserved{depthAlong(ScreenEdge::top, desktop.shell.top, strut_[2], top_, ownTop_),
                              depthAlong(ScreenEdge::bottom, desktop.shell.bottom, strut_[3], bottom_, ownBottom_)};
    const QRect geometry = dockGeometry(screen, root, reserved, strip);
    strut_ = strutFor(dockEdge(screen, root, reserved), geometry, root);
    remember(ownTop_, static_cast<int>(strut_[2]));
    remember(ownBottom_, static_cast<int>(strut_[3]));
    return geometry;
  }

 private:
  static void remember(std::vector<int>& own, int newest) {
    if (!own.empty() && own.front() == newest) return;
    own.insert(own.begin(), newest);
    own.resize(std::min<std::size_t>(own.size(), 2));
  }
  int top_ = 0;
  int bottom_ = 0;
  std::vector<int> ownTop_;
  std::vector<int> ownBottom_;
  std::array<std::uint32_t, 12> strut_{};
};

std::vector<int> topsOverRounds(const Desktop& desktop, int rounds) {
  PlacementRounds bar;
  std::vector<int> tops;
  for (int round = 0; round < rounds; ++round) tops.push_back(bar.round(desktop).top());
  return tops;
}

TEST(DockPlacementTest, NeverChasesTheWorkAreaChangeItsOwnStrutCauses) {
  EXPECT_EQ(topsOverRounds({.shell = {32, 0}}, 6), std::vector<int>(6, 32)) << "gnome-shell's top bar";
  EXPECT_EQ(topsOverRounds({.shell = {0, 40}}, 6), std::vector<int>(6, 738)) << "Cinnamon's bottom panel";
  EXPECT_EQ(topsOverRounds({.panels = {{ScreenEdge::top, 30, 0, 1279}}}, 6), std::vector<int>(6, 30)) << "a panel";
  EXPECT_EQ(topsOverRounds({.panels = {{ScreenEdge::bottom, 44, 0, 1279}}}, 6), std::vector<int>(6, 734));
  EXPECT_EQ(topsOverRounds({}, 6), std::vector<int>(6, 0)) << "nothing along either edge";
}

TEST(DockPlacementTest, FollowsAPanelMovedToTheOtherEdgeAndBack) {
  PlacementRounds bar;
  const Desktop bottom{.panels = {{ScreenEdge::bottom, 44, 0, 1279}}};
  const Desktop top{.panels = {{ScreenEdge::top, 44, 0, 1279}}};
  for (int round = 0; round < 3; ++round) EXPECT_EQ(bar.round(bottom), QRect(1080, 734, 200, 22));
  for (int round = 0; round < 3; ++round) EXPECT_EQ(bar.round(top), QRect(1080, 44, 200, 22));
  for (int round = 0; round < 3; ++round) EXPECT_EQ(bar.round(bottom), QRect(1080, 734, 200, 22));
  for (int round = 0; round < 3; ++round) EXPECT_EQ(bar.round(Desktop{}), QRect(1080, 0, 200, 22)) << "removed";
}

// A panel's strut: `depths` left, right, top, bottom, each over the whole edge.
PanelWindow panel(std::array<std::uint32_t, 4> depths, const QRect& window, bool translucent = false) {
  return {{depths[0], depths[1], depths[2], depths[3], 0, 799, 0, 799, 0, 1279, 0, 1279}, window, translucent};
}

PanelWindow withTray(PanelWindow panel) {
  panel.holdsTray = true;
  return panel;
}

// Layouts people set up: the strip stands beside every panel's window,
// never over it, and keeps maximised windows clear of both; beside a
// translucent panel it takes the panel's colour from its theme.
TEST(PanelLayoutTest, StandsBesideEveryPanelsWindowNeverOverIt) {
  const struct {
    const char* layout;
    std::vector<PanelWindow> panels;
    QRect strip;
    std::uint32_t reservedToBottom;  // the strip's strut along the bottom
    bool besideTranslucent = false;
  } rows[] = {
      {"Plasma 6's floating panel", {panel({0, 0, 0, 40}, QRect(0, 744, 1280, 56))}, QRect(1080, 722, 200, 22), 78},
      {"the same panel docked beside a maximised window", {panel({0, 0, 0, 44}, QRect(0, 756, 1280, 44))},
       QRect(1080, 734, 200, 22), 66},
      {"Plasma 6's floating panel moved to the top", {panel({0, 0, 30, 0}, QRect(0, 0, 1280, 46))},
       QRect(1080, 46, 200, 22), 0},
      {"a top panel grown by 8 px", {panel({0, 0, 38, 0}, QRect(0, 0, 1280, 38))}, QRect(1080, 38, 200, 22), 0},
      {"a vertical panel on the right", {panel({0, 48, 0, 0}, QRect(1232, 0, 48, 800))}, QRect(1032, 0, 200, 22), 0},
      {"the tray's panel vertical on the right, another along the bottom",
       {withTray(panel({0, 48, 0, 0}, QRect(1232, 0, 48, 760))), panel({0, 0, 0, 40}, QRect(0, 760, 1280, 40))},
       QRect(1032, 0, 200, 22), 0},
      {"the tray's panel along the bottom, a vertical one on the right",
       {withTray(panel({0, 0, 0, 40}, QRect(0, 760, 1280, 40))), panel({0, 48, 0, 0}, QRect(1232, 0, 48, 760))},
       QRect(1032, 738, 200, 22), 62},
      {"a vertical panel on the left", {panel({48, 0, 0, 0}, QRect(0, 0, 48, 800))}, QRect(1080, 0, 200, 22), 0},
      {"a vertical panel on the right beside a top panel",
       {panel({0, 48, 0, 0}, QRect(1232, 30, 48, 770)), panel({0, 0, 30, 0}, QRect(0, 0, 1280, 30))},
       QRect(1032, 30, 200, 22), 0},
      {"a panel that hides itself reserves nothing", {panel({0, 0, 0, 0}, QRect(0, 770, 1280, 30))},
       QRect(1080, 0, 200, 22), 0},
      {"Plasma 6's translucent floating panel", {panel({0, 0, 0, 40}, QRect(0, 744, 1280, 56), true)},
       QRect(1080, 722, 200, 22), 78, true},
      {"a translucent dock along the bottom below an opaque top panel",
       {panel({0, 0, 0, 48}, QRect(0, 752, 1280, 48), true), panel({0, 0, 27, 0}, QRect(0, 0, 1280, 27))},
       QRect(1080, 27, 200, 22), 0},
  };
  for (const auto& row : rows) {
    const PanelBands bands = bandsOf(row.panels, root);
    const EdgeDepths reserved{reservationsDepth(ScreenEdge::top, screen, root, bands.edges),
                              reservationsDepth(ScreenEdge::bottom, screen, root, bands.edges)};
    const QRect strip = dockGeometry(screen, root, reserved, QSize(200, 22), rightInset(screen, root, bands.right),
                                     bands.verticalTray);
    EXPECT_EQ(strip, row.strip) << row.layout;
    for (const PanelWindow& each : row.panels) {
      EXPECT_FALSE(strip.intersects(each.window)) << row.layout;
    }
    const ScreenEdge edge = dockEdge(screen, root, reserved, bands.verticalTray);
    EXPECT_EQ(strutFor(edge, strip, root)[3], row.reservedToBottom) << row.layout;
    EXPECT_EQ(translucentPanelBeside(edge, strip, row.panels, root) != nullptr, row.besideTranslucent) << row.layout;
  }
}

// Plasma's panels on Wayland, seen from XWayland through the work area
// alone: its settings say how deep each reaches, and where.
TEST(PlasmaPanelsTest, ItsSettingsSayHowDeepItsPanelsReachAlongEachEdge) {
  const QByteArray shell = "[PlasmaViews][Panel 2]\nfloating=1\n\n[PlasmaViews][Panel 2][Defaults]\nthickness=34\n"
                           "[PlasmaViews][Panel 7]\nfloating=0\nthickness=28\n";
  const QByteArray applets = "[Containments][1]\nlocation=0\n[Containments][2]\nformfactor=2\nlocation=4\n"
                             "[Containments][2][Applets][15]\nlocation=3\n";
  const struct {
    const char* settings;
    QByteArray shell;
    QByteArray applets;
    int top;
    int bottom;
  } rows[] = {
      {"Plasma 6 as it comes: one floating panel along the bottom, 8 off the edge and 8 above its body", shell,
       applets, 0, 50},
      {"the same panel moved to the top", shell, QByteArray(applets).replace("location=4", "location=3"), 50, 0},
      {"docked for good", QByteArray(shell).replace("floating=1", "floating=0"), applets, 0, 34},
      {"a thickness of the user's own", shell + "[PlasmaViews][Panel 2]\nthickness=40\n", applets, 0, 56},
      {"a second, docked panel at the top", shell, applets + "[Containments][7]\nlocation=3\n", 28, 50},
      {"no settings", "", "", 0, 0},
      {"garbled", "[PlasmaViews][Panel 2\nthickness=34\n=\n[", "[Containments][2]\nlocation\n", 0, 0},
      {"a thickness past any screen", "[PlasmaViews][Panel 2]\nthickness=99999\n", applets, 0, 0},
  };
  for (const auto& row : rows) {
    const PlasmaPanelDepths depths = plasmaPanelDepths(row.shell, row.applets);
    EXPECT_EQ(depths.top, row.top) << row.settings;
    EXPECT_EQ(depths.bottom, row.bottom) << row.settings;
  }
  EXPECT_EQ(placed(screen, root, {0, 50}), QRect(1080, 728, 200, 22)) << "right above its window";
}

}  // namespace
}  // namespace platform
