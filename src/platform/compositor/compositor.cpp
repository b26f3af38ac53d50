#include "platform/compositor/compositor.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>

#include "platform/compositor/frame_composition.h"
#include "platform/view/media_clock.h"

namespace platform {

namespace {

constexpr double never = std::numeric_limits<double>::infinity();

// Waits until `descriptors` have something to read or `deadline` passes.
void waitUntil(std::span<pollfd> descriptors, double deadline) {
  const double seconds = deadline - currentMediaTime();
  if (!std::isfinite(seconds)) {
    ppoll(descriptors.data(), descriptors.size(), nullptr, nullptr);
    return;
  }
  const double wait = std::max(seconds, 0.0);
  const timespec timeout{static_cast<time_t>(wait), static_cast<long>(std::fmod(wait, 1.0) * 1e9)};
  ppoll(descriptors.data(), descriptors.size(), &timeout, nullptr);
}

// Where each animation began on screen, by the begin time the main thread
// gave it. An animation plays from the moment its tree is first shown, not
// from when it was added: a tree that reached the screen late still starts
// its scroll at the first position. Later trees that carry the same
// animation go on from where it is.
class AnimationStarts {
 public:
  // `tree` with its animations begun where they began on screen, and those
  // not shown yet at `now`.
  LayerTree startingAt(const LayerTree& tree, double now) {
    next_.clear();
    return tree.withBeginTimes([this, now](const BasicAnimation& animation) {
      const auto known = shown_.find(animation.beginTime);
      const double begin = known == shown_.end() ? now : known->second;
      next_[animation.beginTime] = begin;
      return begin;
    });
  }

  // The tree last made by startingAt() is on screen.
  void shown() { shown_ = std::move(next_); }

 private:
  std::map<double, double> shown_;  // begin time given -> begin on screen
  std::map<double, double> next_;
};

}  // namespace

Compositor::Compositor(std::function<std::unique_ptr<PresentationSurface>()> makeSurface, Events events)
    : events_(std::move(events)), wakeDescriptor_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  thread_ = std::thread([this, makeSurface = std::move(makeSurface)] { run(makeSurface); });
  // Named, so that the thread's costs can be told apart from the main thread's.
  pthread_setname_np(thread_.native_handle(), "compositor");
}

Compositor::~Compositor() {
  stopping_ = true;
  wake();
  thread_.join();
  close(wakeDescriptor_);
}

void Compositor::commit(std::shared_ptr<const LayerTree> tree) {
  {
    const std::lock_guard lock(committedMutex_);
    committed_ = std::move(tree);
  }
  wake();
}

void Compositor::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(wakeDescriptor_, &one, sizeof one);
}

std::shared_ptr<const LayerTree> Compositor::takeCommitted() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(wakeDescriptor_, &count, sizeof count);
  const std::lock_guard lock(committedMutex_);
  return std::move(committed_);
}

void Compositor::run(const std::function<std::unique_ptr<PresentationSurface>()>& makeSurface) {
  const std::unique_ptr<PresentationSurface> surface = makeSurface();
  if (!surface) {
    if (!stopping_) events_.displayLost();
    return;
  }
  std::array<pollfd, 2> descriptors{pollfd{wakeDescriptor_, POLLIN, 0}, pollfd{surface->eventDescriptor(), POLLIN, 0}};
  std::shared_ptr<const LayerTree> tree;         // as committed
  std::optional<Retention> retention;            // how the display keeps `tree`, where it can
  std::optional<LayerTree> playing;              // `tree` with its animations' begins on screen
  AnimationStarts starts;
  std::optional<std::vector<int>> shownShifts;  // none until the tree's first frame
  double lastFrame = -never;
  QImage frame;  // painted again for every frame of a tree that cannot be kept
  double reportedDensity = 0.0;
  // Only what has been signalled is looked at: a frame costs a wake-up and
  // the frame's own request, no more system calls than that.
  bool displaySpoke = true;
  bool woken = true;
  while (!stopping_) {
    if (displaySpoke && !surface->dispatchEvents()) {
      events_.displayLost();
      return;
    }
    if (auto committed = woken ? takeCommitted() : nullptr) {
      tree = std::move(committed);
      retention = retain(*tree);
      shownShifts.reset();
    }
    double deadline = never;
    bool hearDisplay = true;
    if (tree) {
      const double density = surface->devicePixelRatio();
      if (density != tree->devicePixelRatio() && density != reportedDensity) {
        reportedDensity = density;
        events_.densityChanged(density);
      }
      const double now = currentMediaTime();
      if (!shownShifts) playing = starts.startingAt(*tree, now);
      std::vector<int> shifts = layerShiftsAt(*playing, now);
      const bool changed = !shownShifts || shifts != *shownShifts || surface->needsRedraw();
      const bool heldBack = changed && !surface->readyForFrame();
      if (changed && surface->readyForFrame()) {
        if (now >= lastFrame + surface->minimumFrameInterval()) {
          if (retention) {
            surface->presentRetained(retention->frame, retention->offsetAt(shifts));
          } else {
            compositeFrame(*playing, shifts, frame);
            surface->present(frame);
          }
          if (!shownShifts) starts.shown();
          shownShifts = std::move(shifts);
          lastFrame = currentMediaTime();  // when it was shown, however long compositing took
        } else {
          deadline = lastFrame + surface->minimumFrameInterval();
        }
      }
      // Moving layers come back when they have moved by a pixel, but no
      // sooner than the surface takes frames. The display's word that it
      // takes the next one (a Wayland frame callback) is heard only once the
      // frame is due: hearing it at once would cost a second wake-up a frame.
      // While the display holds frames back (a locked screen, a hidden
      // strip), only the display wakes us.
      if (shownShifts) {
        const double due = std::max(nextShiftChangeAfter(*playing, now), lastFrame + surface->minimumFrameInterval());
        if (surface->readyForFrame()) {
          deadline = std::min(deadline, due);
        } else if (!heldBack && std::isfinite(due)) {
          deadline = due;
          hearDisplay = false;
        }
      }
    }
    descriptors[1].revents = 0;
    waitUntil(std::span(descriptors).first(hearDisplay ? 2 : 1), deadline);
    woken = descriptors[0].revents != 0;
    displaySpoke = !hearDisplay || descriptors[1].revents != 0;
  }
}

}  // namespace platform
