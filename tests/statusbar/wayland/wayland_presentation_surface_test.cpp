// The status bar's Wayland surface against real compositors: headless sway,
// and headless KWin for fractional scales.
#include <gtest/gtest.h>
#include <poll.h>

#include <QPainter>
#include <QRect>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>

#include "platform/statusbar/wayland/wayland_presentation_surface.h"
#include "screen_pixels.h"
#include "shared_sway.h"

namespace {

using platform::FilmSlice;
using platform::RetainedFrame;
using platform::ScreenEdge;
using platform::WaylandPresentationSurface;
using namespace sonvetta::testdata;
using namespace std::chrono_literals;

constexpr QRgb stripColor = 0xffff00ff;
constexpr QRgb markColor = 0xff00ff00;

// A strip of `points` in one colour, its leftmost device-pixel column marked.
QImage stripFrame(QSize points, double scale) {
  QImage frame(points * scale, QImage::Format_ARGB32_Premultiplied);
  frame.fill(stripColor);
  for (int y = 0; y < frame.height(); ++y) frame.setPixel(0, y, markColor);
  frame.setDevicePixelRatio(scale);
  return frame;
}

// A strip whose film, longer than one slice, scrolls behind a window set in
// it at `windowAt` (device pixels); each column of the film has a colour of
// its own, so a frame that shows any other column than it should shows it.
std::shared_ptr<const RetainedFrame> scrollingFrame(double scale, QPoint windowAt) {
  auto frame = std::make_shared<RetainedFrame>();
  frame->still = stripFrame({200, 22}, scale);
  frame->window = QRect(windowAt, QSize(170, 16) * scale);
  frame->film = QImage(FilmSlice::step + frame->window.width() + 500, frame->window.height(),
                       QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < frame->film.height(); ++y) {
    for (int x = 0; x < frame->film.width(); ++x) frame->film.setPixel(x, y, qRgb(x % 251, x / 251, 64 + y));
  }
  return frame;
}

// Handles the surface's events until `done` holds; false when the surface
// ends or time runs out first.
bool dispatchUntil(WaylandPresentationSurface& surface, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd events{surface.eventDescriptor(), POLLIN, 0};
    poll(&events, 1, 20);
    if (!surface.dispatchEvents()) return false;
  }
  return true;
}

// Handles the surface's events for `duration`; false when the surface ends.
bool dispatchFor(WaylandPresentationSurface& surface, std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    pollfd events{surface.eventDescriptor(), POLLIN, 0};
    poll(&events, 1, 20);
    if (!surface.dispatchEvents()) return false;
  }
  return true;
}

// Presents a frame with `present` once the surface is ready, and waits
// until the compositor has shown it.
bool presentAndWait(WaylandPresentationSurface& surface, const std::function<void()>& present) {
  if (!dispatchUntil(surface, [&] { return surface.readyForFrame(); })) return false;
  present();
  return dispatchUntil(surface, [&] { return surface.readyForFrame(); });
}

bool presentAndWait(WaylandPresentationSurface& surface, const QImage& frame) {
  return presentAndWait(surface, [&] { surface.present(frame); });
}

// The bounding box of the pixels of `color`.
QRect areaOf(const QImage& screenshot, QRgb color) {
  QRect area;
  for (int y = 0; y < screenshot.height(); ++y) {
    for (int x = 0; x < screenshot.width(); ++x) {
      if (screenshot.pixel(x, y) == color) area |= QRect(x, y, 1, 1);
    }
  }
  return area;
}

// Presents `frame` at `offset` and expects the strip on the screen to be what
// the frame looks like flattened, pixel for pixel.
// For the tests that look at the screen, not at what the main thread is told.
void ignoreEdge(ScreenEdge) {}

void expectShown(WaylandPresentationSurface& surface, const std::function<QImage()>& screenshot,
                 const std::shared_ptr<const RetainedFrame>& frame, int offset) {
  SCOPED_TRACE(offset);
  ASSERT_TRUE(presentAndWait(surface, [&] {
    surface.presentRetained(frame, offset);
    EXPECT_FALSE(surface.readyForFrame()) << "paced by frame callbacks";
  }));
  QImage expected = frame->shownAt(offset).convertToFormat(QImage::Format_RGB32);
  expected.setDevicePixelRatio(1.0);
  const QImage shown = screenshot();
  const QRect strip = areaOf(shown, stripColor) | areaOf(shown, markColor);
  EXPECT_TRUE(shown.copy(QRect(strip.topLeft(), expected.size())) == expected);
}

