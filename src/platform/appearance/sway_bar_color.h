#pragma once

#include <QByteArray>
#include <QColor>
#include <optional>
#include <span>

namespace platform {

// The sway bar the strip stands beside, on the output sway puts the strip
// on: the one along the top of it, else one along its bottom.
struct SwayBar {
  bool alongBottom;
  std::optional<QColor> background;  // none where sway gives none that can be read
};

// That bar as sway tells its clients over its IPC socket (SWAYSOCK); none
// outside sway, or where that output has no bar.
std::optional<SwayBar> swayBarBesideStrip();

// The same from sway's answers: about each of its bars (JSON, as
// get_bar_config gives them), and about its outputs (as get_outputs does).
// A layer surface that names no output goes to the focused one.
std::optional<SwayBar> barBesideStripIn(std::span<const QByteArray> barConfigs, const QByteArray& outputs);

}  // namespace platform
