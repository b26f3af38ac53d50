#include "platform/appearance/desktop_appearance.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStyle>

#include "platform/appearance/panel_colors.h"

namespace platform {
namespace {

// The dark counterpart of the light standard palette's window colours.
const StripColors darkColors{QColor(0x2b, 0x2b, 0x2b), QColor(0xf0, 0xf0, 0xf0)};

StripColors colorsOf(const QPalette& palette) {
  return {palette.color(QPalette::Active, QPalette::Window), palette.color(QPalette::Active, QPalette::WindowText)};
}

}  // namespace

DesktopAppearance::DesktopAppearance(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), portal_(bus) {
  connect(&portal_, &ColorSchemePortal::colorSchemeChanged, this, &DesktopAppearance::colorsChanged);
  qApp->installEventFilter(this);
}

StripColors DesktopAppearance::colors() const {
  const QPalette palette = QApplication::palette();
  const bool themeHasPalette = palette != QApplication::style()->standardPalette();
  if (themeHasPalette || portal_.colorScheme() != ColorScheme::dark) return colorsOf(palette);
  return darkColors;
}

StripColors DesktopAppearance::colorsBeside(std::optional<QColor> panel) const {
  if (!panel) return colors();
  // The theme's palette stands for its own side, light or dark; the other
  // side gets today's counterpart.
  const StripColors theme = colorsOf(QApplication::palette());
  const bool themeIsDark = theme.background.lightness() < theme.text.lightness();
  const StripColors light = themeIsDark ? colorsOf(QApplication::style()->standardPalette()) : theme;
  return platform::colorsBeside(*panel, light, themeIsDark ? theme : darkColors);
}

bool DesktopAppearance::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) emit colorsChanged();
  return QObject::eventFilter(watched, event);
}

}  // namespace platform
