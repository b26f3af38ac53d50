#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QObject>

#include "platform/appearance/color_scheme_portal.h"

namespace platform {

// What the status bar is painted with: its background, and its text and symbols.
struct StripColors {
  QColor background;
  QColor text;
  friend bool operator==(const StripColors&, const StripColors&) = default;
};

// The desktop's light or dark colours for the status bar. A palette of the
// platform theme's own (a desktop's Qt integration) gives them; where the
// theme has none, Qt falls back on its style's standard light palette, and
// the desktop's colour-scheme preference chooses between light and dark.
// Lives on the main thread, with the QApplication.
class DesktopAppearance final : public QObject {
  Q_OBJECT

 public:
  explicit DesktopAppearance(const QDBusConnection& bus, QObject* parent = nullptr);

  StripColors colors() const;

 signals:
  void colorsChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ColorSchemePortal portal_;
};

}  // namespace platform
