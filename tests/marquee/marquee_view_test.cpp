#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "app/marquee/marquee_view.h"
#include "fixed_text_measurer.h"
#include "platform/view/media_clock.h"

namespace sonvetta {
namespace {

using platform::Rect;

class NothingImage final : public platform::Image {
 public:
  platform::Size size() const override { return {22, 22}; }
  void draw(platform::Canvas&, const Rect&) const override {}
};

constexpr double viewWidth = 200;
constexpr double viewHeight = 22;
constexpr double imageAndSpacing = viewHeight + 4;

// With one point per character, a text of n characters makes one copy
// 26 + n points wide.
std::string textOfCopyWidth(double width) { return std::string(static_cast<std::size_t>(width - imageAndSpacing), 'a'); }

class MarqueeViewTest : public ::testing::Test {
 protected:
  platform::View& content() const { return *marquee.subviews().at(0); }
  const platform::ImageView& imageView(int copy) const { return child<platform::ImageView>(copy == 1 ? 0 : 2); }
  const platform::TextField& label(int copy) const { return child<platform::TextField>(copy == 1 ? 1 : 3); }
  platform::Layer& contentLayer() const { return *content().layer(); }
  const platform::BasicAnimation* scroll() const { return contentLayer().animation("marqueeAnimation"); }

  template <typename T>
  const T& child(std::size_t index) const {
    return dynamic_cast<const T&>(*content().subviews().at(index));
  }

