#include "app/marquee/marquee_view.h"

#include <limits>

#include "platform/text/unicode.h"

namespace sonvetta {

namespace {

constexpr double spacingAfterImage = 4.0;
constexpr double copyGap = 135.0;
constexpr double scrollSpeed = 37.0;  // points per second
constexpr char animationKey[] = "marqueeAnimation";

std::shared_ptr<platform::ImageView> makeImageView() {
  auto imageView = std::make_shared<platform::ImageView>();
  imageView->setImageScaling(platform::ImageScaling::proportionallyUpOrDown);
  return imageView;
}

std::shared_ptr<platform::TextField> makeLabel(const platform::TextMeasurer& measurer) {
  auto label = platform::TextField::labelWithString("", measurer);
  label->setFont(platform::Font::menuBarFontOfSize(0.0));
  label->setBackgroundColor(platform::Color::clear());
  label->setBezeled(false);
  return label;
}

void fillCopy(platform::ImageView& imageView, platform::TextField& label, const platform::ImageRef& image,
              const std::string& text) {
  imageView.setImage(image);
  label.setStringValue(text);
  label.sizeToFit();
}

// Centres the label vertically in `height`, unrounded, keeping its size.
void placeLabel(platform::TextField& label, double x, double height) {
  const platform::Size size = label.frame().size;
  label.setFrame({x, (height - size.height) / 2.0, size.width, size.height});
}

}  // namespace

MarqueeView::MarqueeView(const platform::Rect& frame, const platform::TextMeasurer& measurer)
    : platform::View(frame) {
  setWantsLayer(true);
  if (platform::Layer* ownLayer = layer()) ownLayer->setMasksToBounds(true);

  contentView_ = std::make_shared<platform::View>();
  contentView_->setWantsLayer(true);
  addSubview(contentView_);

  imageView1_ = makeImageView();
  contentView_->addSubview(imageView1_);
  textField1_ = makeLabel(measurer);
  contentView_->addSubview(textField1_);
  imageView2_ = makeImageView();
  contentView_->addSubview(imageView2_);
  textField2_ = makeLabel(measurer);
  contentView_->addSubview(textField2_);
}

void MarqueeView::update(platform::ImageRef image, const std::string& text) {
  if (platform::canonicallyEqual(text, lastText_)) return;
  lastText_ = text;
  // Shown as one change, the moment this returns.
  const platform::ViewTransaction transaction;

  fillCopy(*imageView1_, *textField1_, image, text);
  fillCopy(*imageView2_, *textField2_, image, text);

  const double height = bounds().height();
  // Only the first copy is measured: both hold the same text in the same font.
  const double singleContentWidth = height + spacingAfterImage + textField1_->frame().width();
  const double secondCopyX = singleContentWidth + copyGap;

  imageView1_->setFrame({0.0, 0.0, height, height});
  placeLabel(*textField1_, height + spacingAfterImage, height);
  imageView2_->setFrame({secondCopyX, 0.0, height, height});
  placeLabel(*textField2_, secondCopyX + height + spacingAfterImage, height);
  contentView_->setFrame({0.0, 0.0, singleContentWidth * 2.0 + copyGap, height});

  if (bounds().width() < singleContentWidth) {
    startAnimation(singleContentWidth, copyGap);
  } else {
    stopAnimation();
  }
}

void MarqueeView::startAnimation(double singleContentWidth, double gapBetweenCopies) {
  if (platform::Layer* contentLayer = contentView_->layer()) contentLayer->removeAllAnimations();
  if (!(bounds().width() < singleContentWidth)) {
    moveContentToLeftEdge();
    return;
  }
  // One period moves the second copy to where the first one began.
  const double period = singleContentWidth + gapBetweenCopies;
  const platform::BasicAnimation animation{
      .keyPath = "transform.translation.x",
      .fromValue = 0.0,
      .toValue = -period,
      .duration = period / scrollSpeed,
      .repeatCount = std::numeric_limits<double>::infinity(),
      .autoreverses = false,
      .timingFunction = platform::TimingFunction::linear,
  };
  if (platform::Layer* contentLayer = contentView_->layer()) contentLayer->addAnimation(animation, animationKey);
}

void MarqueeView::stopAnimation() {
  if (platform::Layer* contentLayer = contentView_->layer()) contentLayer->removeAnimation(animationKey);
  moveContentToLeftEdge();
}

void MarqueeView::moveContentToLeftEdge() {
  const platform::Rect frame = contentView_->frame();
  contentView_->setFrame({0.0, frame.origin.y, frame.width(), frame.height()});
}

}  // namespace sonvetta