class WaylandPresentationSurfaceTest : public SharedSwayTest {
 protected:
  void SetUp() override {
    SharedSwayTest::SetUp();
    if (IsSkipped()) return;
    surface_ = WaylandPresentationSurface::connect(ignoreEdge);
    ASSERT_NE(surface_, nullptr) << "sway offers the layer shell";
  }
  void TearDown() override {
    surface_.reset();
    if (sway_->unavailable().isEmpty()) sway_->run({"swaymsg", "output", "HEADLESS-1", "scale", "1"});
  }

  std::unique_ptr<WaylandPresentationSurface> surface_;
};


TEST_F(WaylandPresentationSurfaceTest, ShowsThePresentedFrameAtTheTopRightBelowTheBarAndReservesItsBand) {
  EXPECT_TRUE(surface_->needsRedraw());
  EXPECT_EQ(surface_->devicePixelRatio(), 1.0);
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 1)));
  EXPECT_FALSE(surface_->needsRedraw());

  const QImage screenshot = sway_->screenshot();
  ASSERT_EQ(screenshot.size(), QSize(Screen::width, Screen::height));
  const QRect strip = areaOf(screenshot, stripColor) | areaOf(screenshot, markColor);
  EXPECT_EQ(strip.size(), QSize(200, 22));
  EXPECT_EQ(strip.right(), Screen::width - 1);
  const int bar = swayBarHeight(screenshot);
  EXPECT_GT(bar, 0) << "sway's bar is drawn at the top";
  EXPECT_EQ(strip.top(), bar) << "right below sway's bar";
  EXPECT_EQ(screenshot.pixel(strip.left(), strip.top()), markColor);
  EXPECT_EQ(screenshot.pixel(strip.left() + 1, strip.bottom()), stripColor);
  EXPECT_EQ(screenshot.pixel(strip.left() - 1, strip.top()), Screen::swayBackground) << "nothing drawn beside it";
  EXPECT_TRUE(dispatchUntil(*surface_, [&] { return sway_->workspaceArea().top() == bar + 22; }))
      << "windows start at " << sway_->workspaceArea().top() << ", below the bar and the strip's band";
  EXPECT_EQ(sway_->workspaceArea().height(), Screen::height - bar - 22);
}

TEST_F(WaylandPresentationSurfaceTest, PresentsNoFrameBeforeThePreviousOneWasShown) {
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 1)));
  // Present as fast as the surface allows for one second: the compositor's
  // frame callbacks, at its 60 Hz refresh, are what holds each frame back.
  int frames = 0;
  bool readyRightAfterPresent = false;
  const auto end = std::chrono::steady_clock::now() + 1s;
  while (std::chrono::steady_clock::now() < end) {
    if (surface_->readyForFrame()) {
      surface_->present(stripFrame({200, 22}, 1));
      readyRightAfterPresent |= surface_->readyForFrame();
      ++frames;
    }
    ASSERT_TRUE(dispatchFor(*surface_, 1ms));
  }
  EXPECT_FALSE(readyRightAfterPresent);
  EXPECT_GE(frames, 5);
  EXPECT_LE(frames, 75);
}

TEST_F(WaylandPresentationSurfaceTest, DrawsCrispAtTheOutputsScale) {
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 1)));
  ASSERT_TRUE(sway_->run({"swaymsg", "output", "HEADLESS-1", "scale", "2"}));
  ASSERT_TRUE(dispatchUntil(*surface_, [&] { return surface_->devicePixelRatio() == 2.0; }));
  EXPECT_TRUE(surface_->needsRedraw());
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 2)));

  // One device pixel of the frame is one pixel on the screen, not two.
  const QImage screenshot = sway_->screenshot();
  const QRect strip = areaOf(screenshot, stripColor) | areaOf(screenshot, markColor);
  EXPECT_EQ(strip.size(), QSize(400, 44));
  EXPECT_EQ(strip.right(), Screen::width - 1);
  EXPECT_EQ(areaOf(screenshot, markColor).width(), 1);
}

// Within the first slice, across into the next, and back.
TEST_F(WaylandPresentationSurfaceTest, ShowsAScrollingFrameAsItLooksFlattened) {
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    ASSERT_TRUE(sway_->run({"swaymsg", "output", "HEADLESS-1", "scale", QString::number(scale)}));
    ASSERT_TRUE(dispatchUntil(*surface_, [&] { return surface_->devicePixelRatio() == scale; }));
    const auto frame = scrollingFrame(scale, QPoint(10, 3) * scale);
    for (const int offset : {0, 1, 333, FilmSlice::step + 1, 2}) {
      expectShown(*surface_, [&] { return sway_->screenshot(); }, frame, offset);
    }
  }
  // A window off whole points is painted into the still; then, at rest, the
  // window is gone.
  const auto offPoints = scrollingFrame(2, {21, 6});
  for (const int offset : {0, 333, FilmSlice::step + 7}) {
    expectShown(*surface_, [&] { return sway_->screenshot(); }, offPoints, offset);
  }
  expectShown(*surface_, [&] { return sway_->screenshot(); },
              std::make_shared<const RetainedFrame>(RetainedFrame{stripFrame({200, 22}, 2), {}, {}}), 0);
}