  platform::FixedTextMeasurer metrics{1.0, 16.0};
  MarqueeView marquee{Rect(0, 0, viewWidth, viewHeight), metrics};
  platform::ImageRef artwork = std::make_shared<NothingImage>();
};

TEST_F(MarqueeViewTest, StartsEmptyAndIgnoresAnEmptyFirstText) {
  ASSERT_EQ(marquee.subviews().size(), 1u);
  ASSERT_EQ(content().subviews().size(), 4u);
  marquee.update(artwork, "");  // equals the empty text it starts with
  EXPECT_EQ(content().frame(), Rect());
  for (int copy : {1, 2}) {
    EXPECT_EQ(imageView(copy).frame(), Rect());
    EXPECT_EQ(imageView(copy).image(), nullptr);
    EXPECT_EQ(label(copy).frame(), Rect());
  }
  EXPECT_TRUE(contentLayer().animationKeys().empty());
}

TEST_F(MarqueeViewTest, LaysOutBothCopiesOneCopyPlusTheGapApart) {
  marquee.update(artwork, textOfCopyWidth(150));
  EXPECT_EQ(imageView(1).frame(), Rect(0, 0, 22, 22));
  EXPECT_EQ(label(1).frame(), Rect(26, 3, 124, 16));
  EXPECT_EQ(imageView(2).frame(), Rect(285, 0, 22, 22));
  EXPECT_EQ(label(2).frame(), Rect(311, 3, 124, 16));
  EXPECT_EQ(content().frame(), Rect(0, 0, 435, 22));
  for (int copy : {1, 2}) {
    EXPECT_EQ(imageView(copy).image(), artwork);
    EXPECT_EQ(label(copy).stringValue(), textOfCopyWidth(150));
  }
  EXPECT_EQ(scroll(), nullptr);
}

TEST(MarqueeViewLayout, WithoutAnImageTheSlotStaysEmptyAndOddLabelHeightsAreNotRounded) {
  const platform::FixedTextMeasurer oddHeight(1.0, 17.0);
  MarqueeView marquee(Rect(0, 0, viewWidth, viewHeight), oddHeight);
  marquee.update(std::make_shared<NothingImage>(), "first");
  marquee.update(nullptr, "second");
  const platform::View& content = *marquee.subviews().at(0);
  for (std::size_t image : {0, 2}) {
    EXPECT_EQ(dynamic_cast<const platform::ImageView&>(*content.subviews().at(image)).image(), nullptr);
    EXPECT_EQ(content.subviews().at(image + 1)->frame().origin.y, 2.5);
  }
  EXPECT_EQ(content.subviews().at(1)->frame().origin.x, 26);
}

TEST_F(MarqueeViewTest, ARepeatedTextChangesNothingNotEvenTheImageNorTheRunningScroll) {
  marquee.update(artwork, "Cafe\xCC\x81 " + textOfCopyWidth(300));
  const double begin = scroll()->beginTime;
  int repaints = 0;
  marquee.setNeedsDisplayHandler([&repaints] { ++repaints; });

  marquee.update(nullptr, "Caf\xC3\xA9 " + textOfCopyWidth(300));  // the same text, precomposed
  EXPECT_EQ(imageView(1).image(), artwork);
  EXPECT_EQ(imageView(2).image(), artwork);
  EXPECT_EQ(label(1).stringValue(), "Cafe\xCC\x81 " + textOfCopyWidth(300));
  EXPECT_EQ(scroll()->beginTime, begin);
  EXPECT_EQ(repaints, 0);

  marquee.update(nullptr, "other");
  EXPECT_GT(repaints, 0);
}

TEST_F(MarqueeViewTest, ScrollsOnlyWhenOneCopyIsWiderThanTheView) {
  marquee.update(artwork, textOfCopyWidth(viewWidth));
  EXPECT_EQ(scroll(), nullptr);
  EXPECT_EQ(content().frame().origin.x, 0);

  marquee.update(artwork, textOfCopyWidth(viewWidth + 1));
  ASSERT_NE(scroll(), nullptr);
  EXPECT_EQ(content().frame(), Rect(0, 0, 2 * (viewWidth + 1) + 135, viewHeight));
}

TEST_F(MarqueeViewTest, ScrollsOneCopyPlusTheGapAtThirtySevenPointsASecondForever) {
  marquee.update(artwork, textOfCopyWidth(300));
  ASSERT_EQ(contentLayer().animationKeys(), std::vector<std::string>{"marqueeAnimation"});
  const platform::BasicAnimation& animation = *scroll();
  EXPECT_EQ(animation.keyPath, "transform.translation.x");
  EXPECT_EQ(animation.fromValue, 0);
  EXPECT_EQ(animation.toValue, -435);
  EXPECT_DOUBLE_EQ(animation.duration, 435.0 / 37.0);
  EXPECT_NEAR(animation.duration, 11.7568, 1e-4);
  EXPECT_EQ(animation.repeatCount, std::numeric_limits<double>::infinity());
  EXPECT_FALSE(animation.autoreverses);
  EXPECT_EQ(animation.timingFunction, platform::TimingFunction::linear);
  EXPECT_TRUE(animation.presentedValueAt(animation.beginTime + 3600).has_value()) << "still running an hour on";
}

TEST_F(MarqueeViewTest, EachScrollingUpdateRestartsTheOneScrollFromItsBeginning) {
  marquee.update(artwork, textOfCopyWidth(300));
  const double betweenUpdates = platform::currentMediaTime();
  marquee.update(artwork, textOfCopyWidth(400));
  ASSERT_EQ(contentLayer().animationKeys().size(), 1u);
  EXPECT_GE(scroll()->beginTime, betweenUpdates);
  EXPECT_EQ(scroll()->toValue, -535);
}

TEST_F(MarqueeViewTest, ContentThatFitsAgainStopsTheScrollButLeavesOtherAnimations) {
  marquee.update(artwork, textOfCopyWidth(300));
  contentLayer().addAnimation({.keyPath = "opacity", .duration = 1, .repeatCount = 5}, "fade");
  marquee.update(artwork, textOfCopyWidth(50));
  EXPECT_EQ(contentLayer().animationKeys(), std::vector<std::string>{"fade"});
  EXPECT_EQ(content().frame().origin.x, 0);
  // The second copy keeps its place, and its start shows at the right-hand side.
  EXPECT_EQ(imageView(2).frame().origin.x, 50 + 135);
}

TEST_F(MarqueeViewTest, AScrollStartsOnALayerClearedOfEveryAnimation) {
  marquee.update(artwork, textOfCopyWidth(300));
  contentLayer().addAnimation({.keyPath = "opacity", .duration = 1}, "fade");
  content().setFrame({-40, 1, 635, 22});
  marquee.update(artwork, textOfCopyWidth(400));
  EXPECT_EQ(contentLayer().animationKeys(), std::vector<std::string>{"marqueeAnimation"});
  EXPECT_EQ(content().frame(), Rect(0, 0, 935, 22));
}

TEST(MarqueeViewBadInput, AZeroSizedViewAndAMegabyteOfTextAreHandledQuietly) {
  const platform::FixedTextMeasurer metrics(7.0, 16.0);
  MarqueeView empty(Rect(0, 0, 0, 0), metrics);
  empty.update(nullptr, "text");
  EXPECT_EQ(empty.subviews().at(0)->frame(), Rect(0, 0, 2 * 32 + 135, 0));
  EXPECT_NE(empty.subviews().at(0)->layer()->animation("marqueeAnimation"), nullptr);

  MarqueeView marquee(Rect(0, 0, viewWidth, viewHeight), metrics);
  marquee.update(nullptr, std::string(1'000'000, 'x'));
  EXPECT_EQ(marquee.subviews().at(0)->frame().width(), 2 * (26 + 7'000'000.0) + 135);
}

}  // namespace
}  // namespace sonvetta
