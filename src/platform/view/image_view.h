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

  ImageScaling imageScaling() const { return imageScaling_; }
  void setImageScaling(ImageScaling scaling);

  // Where the image is drawn, in bounds coordinates; empty without an image.
  Rect imageRect() const;

  void draw(Canvas& canvas) const override;

 private:
  ImageRef image_;
  ImageScaling imageScaling_ = ImageScaling::proportionallyDown;
};

}  // namespace platform
