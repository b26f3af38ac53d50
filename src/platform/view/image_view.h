#pragma once

#include "platform/image/image.h"
#include "platform/view/view.h"

namespace platform {

// How an image view fits its image into its bounds; the values are the
// platform's.
enum class ImageScaling {
  proportionallyDown = 0,      // shrinks to fit, never enlarges
  proportionallyUpOrDown = 3,  // fits exactly, keeping the aspect ratio
};

// Shows one image, centred in its bounds.
class ImageView : public View {
 public:
  using View::View;

  const ImageRef& image() const { return image_; }
  void setImage(ImageRef image);

  void setImageScaling(ImageScaling scaling);

  void draw(Canvas& canvas) const override;
  std::optional<AccessibilityElement> accessibilityElement() const override;

 private:
  // Where the image is drawn, in bounds coordinates; empty without an image.
  Rect imageRect() const;

  ImageRef image_;
  ImageScaling imageScaling_ = ImageScaling::proportionallyDown;
};

}  // namespace platform