TEST_F(WaylandPresentationSurfaceTest, StaysCrispWhereItIsWhenAnotherOutputComes) {
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 1)));

  // Another output at scale 3: the strip's own output still sets its scale.
  ASSERT_TRUE(sway_->run({"swaymsg", "create_output"}));
  ASSERT_TRUE(sway_->run({"swaymsg", "output", "HEADLESS-2", "mode", "640x480", "scale", "3"}));
  ASSERT_TRUE(dispatchFor(*surface_, 500ms));
  EXPECT_EQ(surface_->devicePixelRatio(), 1.0);
  ASSERT_TRUE(presentAndWait(*surface_, stripFrame({200, 22}, 1)));
  EXPECT_EQ(areaOf(sway_->screenshot(), stripColor).right(), Screen::width - 1);

  EXPECT_TRUE(sway_->run({"swaymsg", "output", "HEADLESS-2", "disable"}));
}

TEST(WaylandPresentationSurface, IsNullWithoutAWaylandDisplay) {
  const QByteArray display = qgetenv("WAYLAND_DISPLAY");
  qputenv("WAYLAND_DISPLAY", "sonvetta-no-such-display");
  EXPECT_EQ(WaylandPresentationSurface::connect(ignoreEdge), nullptr);
  qputenv("WAYLAND_DISPLAY", display);
}

TEST(WaylandPresentationSurface, EndsWhenTheCompositorGoesAway) {
  Session sway("sway");
  if (!sway.unavailable().isEmpty()) GTEST_SKIP() << "headless sway: " << sway.unavailable().toStdString();
  sway.enter();
  const auto surface = WaylandPresentationSurface::connect(ignoreEdge);
  ASSERT_NE(surface, nullptr);
  ASSERT_TRUE(presentAndWait(*surface, stripFrame({200, 22}, 1)));
  sway.kill();
  EXPECT_FALSE(dispatchFor(*surface, 5s));
  EXPECT_FALSE(surface->dispatchEvents());
  EXPECT_FALSE(surface->readyForFrame());
}

// Where sway's socket is not to be had, as on every other compositor with
// the layer shell, the strip learns from the compositor alone where the
// bar's band is: below a bar along the top, above one along the bottom. The
// bar moved to the other edge: the strip follows.
class WithoutSwaysSocketTest : public ::testing::TestWithParam<bool> {};

// The strip's rectangle and the bar's rows, along the edge the bar is at.
struct StripBesideBar {
  QRect strip;
  int bar;
};

StripBesideBar stripBesideBar(const QImage& screenshot, bool barAlongBottom) {
  const QRect strip = areaOf(screenshot, stripColor) | areaOf(screenshot, markColor);
  return {strip, swayBarHeight(barAlongBottom ? screenshot.mirrored(false, true) : screenshot)};
}

TEST_P(WithoutSwaysSocketTest, StandsBesideTheBarAndFollowsItToTheOtherEdge) {
  const bool alongBottom = GetParam();
  const Session sway(alongBottom ? "sway-bottom" : "sway");
  if (!sway.unavailable().isEmpty()) GTEST_SKIP() << "headless sway: " << sway.unavailable().toStdString();
  sway.enter();
  qunsetenv("SWAYSOCK");
  ScreenEdge told = alongBottom ? ScreenEdge::top : ScreenEdge::bottom;
  const auto surface = WaylandPresentationSurface::connect([&told](ScreenEdge edge) { told = edge; });
  ASSERT_NE(surface, nullptr);
  const QImage frame = stripFrame({200, 22}, 1);
  for (const bool bottom : {alongBottom, !alongBottom}) {
    SCOPED_TRACE(bottom ? "bar along the bottom" : "bar along the top");
    if (bottom != alongBottom) {
      // As a user moves it: in sway's configuration, read again.
      ASSERT_TRUE(sway.run({"sh", "-c",
                            QString("sed -E -i 's/position (top|bottom)/position %1/' \"$HOME/../sway-config\" && "
                                    "swaymsg reload")
                                .arg(bottom ? "bottom" : "top")}));
    }
    const auto besideBar = [&] {
      const StripBesideBar shown = stripBesideBar(sway.screenshot(), bottom);
      const int top = bottom ? Screen::height - shown.bar - 22 : shown.bar;
      return shown.bar > 0 && shown.strip == QRect(Screen::width - 200, top, 200, 22);
    };
    EXPECT_TRUE(dispatchUntil(
        *surface, [&] { return (!surface->readyForFrame() || presentAndWait(*surface, frame)) && besideBar(); }, 20s));
    const StripBesideBar shown = stripBesideBar(sway.screenshot(), bottom);
    std::cout << "figures: without sway's socket, bar along the " << (bottom ? "bottom" : "top") << " " << shown.bar
              << " rows: strip " << shown.strip.x() << "," << shown.strip.y() << " " << shown.strip.width() << "x"
              << shown.strip.height() << "\n";
    const QRect area = sway.workspaceArea();
    EXPECT_EQ(bottom ? Screen::height - area.bottom() - 1 : area.top(), shown.bar + 22) << "its band beside the bar's";
    EXPECT_EQ(told, bottom ? ScreenEdge::bottom : ScreenEdge::top) << "the edge told to the main thread";
  }
}

