#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/compositor/layer_tree.h"
#include "platform/compositor/presentation_surface.h"

namespace platform {

// Plays the committed layer tree on a thread of its own: composites a frame
// whenever what the screen shows changes (a new tree, a layer moved by a
// whole pixel, the display asking), at most as often as the surface allows,
// and sleeps while nothing moves. The main thread only commits snapshots, so
// a busy main thread never stops a running animation.
class Compositor {
 public:
  struct Events {
    // The surface shows frames best at this pixel density; the next tree
    // should be drawn at it.
    std::function<void(double)> densityChanged;
    // The display has gone away or closed the surface; no more frames come.
    std::function<void()> displayLost;
  };

  // Starts the thread, which makes its surface with `makeSurface` (null when
  // the display cannot be reached) and tells `events`, from that thread.
  Compositor(std::function<std::unique_ptr<PresentationSurface>()> makeSurface, Events events);
  // Stops the thread and waits for it.
  ~Compositor();
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  // Makes `tree` the one shown from now on. Never waits for a frame.
  void commit(std::shared_ptr<const LayerTree> tree);

 private:
  void run(const std::function<std::unique_ptr<PresentationSurface>()>& makeSurface);
  std::shared_ptr<const LayerTree> takeCommitted();
  void wake();

  Events events_;
  int wakeDescriptor_;
  std::atomic<bool> stopping_{false};
  std::mutex committedMutex_;  // held only to hand over the pointer
  std::shared_ptr<const LayerTree> committed_;
  std::thread thread_;
};

}  // namespace platform
