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
};

// That bar as sway tells its clients over its IPC socket (SWAYSOCK); none
// outside sway, or where that output has no bar.
std::optional<SwayBar> swayBarBesideStrip();

// The edge the strip stands at on sway: that bar's, else the top, as
// everywhere else.
ScreenEdge stripEdgeBesideSwayBar();

// The same from sway's answers: about each of its bars (JSON, as
// get_bar_config gives them), and about its outputs (as get_outputs does).
// A layer surface that names no output goes to the focused one.
std::optional<SwayBar> barBesideStripIn(std::span<const QByteArray> barConfigs, const QByteArray& outputs);

// sway's word that a bar changed (moved to another edge, recoloured,
// hidden), heard over a connection of its own.
class SwayBarChanges {
 public:
  // Listening from now on; null outside sway.
  static std::unique_ptr<SwayBarChanges> subscribe();
  ~SwayBarChanges();
  SwayBarChanges(const SwayBarChanges&) = delete;
  SwayBarChanges& operator=(const SwayBarChanges&) = delete;

  // Readable when sway has said something.
  int descriptor() const;
  // Reads all sway has said, without waiting; true when a bar changed.
  bool barsChanged();

 private:
  explicit SwayBarChanges(std::unique_ptr<SwayIpc> ipc);

  std::unique_ptr<SwayIpc> ipc_;
};

}  // namespace platform