INSTANTIATE_TEST_SUITE_P(BarAlongTheBottom, WithoutSwaysSocketTest, ::testing::Bool());

// KWin prefers fractional scales; there the film slides pixel for pixel.
class KWinLayerSurfaceTest : public ::testing::TestWithParam<double> {};

TEST_P(KWinLayerSurfaceTest, DrawsAtTheScaleItPrefersAndSlidesTheFilmPixelForPixel) {
  const double scale = GetParam();
  const Session kwin("kwin", {QString::number(scale)});
  if (!kwin.unavailable().isEmpty()) GTEST_SKIP() << "headless KWin: " << kwin.unavailable().toStdString();
  kwin.enter();
  const auto surface = WaylandPresentationSurface::connect(ignoreEdge);
  ASSERT_NE(surface, nullptr);
  ASSERT_TRUE(presentAndWait(*surface, stripFrame({200, 22}, 1)));
  ASSERT_TRUE(dispatchUntil(*surface, [&] { return surface->devicePixelRatio() == scale; }));
  ASSERT_TRUE(presentAndWait(*surface, stripFrame({200, 22}, scale)));
  const QImage screenshot = kwin.screenshot();
  EXPECT_EQ((areaOf(screenshot, stripColor) | areaOf(screenshot, markColor)).size(), QSize(200, 22) * scale);
  EXPECT_EQ(areaOf(screenshot, markColor).width(), 1) << "one device pixel of the frame is one on the screen";

  const auto frame = scrollingFrame(scale, QPoint(10, 2) * scale);
  // Within the first slice, across into the next, out of range both ways,
  // and back.
  for (const int offset : {0, 1, 333, FilmSlice::step, FilmSlice::step + 1, frame->lastOffset(),
                           frame->lastOffset() + 50, -5, 2}) {
    expectShown(*surface, [&] { return kwin.screenshot(); }, frame, offset);
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, KWinLayerSurfaceTest, ::testing::Values(1.0, 1.5, 2.0));

// The output the strip stands on switched off: the compositor closes the
// surface, which comes back on the other output, and the strip is there
// again once its own output is back. KWin refuses to switch off its last
// output.
TEST(KWinLayerSurface, OutlivesItsOutputSwitchedOffAndOn) {
  const Session kwin("kwin", {"1", "2"});
  if (!kwin.unavailable().isEmpty()) GTEST_SKIP() << "headless KWin: " << kwin.unavailable().toStdString();
  kwin.enter();
  const auto surface = WaylandPresentationSurface::connect(ignoreEdge);
  ASSERT_NE(surface, nullptr);
  const QImage frame = stripFrame({200, 22}, 1);
  ASSERT_TRUE(presentAndWait(*surface, frame));
  for (const char* change : {"output.Virtual-0.disable", "output.Virtual-0.enable"}) {
    SCOPED_TRACE(change);
    // kscreen-doctor talks Wayland through Qt.
    ASSERT_TRUE(kwin.run({"env", "QT_QPA_PLATFORM=wayland", "kscreen-doctor", change}));
    ASSERT_TRUE(dispatchFor(*surface, 1s)) << "the surface ended";
    ASSERT_TRUE(dispatchUntil(*surface, [&] { return surface->readyForFrame(); })) << "it did not come back";
    ASSERT_TRUE(presentAndWait(*surface, frame));
    const QImage screenshot = kwin.screenshot();
    EXPECT_EQ((areaOf(screenshot, stripColor) | areaOf(screenshot, markColor)).size(), QSize(200, 22));
  }
}

}  // namespace
