#pragma once

#include <QByteArray>
#include <QColor>
#include <memory>
#include <optional>
#include <span>

#include "platform/statusbar/screen_edge.h"

namespace platform {

class SwayIpc;

// The sway bar the strip stands beside, on the output sway puts the strip
// on: the one along the top of it, else one along its bottom.
struct SwayBar {
  bool alongBottom;
  std::optional<QColor> background;  // none where sway gives none that can be read
  bool operator==(const SwayBar&) const = default;
};

// The same from sway's answers: about each of its bars (JSON, as
// get_bar_config gives them), and about its outputs (as get_outputs does).
// A layer surface that names no output goes to the focused one.
std::optional<SwayBar> barBesideStripIn(std::span<const QByteArray> barConfigs, const QByteArray& outputs);

// That bar as sway tells its clients over its IPC socket (SWAYSOCK), kept
// with the socket, and asked again when sway says a bar changed (moved to
// another edge, recoloured, hidden).
class SwayBarWatch {
 public:
  // Watching from now on; null outside sway.
  static std::unique_ptr<SwayBarWatch> start();
  ~SwayBarWatch();
  SwayBarWatch(const SwayBarWatch&) = delete;
  SwayBarWatch& operator=(const SwayBarWatch&) = delete;

  // Readable when sway has said something.
  int descriptor() const;
  // Reads all sway has said, without waiting; true when the bar beside the
  // strip is another now.
  bool update();
  // None where the strip's output has no bar.
  const std::optional<SwayBar>& bar() const { return bar_; }
  // The edge the strip stands at on sway: that bar's, else the top, as
  // everywhere else.
  ScreenEdge stripEdge() const { return bar_ && bar_->alongBottom ? ScreenEdge::bottom : ScreenEdge::top; }

 private:
  explicit SwayBarWatch(std::unique_ptr<SwayIpc> ipc);
  std::optional<SwayBar> ask();

  std::unique_ptr<SwayIpc> ipc_;
  std::optional<SwayBar> bar_;
};

}  // namespace platform
