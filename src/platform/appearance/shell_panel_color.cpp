#include "platform/appearance/shell_panel_color.h"

#include <QDBusConnectionInterface>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

std::optional<QColor> shellPanelColor(const QDBusConnection& bus) {
  const QDBusConnectionInterface* names = bus.interface();
  if (names == nullptr) return std::nullopt;
  if (names->isServiceRegistered("org.gnome.Shell")) return QColor(Qt::black);
  if (names->isServiceRegistered("org.kde.plasmashell")) {
    return plasmaPanelColor(QStandardPaths::locate(QStandardPaths::GenericConfigLocation, "kdeglobals"));
  }
  return std::nullopt;
}

QColor plasmaPanelColor(const QString& kdeglobals) {
  const QColor breezeLight(239, 240, 241);
  if (kdeglobals.isEmpty()) return breezeLight;
  const QStringList rgb = QSettings(kdeglobals, QSettings::IniFormat).value("Colors:Window/BackgroundNormal").toStringList();
  if (rgb.size() != 3) return breezeLight;
  int channels[3];
  for (int i = 0; i < 3; ++i) {
    bool number = false;
    channels[i] = rgb[i].trimmed().toInt(&number);
    if (!number || channels[i] < 0 || channels[i] > 255) return breezeLight;
  }
  return QColor(channels[0], channels[1], channels[2]);
}

}  // namespace platform
