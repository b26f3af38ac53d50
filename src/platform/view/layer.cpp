#include "platform/view/layer.h"

#include <algorithm>

#include "platform/view/media_clock.h"

namespace platform {

void Layer::setMasksToBounds(bool masks) {
  if (masks == masksToBounds_) return;
  masksToBounds_ = masks;
  changed_();
}

void Layer::addAnimation(BasicAnimation animation, const std::string& key) {
  std::erase_if(animations_, [&key](const auto& entry) { return entry.first == key; });
  animation.beginTime = currentMediaTime();
  animations_.emplace_back(key, std::move(animation));
  changed_();
}

void Layer::removeAnimation(std::string_view key) {
  if (std::erase_if(animations_, [key](const auto& entry) { return entry.first == key; }) > 0) changed_();
}

void Layer::removeAllAnimations() {
  if (animations_.empty()) return;
  animations_.clear();
  changed_();
}

const BasicAnimation* Layer::animation(std::string_view key) const {
  const auto found = std::find_if(animations_.begin(), animations_.end(),
                                  [key](const auto& entry) { return entry.first == key; });
  return found == animations_.end() ? nullptr : &found->second;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& entry : animations_) keys.push_back(entry.first);
  return keys;
}

double Layer::presentedValue(std::string_view keyPath, double modelValue, double time) const {
  double value = modelValue;
  for (const auto& [key, animation] : animations_) {
    if (animation.keyPath != keyPath) continue;
    value = animation.presentedValueAt(time).value_or(value);
  }
  return value;
}

}  // namespace platform
