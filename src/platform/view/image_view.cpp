#include "platform/view/image_view.h"

#include <algorithm>
#include <cmath>

namespace platform {

void ImageView::setImage(ImageRef image) {
  if (image == image_) return;
  image_ = std::move(image);
  setNeedsDisplay();
}

void ImageView::setImageScaling(ImageScaling scaling) {
  if (scaling == imageScaling_) return;
  imageScaling_ = scaling;
  setNeedsDisplay();
}

Rect ImageView::imageRect() const {
  if (image_ == nullptr) return {};
  const Size natural = image_->size();
  const Rect area = bounds();
  double scale = std::min(area.width() / natural.width, area.height() / natural.height);
  if (imageScaling_ == ImageScaling::proportionallyDown) scale = std::min(scale, 1.0);
  if (!std::isfinite(scale) || !(scale > 0.0)) return {};
  const double width = natural.width * scale;
  const double height = natural.height * scale;
  return {(area.width() - width) / 2.0, (area.height() - height) / 2.0, width, height};
}

std::optional<AccessibilityElement> ImageView::accessibilityElement() const {
  if (image_ == nullptr) return std::nullopt;
  std::string description = image_->accessibilityDescription();
  // Symbols say what they show; the pictures that say nothing are what the
  // status items show beside a track: its artwork.
  if (description.empty()) description = "Track artwork";
  return AccessibilityElement{.role = AccessibilityRole::image, .label = description, .description = description};
}

void ImageView::draw(Canvas& canvas) const {
  const Rect rect = imageRect();
  if (rect.width() > 0.0 && rect.height() > 0.0) image_->draw(canvas, rect);
}

}  // namespace platform
