#include <gtest/gtest.h>

#include <limits>

#include "platform/view/animation.h"
#include "platform/view/layer.h"
#include "platform/view/media_clock.h"

namespace platform {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

BasicAnimation slide(double repeatCount, bool autoreverses) {
  return {.keyPath = "transform.translation.x",
          .fromValue = 0,
          .toValue = -100,
          .duration = 4,
          .repeatCount = repeatCount,
          .autoreverses = autoreverses,
          .beginTime = 1000};
}

TEST(BasicAnimationTest, EndlessLinearRepetitionStartsEachPassAfresh) {
  const BasicAnimation animation = slide(infinity, false);
  EXPECT_EQ(animation.presentedValueAt(1000), 0.0);
  EXPECT_EQ(animation.presentedValueAt(1001), -25.0);
  EXPECT_EQ(animation.presentedValueAt(1003), -75.0);
  EXPECT_EQ(animation.presentedValueAt(1004), 0.0);
  EXPECT_EQ(animation.presentedValueAt(1000 + 4 * 1000 + 2), -50.0);
}

TEST(BasicAnimationTest, AppliesOnlyBetweenItsBeginAndItsLastPass) {
  const BasicAnimation twice = slide(2, false);
  EXPECT_FALSE(twice.presentedValueAt(999.9));
  EXPECT_EQ(twice.presentedValueAt(1007), -75.0);
  EXPECT_FALSE(twice.presentedValueAt(1008));
}

TEST(BasicAnimationTest, AutoreversingGoesBackWithinTheSameRepeat) {
  const BasicAnimation once = slide(1, true);
  EXPECT_EQ(once.presentedValueAt(1005), -75.0);
  EXPECT_FALSE(once.presentedValueAt(1008));
}

TEST(BasicAnimationTest, AnUnusableDurationPresentsNothing) {
  for (double duration : {0.0, -1.0, infinity, std::numeric_limits<double>::quiet_NaN()}) {
    BasicAnimation animation = slide(infinity, false);
    animation.duration = duration;
    EXPECT_FALSE(animation.presentedValueAt(1001)) << duration;
  }
}

class LayerTest : public ::testing::Test {
 protected:
  Layer layer{[this] { ++changes; }};
  int changes = 0;
};

TEST_F(LayerTest, AddingUnderAKeyReplacesAndStampsTheBeginTime) {
  const double before = currentMediaTime();
  layer.addAnimation(slide(infinity, false), "scroll");
  layer.addAnimation(slide(3, false), "scroll");
  const double after = currentMediaTime();

  ASSERT_EQ(layer.animationKeys(), std::vector<std::string>{"scroll"});
  const BasicAnimation* kept = layer.animation("scroll");
  EXPECT_EQ(kept->repeatCount, 3);
  EXPECT_GE(kept->beginTime, before);
  EXPECT_LE(kept->beginTime, after);
}

TEST_F(LayerTest, RemovingAnAbsentKeyIsNoErrorAndNoChange) {
  layer.addAnimation(slide(infinity, false), "scroll");
  changes = 0;
  layer.removeAnimation("other");
  EXPECT_EQ(changes, 0);
  EXPECT_NE(layer.animation("scroll"), nullptr);
  layer.removeAllAnimations();
  EXPECT_TRUE(layer.animationKeys().empty());
  EXPECT_EQ(changes, 1);
}

TEST_F(LayerTest, TheLastAddedAnimationOfAKeyPathIsPresented) {
  BasicAnimation first = slide(infinity, false);
  BasicAnimation second = slide(infinity, false);
  second.toValue = -200;
  layer.addAnimation(first, "a");
  layer.addAnimation(second, "b");
  layer.addAnimation({.keyPath = "opacity", .fromValue = 1, .toValue = 0, .duration = 4}, "c");
  const double begin = layer.animation("b")->beginTime;
  EXPECT_DOUBLE_EQ(layer.presentedValue("transform.translation.x", 7, begin + 1), -50.0);
  EXPECT_EQ(layer.presentedValue("transform.translation.x", 7, begin - 1), 7.0);
}

}  // namespace
}  // namespace platform
