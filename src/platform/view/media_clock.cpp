#include "platform/view/media_clock.h"

#include <chrono>

namespace platform {

double currentMediaTime() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
