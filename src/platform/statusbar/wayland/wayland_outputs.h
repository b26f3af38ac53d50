#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct wl_output;
struct wl_registry;

namespace platform {

// The compositor's outputs as the strip sees them: each one's scale and
// refresh rate, and whether the strip's surface stands on it, from which
// the scale the strip is drawn at and how often it may be drawn follow.
class WaylandOutputs {
 public:
  // `changed` hears when an output's scale or mode has been given in full.
  explicit WaylandOutputs(std::function<void()> changed);
  ~WaylandOutputs();
  WaylandOutputs(const WaylandOutputs&) = delete;
  WaylandOutputs& operator=(const WaylandOutputs&) = delete;

  // The registry's global `name`, announced as an output of `version`.
  void bind(wl_registry* registry, std::uint32_t name, std::uint32_t version);
  // The registry's global `name` is gone: where it was an output, whether
  // the strip stood on it; none where it was no output.
  std::optional<bool> forget(std::uint32_t name);

  void setShown(const wl_output* proxy, bool shown);
  // The strip's surface has gone from every output.
  void hideSurface();

  bool empty() const { return outputs_.empty(); }
  bool surfaceShown() const;
  // The highest scale of the outputs showing the strip, so that it is crisp
  // on each; before it is shown anywhere, the highest of all.
  int scale() const;
  // The refresh interval of the fastest output showing the strip, in
  // seconds: frame callbacks come no sooner. 0 where none says.
  double minimumFrameInterval() const;

 private:
  struct Listeners;
  struct Output {
    wl_output* proxy;
    std::uint32_t name;
    std::int32_t scale = 1;
    std::int32_t pendingScale = 1;
    std::int32_t refreshMillihertz = 0;  // of its current mode; 0 where unknown
    bool showsSurface = false;
  };

  Output* find(const wl_output* proxy);
  // Those the strip stands on; all while it stands on none.
  std::vector<const Output*> showing() const;

  std::function<void()> changed_;
  std::vector<Output> outputs_;
};

}  // namespace platform
