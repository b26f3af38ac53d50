#pragma once

#include <QByteArray>

namespace platform {

// How far from the top and the bottom edge Plasma's panels' windows reach,
// in points; 0 where it has none along an edge.
struct PlasmaPanelDepths {
  int top = 0;
  int bottom = 0;
};

// The depths of Plasma's panels, from its settings: `plasmashellrc` gives
// each panel's thickness ([PlasmaViews][Panel N], or its [Defaults]) and
// whether it floats (floating=1), and the applets' file
// (plasma-org.kde.plasma.desktop-appletsrc) the edge it stands at
// ([Containments][N], location=3 at the top, 4 at the bottom). A floating
// panel's window stands 8 points off its edge and reaches as far beyond its
// body.
PlasmaPanelDepths plasmaPanelDepths(const QByteArray& plasmashellrc, const QByteArray& appletsrc);

// The same, from the user's own settings files; none where there are none.
PlasmaPanelDepths plasmaPanelDepths();

}  // namespace platform
