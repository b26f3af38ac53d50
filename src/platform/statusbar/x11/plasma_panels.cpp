#include "platform/statusbar/x11/plasma_panels.h"

#include <QFile>
#include <QList>
#include <QStandardPaths>
#include <functional>
#include <optional>
#include <algorithm>
#include <map>

namespace platform {
namespace {

// Calls `entry` with the section, key and value of every `key=value` line
// of a KDE settings file, sections named as in the file ("[A][B]").
void eachEntry(const QByteArray& text, const std::function<void(const QByteArray&, const QByteArray&, const QByteArray&)>& entry) {
  QByteArray section;
  for (const QByteArray& raw : text.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.startsWith('[')) {
      section = line;
    } else if (const qsizetype equals = line.indexOf('='); equals > 0) {
      entry(section, line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
  }
}

// N of a section named `prefix`N], none of any other (one within it).
std::optional<QByteArray> numberIn(const QByteArray& section, const QByteArray& prefix) {
  if (!section.startsWith(prefix) || !section.endsWith(']') || section.count('[') != prefix.count('[')) return {};
  return section.mid(prefix.size(), section.size() - prefix.size() - 1);
}

QByteArray contentsOf(const QString& name) {
  QFile file(QStandardPaths::locate(QStandardPaths::GenericConfigLocation, name));
  return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray();
}

}  // namespace

PlasmaPanelDepths plasmaPanelDepths(const QByteArray& plasmashellrc, const QByteArray& appletsrc) {
  struct Panel {
    bool floating = false;
    int thickness = 0;
    bool ownThickness = false;  // the user's, over the one of [Defaults]
  };
  std::map<QByteArray, Panel> panels;
  eachEntry(plasmashellrc, [&](const QByteArray& section, const QByteArray& key, const QByteArray& value) {
    const QByteArray prefix = "[PlasmaViews][Panel ";
    const std::optional<QByteArray> own = numberIn(section, prefix);
    const std::optional<QByteArray> panel =
        own ? own : numberIn(QByteArray(section).replace("][Defaults]", "]"), prefix);
    if (!panel) return;
    Panel& each = panels[*panel];
    bool number = false;
    const int thickness = value.toInt(&number);
    if (key == "floating" && own) each.floating = value == "1";
    if (key == "thickness" && number && thickness > 0 && thickness < 1000 && (own || !each.ownThickness)) {
      each.thickness = thickness;
      each.ownThickness = own.has_value();
    }
  });
  PlasmaPanelDepths depths;
  eachEntry(appletsrc, [&](const QByteArray& section, const QByteArray& key, const QByteArray& value) {
    const std::optional<QByteArray> containment = numberIn(section, "[Containments][");
    if (key != "location" || !containment || !panels.contains(*containment)) return;
    const Panel& panel = panels[*containment];
    if (panel.thickness == 0) return;
    const int depth = panel.thickness + (panel.floating ? 2 * 8 : 0);
    if (value == "3") depths.top = std::max(depths.top, depth);
    if (value == "4") depths.bottom = std::max(depths.bottom, depth);
  });
  return depths;
}

PlasmaPanelDepths plasmaPanelDepths() {
  return plasmaPanelDepths(contentsOf("plasmashellrc"), contentsOf("plasma-org.kde.plasma.desktop-appletsrc"));
}

}  // namespace platform
