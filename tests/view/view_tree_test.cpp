#include <gtest/gtest.h>

#include <memory>

#include "platform/view/image_view.h"
#include "platform/view/media_clock.h"
#include "platform/view/text_field.h"
#include "platform/view/view.h"

namespace platform {
namespace {

class NothingImage final : public Image {
 public:
  Size size() const override { return {2.0, 1.0}; }
  void draw(Canvas&, const Rect&) const override {}
};

// A three-level tree whose root counts the repaint requests it gets.
class ViewTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root->setNeedsDisplayHandler([this] { ++repaints; });
    root->addSubview(middle);
    middle->addSubview(label);
    middle->addSubview(imageView);
    repaints = 0;
  }

  std::shared_ptr<View> root = std::make_shared<View>(Rect(0, 0, 200, 22));
  std::shared_ptr<View> middle = std::make_shared<View>();
  std::shared_ptr<TextField> label = TextField::labelWithString("");
  std::shared_ptr<ImageView> imageView = std::make_shared<ImageView>();
  int repaints = 0;
};

TEST_F(ViewTreeTest, EveryVisibleChangeDeepInTheTreeReachesTheTopmostHandler) {
  label->setFrame({1, 2, 3, 4});
  label->setStringValue("text");
  label->setFont(Font{.family = "Serif", .size = 20});
  imageView->setImage(std::make_shared<NothingImage>());
  imageView->setImageScaling(ImageScaling::proportionallyUpOrDown);
  middle->addSubview(std::make_shared<View>());
  middle->setWantsLayer(true);
  middle->layer()->addAnimation({.keyPath = "opacity", .duration = 1}, "a");
  middle->layer()->removeAnimation("a");
  EXPECT_EQ(repaints, 9);
}

TEST_F(ViewTreeTest, SettingWhatIsAlreadyThereAsksForNoRepaint) {
  label->setFrame(label->frame());
  label->setStringValue("");
  middle->setWantsLayer(false);
  imageView->setImage(nullptr);
  EXPECT_EQ(repaints, 0);
}

TEST_F(ViewTreeTest, OnlyTheTopmostViewsHandlerIsCalled) {
  int middleRepaints = 0;
  middle->setNeedsDisplayHandler([&middleRepaints] { ++middleRepaints; });
  label->setStringValue("x");
  EXPECT_EQ(middleRepaints, 0);
  EXPECT_EQ(repaints, 1);
}

TEST_F(ViewTreeTest, SubviewsStayInTheOrderAddedAndChangeParentWhenAddedElsewhere) {
  ASSERT_EQ(middle->subviews().size(), 2u);
  EXPECT_EQ(middle->subviews()[0], label);
  EXPECT_EQ(middle->subviews()[1], imageView);

  root->addSubview(label);
  EXPECT_EQ(middle->subviews().size(), 1u);
  EXPECT_EQ(root->subviews().back(), label);
  EXPECT_EQ(label->superview(), root.get());
}

TEST_F(ViewTreeTest, AddingAnAncestorOrNothingIsRefused) {
  label->addSubview(root);
  label->addSubview(label);
  label->addSubview(nullptr);
  EXPECT_TRUE(label->subviews().empty());
  EXPECT_EQ(root->superview(), nullptr);
}

TEST_F(ViewTreeTest, ASubviewOutlivingItsParentForgetsIt) {
  root.reset();
  middle.reset();
  EXPECT_EQ(label->superview(), nullptr);
  label->setStringValue("no parent to tell");
}

TEST_F(ViewTreeTest, AnyRunningAnimationInTheTreeCounts) {
  const double now = currentMediaTime();
  EXPECT_FALSE(root->hasRunningAnimation(now));
  imageView->setWantsLayer(true);
  imageView->layer()->addAnimation({.keyPath = "opacity", .duration = 1}, "fade");
  const double begin = imageView->layer()->animation("fade")->beginTime;
  EXPECT_TRUE(root->hasRunningAnimation(begin + 0.5));
  EXPECT_FALSE(root->hasRunningAnimation(begin + 1.0));
}

TEST(ViewGeometry, BoundsHaveTheFramesSizeAtTheOriginUnrounded) {
  const View view(Rect(10.25, -3.5, 200.125, 22.75));
  EXPECT_EQ(view.bounds(), Rect(0, 0, 200.125, 22.75));
  EXPECT_EQ(view.layer(), nullptr);
}

TEST(ImageViewLayout, ImagesAreCentredAndScaledToFit) {
  ImageView view(Rect(0, 0, 22, 22));
  EXPECT_EQ(view.imageRect(), Rect());
  view.setImage(std::make_shared<NothingImage>());
  EXPECT_EQ(view.imageRect(), Rect(10, 10.5, 2, 1));  // never enlarged by default
  view.setImageScaling(ImageScaling::proportionallyUpOrDown);
  EXPECT_EQ(view.imageRect(), Rect(0, 5.5, 22, 11));
  view.setFrame({0, 0, 0, 0});
  EXPECT_EQ(view.imageRect(), Rect());
}

}  // namespace
}  // namespace platform
