#pragma once

#include <memory>
#include <string>

#include "platform/image/image.h"
#include "platform/view/image_view.h"
#include "platform/view/text_field.h"
#include "platform/view/view.h"

namespace sonvetta {

// The status item's content: an artwork image followed by one line of text.
// The content is held twice, side by side in one content view, so that
// sliding the content view left by one copy plus the gap, over and over,
// scrolls text that does not fit in an endless loop without a seam.
//
// Tree: this view (clips to its bounds) > content view (animated) >
// image view 1, label 1, image view 2, label 2.
class MarqueeView : public platform::View {
 public:
  // `measurer` lays out the text and must outlive the view.
  MarqueeView(const platform::Rect& frame, const platform::TextMeasurer& measurer);

  // Shows `image` (may be null) and `text` in both copies and scrolls them
  // if one copy is wider than this view; the tree's owner hears of the
  // change once, before this returns. A text equal to the one shown last
  // (canonically equivalent counts as equal) changes nothing.
  void update(platform::ImageRef image, const std::string& text);

 private:
  void startAnimation(double singleContentWidth, double gapBetweenCopies);
  void stopAnimation();
  void moveContentToLeftEdge();

  std::shared_ptr<platform::View> contentView_;
  std::shared_ptr<platform::ImageView> imageView1_;
  std::shared_ptr<platform::TextField> textField1_;
  std::shared_ptr<platform::ImageView> imageView2_;
  std::shared_ptr<platform::TextField> textField2_;
  std::string lastText_;
};

}  // namespace sonvetta
