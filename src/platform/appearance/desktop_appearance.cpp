#include "platform/appearance/desktop_appearance.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStyle>

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

bool DesktopAppearance::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) emit colorsChanged();
  return QObject::eventFilter(watched, event);
}

}  // namespace platform
