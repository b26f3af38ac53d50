#include <gtest/gtest.h>

#include <memory>

#include "platform/text/text_measurer.h"
#include "platform/view/image_view.h"
#include "platform/view/text_field.h"

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
    middle->setNeedsDisplayHandler([this] { ++middleRepaints; });
    root->addSubview(middle);
    middle->addSubview(label);
    middle->addSubview(imageView);
    repaints = 0;
  }

  std::shared_ptr<View> root = std::make_shared<View>(Rect(0, 0, 200, 22));
  std::shared_ptr<View> middle = std::make_shared<View>();
  QtTextMeasurer measurer;
  std::shared_ptr<TextField> label = TextField::labelWithString("", measurer);
  std::shared_ptr<ImageView> imageView = std::make_shared<ImageView>();
  int repaints = 0;
  int middleRepaints = 0;
};

TEST_F(ViewTreeTest, EveryVisibleChangeDeepInTheTreeReachesOnlyTheTopmostHandler) {
  label->setFrame({1, 2, 3, 4});
  label->setStringValue("text");
  label->setFont(Font{.family = "Serif", .size = 20});
  imageView->setImage(std::make_shared<NothingImage>());
  middle->addSubview(std::make_shared<View>());
  middle->setWantsLayer(true);
  middle->layer()->addAnimation({.keyPath = "opacity", .duration = 1}, "a");
  middle->layer()->removeAnimation("a");
  EXPECT_EQ(repaints, 8);
  EXPECT_EQ(middleRepaints, 0);
}

TEST_F(ViewTreeTest, ATransactionMakesItsChangesOneThatReachesTheHandlerWhenItEnds) {
  {
    const ViewTransaction outer;
    label->setStringValue("text");
    {
      const ViewTransaction inner;
      label->setFrame({1, 2, 3, 4});
      imageView->setImage(std::make_shared<NothingImage>());
    }
    EXPECT_EQ(repaints, 0);
    {
      // A view gone before the end is not asked.
      auto orphan = std::make_shared<View>();
      orphan->setNeedsDisplayHandler([this] { ++middleRepaints; });
      orphan->setFrame({0, 0, 1, 1});
    }
  }
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(middleRepaints, 0);
  label->setStringValue("after");
  EXPECT_EQ(repaints, 2);
}

TEST_F(ViewTreeTest, AddingMovesAViewOnTopAndRefusesCycles) {
  root->addSubview(label);
  EXPECT_EQ(middle->subviews(), std::vector<std::shared_ptr<View>>{imageView});
  EXPECT_EQ(root->subviews().back(), label);
  EXPECT_EQ(label->superview(), root.get());

  label->addSubview(root);
  label->addSubview(label);
  label->addSubview(nullptr);
  EXPECT_TRUE(label->subviews().empty());
}

TEST_F(ViewTreeTest, ASubviewOutlivingItsParentForgetsIt) {
  root.reset();
  middle.reset();
  EXPECT_EQ(label->superview(), nullptr);
  label->setStringValue("no parent to tell");
}

// What the renderer finds below the root: the layer of a view two levels
// down presents its animation while it runs, and its model value after.
TEST_F(ViewTreeTest, AnyRunningAnimationInTheTreeCounts) {
  imageView->setWantsLayer(true);
  imageView->layer()->addAnimation({.keyPath = "opacity", .fromValue = 0, .toValue = 0.5, .duration = 1}, "fade");
  const Layer& deep = *root->subviews().at(0)->subviews().at(1)->layer();
  const double begin = deep.animation("fade")->beginTime;
  EXPECT_EQ(deep.presentedValue("opacity", 1.0, begin + 0.5), 0.25);
  EXPECT_EQ(deep.presentedValue("opacity", 1.0, begin + 1.0), 1.0);
}

}  // namespace
}  // namespace platform
