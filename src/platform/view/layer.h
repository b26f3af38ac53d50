#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/view/animation.h"

namespace platform {

// What the compositor keeps of a layer-backed view: clipping and the
// animations it plays.
class Layer {
 public:
  // `changed` is called whenever something alters what the layer shows.
  explicit Layer(std::function<void()> changed) : changed_(std::move(changed)) {}

  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks);

  // Takes a copy that begins now; replaces any animation under `key`.
  void addAnimation(BasicAnimation animation, const std::string& key);
  void removeAnimation(std::string_view key);
  void removeAllAnimations();

  // The animation under `key`, or null.
  const BasicAnimation* animation(std::string_view key) const;
  std::vector<std::string> animationKeys() const;

  // `modelValue` as the animations of `keyPath` present it at `time`; the
  // one added last wins.
  double presentedValue(std::string_view keyPath, double modelValue, double time) const;

 private:
  std::function<void()> changed_;
  bool masksToBounds_ = false;
  std::vector<std::pair<std::string, BasicAnimation>> animations_;  // in the order added
};

}  // namespace platform
