#pragma once

#include <QByteArray>
#include <QColor>
#include <optional>
#include <span>

namespace platform {

// The background of sway's bar along the top, the one the strip stands
// below, as sway tells its clients over its IPC socket (SWAYSOCK); none
// outside sway, or where no bar runs along the top.
std::optional<QColor> swayTopBarBackground();

// The same from sway's answers about each of its bars (JSON, as
// get_bar_config gives them).
std::optional<QColor> topBarBackgroundIn(std::span<const QByteArray> barConfigs);

}  // namespace platform
