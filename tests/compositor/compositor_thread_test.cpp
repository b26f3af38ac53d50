#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/marquee/marquee_view.h"
#include "platform/compositor/compositor.h"
#include "platform/compositor/frame_composition.h"
#include "platform/text/text_measurer.h"
#include "platform/view/media_clock.h"
#include "solid_image.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

constexpr double frameInterval = 1.0 / 60.0;

struct PresentedFrame {
  QImage image;
  double time;
};

// What the surface saw, written on the compositor thread, read by the test.
class SurfaceLog {
 public:
  void frame(const QImage& image) {
    const std::lock_guard lock(mutex_);
    frames_.push_back({image, currentMediaTime()});
  }
  void wakeUp() { ++wakeUps_; }

  std::vector<PresentedFrame> frames() const {
    const std::lock_guard lock(mutex_);
    return frames_;
  }
  int wakeUps() const { return wakeUps_; }

 private:
  mutable std::mutex mutex_;
  std::vector<PresentedFrame> frames_;
  std::atomic<int> wakeUps_{0};
};

class FakeSurface final : public PresentationSurface {
 public:
  FakeSurface(SurfaceLog& log, double density, bool displayGone, const std::atomic<bool>& framesWithheld)
      : log_(log), density_(density), gone_(displayGone), withheld_(framesWithheld) {}

  int eventDescriptor() const override { return -1; }
  bool dispatchEvents() override { return !gone_; }
  // Asked on every turn that has a tree to show.
  double devicePixelRatio() const override {
    log_.wakeUp();
    return density_;
  }
  bool needsRedraw() const override { return false; }
  bool readyForFrame() const override { return !withheld_; }
  double minimumFrameInterval() const override { return frameInterval; }
  void present(const QImage& frame) override { log_.frame(frame); }

 private:
  SurfaceLog& log_;
  double density_;
  bool gone_;
  const std::atomic<bool>& withheld_;
};

class CompositorThreadTest : public ::testing::Test {
 protected:
  std::unique_ptr<Compositor> start(double surfaceDensity = 1.0, bool displayGone = false) {
    return std::make_unique<Compositor>(
        [this, surfaceDensity, displayGone] {
          return std::make_unique<FakeSurface>(log, surfaceDensity, displayGone, framesWithheld);
        },
        Compositor::Events{.densityChanged = [this](double density) { reportedDensity = density; },
                           .displayLost = [this] { displayLost = true; }});
  }

  std::shared_ptr<const LayerTree> treeOf(const std::string& text) {
    marquee.update(std::make_shared<SolidImage>(Size{1, 1}, Qt::red), text);
    const LayerTree::Placement placement{&marquee, {0.0, 0.0}};
    return std::make_shared<const LayerTree>(marquee.bounds().size, 1.0, Qt::white,
                                             std::span<const LayerTree::Placement>(&placement, 1), Qt::black);
  }

  SurfaceLog log;
  std::atomic<bool> framesWithheld{false};
  std::atomic<double> reportedDensity{0.0};
  std::atomic<bool> displayLost{false};
  QtTextMeasurer measurer;
  sonvetta::MarqueeView marquee{Rect(0, 0, 200, 22), measurer};
};

TEST_F(CompositorThreadTest, WhileTheMainThreadSleepsFramesKeepComingWithTheContentMoved) {
  auto compositor = start();
  compositor->commit(treeOf("A line that does not fit - An Album - An Artist"));
  const double asleep = currentMediaTime();
  std::this_thread::sleep_for(500ms);
  const double awake = currentMediaTime();
  compositor.reset();

  std::vector<PresentedFrame> frames = log.frames();
  std::erase_if(frames, [&](const PresentedFrame& frame) { return frame.time < asleep || frame.time > awake; });
  // 37 points a second is a pixel every 27 ms at this density.
  EXPECT_GE(frames.size(), 10u);
  for (std::size_t i = 1; i < frames.size(); ++i) {
    EXPECT_NE(frames[i].image, frames[i - 1].image) << "frame " << i << " shows nothing new";
    EXPECT_GE(frames[i].time - frames[i - 1].time, frameInterval * 0.99) << "frame " << i << " came too soon";
  }
}

TEST_F(CompositorThreadTest, AScrollStartsFromItsFirstPositionWhenItsTreeIsFirstShown) {
  const std::shared_ptr<const LayerTree> tree = treeOf("A line that does not fit - An Album - An Artist");
  // Held back, as by a long search, between the scroll's start and the commit.
  std::this_thread::sleep_for(300ms);
  auto compositor = start();
  compositor->commit(tree);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !log.frames().empty(); }, 10000));
  std::this_thread::sleep_for(100ms);
  compositor.reset();

  const std::vector<PresentedFrame> frames = log.frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0].image, compositeFrame(*tree, layerShiftsAt(*tree, 0.0)));
  EXPECT_NE(frames[1].image, frames[0].image) << "and from there it moves on";
}

TEST_F(CompositorThreadTest, ATreeThatDoesNotMoveIsDrawnOnceAndNoThreadWakesUpForIt) {
  auto compositor = start();
  compositor->commit(treeOf("A moving line that does not fit - An Album - An Artist"));
  std::this_thread::sleep_for(100ms);
  const std::shared_ptr<const LayerTree> still = treeOf("Fits");
  compositor->commit(still);
  std::this_thread::sleep_for(50ms);
  const std::size_t framesBefore = log.frames().size();
  const int wakeUpsBefore = log.wakeUps();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(log.frames().size(), framesBefore);
  EXPECT_EQ(log.wakeUps(), wakeUpsBefore);
  compositor.reset();

  ASSERT_FALSE(log.frames().empty());
  EXPECT_EQ(log.frames().back().image, compositeFrame(*still, layerShiftsAt(*still, 0)));
  EXPECT_FALSE(displayLost);
}

TEST_F(CompositorThreadTest, WhileTheDisplayHoldsFramesBackNoThreadWakesUp) {
  auto compositor = start();
  compositor->commit(treeOf("A moving line that does not fit - An Album - An Artist"));
  std::this_thread::sleep_for(200ms);
  ASSERT_FALSE(log.frames().empty());
  framesWithheld = true;
  std::this_thread::sleep_for(100ms);
  const std::size_t framesBefore = log.frames().size();
  const int wakeUpsBefore = log.wakeUps();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(log.wakeUps(), wakeUpsBefore);
  EXPECT_EQ(log.frames().size(), framesBefore);
}

TEST_F(CompositorThreadTest, TellsTheMainThreadWhatTheSurfaceNeeds) {
  auto compositor = start(2.0);
  compositor->commit(treeOf("Fits"));
  EXPECT_TRUE(QTest::qWaitFor([this] { return reportedDensity == 2.0; }, 1000)) << "a tree drawn for another density";
  compositor.reset();
  const std::size_t framesBefore = log.frames().size();

  compositor = start(1.0, true);
  EXPECT_TRUE(QTest::qWaitFor([this] { return displayLost.load(); }, 1000));
  compositor->commit(treeOf("Fits"));  // after the display went: harmless
  compositor.reset();
  EXPECT_EQ(log.frames().size(), framesBefore);
}

}  // namespace
}  // namespace platform
