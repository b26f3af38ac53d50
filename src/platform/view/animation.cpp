#include "platform/view/animation.h"

#include <cmath>

namespace platform {

std::optional<double> BasicAnimation::presentedValueAt(double time) const {
  const double elapsed = time - beginTime;
  if (!(duration > 0.0) || !std::isfinite(duration) || !(elapsed >= 0.0)) return std::nullopt;
  const double passes = elapsed / duration;
  // As the compositor does, a repeat count of zero means one pass.
  const double repeats = repeatCount > 0.0 ? repeatCount : 1.0;
  if (passes >= repeats * (autoreverses ? 2.0 : 1.0)) return std::nullopt;
  const double phase = std::fmod(passes, autoreverses ? 2.0 : 1.0);
  const double progress = phase <= 1.0 ? phase : 2.0 - phase;
  return fromValue + (toValue - fromValue) * progress;
}

}  // namespace platform
