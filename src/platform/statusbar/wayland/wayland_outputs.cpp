#include "platform/statusbar/wayland/wayland_outputs.h"

#include <wayland-client.h>

#include <algorithm>

namespace platform {
namespace {

// The newest version whose requests and events this code knows.
constexpr std::uint32_t outputVersionKnown = 3;  // wl_output.release

void releaseOutput(wl_output* output) {
  if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
    wl_output_release(output);
  } else {
    wl_output_destroy(output);
  }
}

}  // namespace

struct WaylandOutputs::Listeners {
  static WaylandOutputs& self(void* data) { return *static_cast<WaylandOutputs*>(data); }

  static void geometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                       int32_t) {}
  static void mode(void* data, wl_output* proxy, uint32_t flags, int32_t, int32_t, int32_t refresh) {
    Output* output = self(data).find(proxy);
    if (output != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0) output->refreshMillihertz = std::max(refresh, 0);
  }
  static void scale(void* data, wl_output* proxy, int32_t scale) {
    if (Output* output = self(data).find(proxy)) output->pendingScale = std::max(scale, 1);
  }
  static void done(void* data, wl_output* proxy) {
    WaylandOutputs& outputs = self(data);
    if (Output* output = outputs.find(proxy)) {
      output->scale = output->pendingScale;
      outputs.changed_();
    }
  }
  static void name(void*, wl_output*, const char*) {}
  static void description(void*, wl_output*, const char*) {}

  static constexpr wl_output_listener output = {&geometry, &mode, &done, &scale, &name, &description};
};

WaylandOutputs::WaylandOutputs(std::function<void()> changed) : changed_(std::move(changed)) {}

WaylandOutputs::~WaylandOutputs() {
  for (const Output& output : outputs_) releaseOutput(output.proxy);
}

void WaylandOutputs::bind(wl_registry* registry, std::uint32_t name, std::uint32_t version) {
  auto* proxy = static_cast<wl_output*>(
      wl_registry_bind(registry, name, &wl_output_interface, std::min(version, outputVersionKnown)));
  wl_output_add_listener(proxy, &Listeners::output, this);
  outputs_.push_back(Output{proxy, name});
}

std::optional<bool> WaylandOutputs::forget(std::uint32_t name) {
  const auto output = std::ranges::find(outputs_, name, &Output::name);
  if (output == outputs_.end()) return std::nullopt;
  const bool showedSurface = output->showsSurface;
  releaseOutput(output->proxy);
  outputs_.erase(output);
  return showedSurface;
}

WaylandOutputs::Output* WaylandOutputs::find(const wl_output* proxy) {
  const auto output = std::ranges::find(outputs_, proxy, &Output::proxy);
  return output == outputs_.end() ? nullptr : &*output;
}

void WaylandOutputs::setShown(const wl_output* proxy, bool shown) {
  if (Output* output = find(proxy)) output->showsSurface = shown;
}

void WaylandOutputs::hideSurface() {
  for (Output& output : outputs_) output.showsSurface = false;
}

bool WaylandOutputs::surfaceShown() const { return std::ranges::any_of(outputs_, &Output::showsSurface); }

std::vector<const WaylandOutputs::Output*> WaylandOutputs::showing() const {
  const bool shownAnywhere = surfaceShown();
  std::vector<const Output*> showing;
  for (const Output& output : outputs_) {
    if (output.showsSurface || !shownAnywhere) showing.push_back(&output);
  }
  return showing;
}

int WaylandOutputs::scale() const {
  int scale = 1;
  for (const Output* output : showing()) scale = std::max(scale, output->scale);
  return scale;
}

double WaylandOutputs::minimumFrameInterval() const {
  int32_t fastest = 0;
  for (const Output* output : showing()) fastest = std::max(fastest, output->refreshMillihertz);
  return fastest > 0 ? 1000.0 / fastest : 0.0;
}

}  // namespace platform
