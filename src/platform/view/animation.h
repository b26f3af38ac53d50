#pragma once

#include <optional>
#include <string>

namespace platform {

// The key path of the one property that layers animate: the sideways shift.
inline constexpr char translationKeyPath[] = "transform.translation.x";

enum class TimingFunction { linear };

// A property animation played by the renderer from its begin time on.
struct BasicAnimation {
  std::string keyPath;
  double fromValue = 0.0;
  double toValue = 0.0;
  double duration = 0.0;     // seconds of one pass
  double repeatCount = 1.0;  // passes; may be infinite
  bool autoreverses = false;
  TimingFunction timingFunction = TimingFunction::linear;
  double beginTime = 0.0;  // media time; the layer sets it when it takes the animation

  // The value shown at media time `time`, or nothing while the animation
  // does not apply (before its begin, after its last pass, or when its
  // duration is unusable).
  std::optional<double> presentedValueAt(double time) const;
};

}  // namespace platform
