#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QString>
#include <optional>

namespace platform {

// The colour of the panel a Wayland shell draws, which an X11 client of
// that shell (through XWayland) cannot read from the screen: the colour its
// theme gives it. GNOME Shell draws its top bar black in light and dark
// alike; Plasma draws its panels in its colour scheme's window background.
// None under any other shell.
std::optional<QColor> shellPanelColor(const QDBusConnection& bus);

// Plasma's panel colour from the user's `kdeglobals` (KDE's settings file,
// holding the colour scheme's colours): Breeze's light window background
// where it names none.
QColor plasmaPanelColor(const QString& kdeglobals);

}  // namespace platform
