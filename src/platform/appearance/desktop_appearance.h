#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QObject>
#include <optional>

#include "platform/appearance/color_scheme_portal.h"
#include "platform/appearance/strip_colors.h"

namespace platform {

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
  // Beside a panel of the colour `panel`, where one is known, the strip
  // wears the panel's colours; else colors().
  StripColors colorsBeside(std::optional<QColor> panel) const;

 signals:
  void colorsChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ColorSchemePortal portal_;
};

}  // namespace platform
