#include <gtest/gtest.h>

#include <limits>

#include "platform/view/layer.h"
#include "platform/view/media_clock.h"

namespace platform {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

BasicAnimation slide(double repeatCount, bool autoreverses = false) {
  return {.keyPath = "transform.translation.x", .toValue = -100, .duration = 4,
          .repeatCount = repeatCount, .autoreverses = autoreverses, .beginTime = 1000};
}

TEST(BasicAnimationTest, EndlessLinearRepetitionStartsEachPassAfresh) {
  const BasicAnimation animation = slide(infinity);
  EXPECT_FALSE(animation.presentedValueAt(999.9));
  EXPECT_EQ(animation.presentedValueAt(1001), -25.0);
  EXPECT_EQ(animation.presentedValueAt(1004), 0.0);
  EXPECT_EQ(animation.presentedValueAt(1000 + 4 * 1000 + 3), -75.0);
}

TEST(BasicAnimationTest, FiniteAndReversingAnimationsEndAfterTheirLastPass) {
  EXPECT_EQ(slide(2).presentedValueAt(1007), -75.0);
  EXPECT_FALSE(slide(2).presentedValueAt(1008));
  EXPECT_EQ(slide(1, true).presentedValueAt(1005), -75.0);
  EXPECT_FALSE(slide(1, true).presentedValueAt(1008));
  for (double duration : {0.0, -1.0, infinity, std::numeric_limits<double>::quiet_NaN()}) {
    BasicAnimation unusable = slide(infinity);
    unusable.duration = duration;
    EXPECT_FALSE(unusable.presentedValueAt(1001)) << duration;
  }
}

class LayerTest : public ::testing::Test {
 protected:
  Layer layer{[this] { ++changes; }};
  int changes = 0;
};

TEST_F(LayerTest, AddingUnderAKeyReplacesAndStampsTheBeginTime) {
  const double before = currentMediaTime();
  layer.addAnimation(slide(infinity), "scroll");
  layer.addAnimation(slide(3), "scroll");
  ASSERT_EQ(layer.animationKeys(), std::vector<std::string>{"scroll"});
  EXPECT_EQ(layer.animation("scroll")->repeatCount, 3);
  EXPECT_GE(layer.animation("scroll")->beginTime, before);
  EXPECT_LE(layer.animation("scroll")->beginTime, currentMediaTime());
}

TEST_F(LayerTest, RemovingAnAbsentKeyIsNoErrorAndNoChange) {
  layer.addAnimation(slide(infinity), "scroll");
  changes = 0;
  layer.removeAnimation("other");
  EXPECT_EQ(changes, 0);
  layer.removeAllAnimations();
  EXPECT_TRUE(layer.animationKeys().empty());
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace platform
