#pragma once

namespace platform {

// Seconds on a monotonic clock: the time base of every animation.
double currentMediaTime();

}  // namespace platform
