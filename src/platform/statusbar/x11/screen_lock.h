#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <array>

namespace platform {

// Whether the desktop's screen locker (or its screen saver) is up, as the
// session bus tells: "ActiveChanged" of org.freedesktop.ScreenSaver (KDE,
// Xfce and others) and of org.gnome.ScreenSaver (GNOME). A compositing X11
// window manager draws its locker over every window without X knowing, so
// this is the only word that the strip cannot be seen.
class ScreenLock final : public QObject {
  Q_OBJECT

 public:
  explicit ScreenLock(const QDBusConnection& bus, QObject* parent = nullptr);

  bool locked() const { return active_[0] || active_[1]; }

 signals:
  void lockedChanged(bool locked);

 private slots:
  void freedesktopActiveChanged(bool active) { adopt(0, active); }
  void gnomeActiveChanged(bool active) { adopt(1, active); }

 private:
  void askActive(const QDBusConnection& bus, int locker, const QString& service, const QString& path);
  void adopt(int locker, bool active);

  // By locker: org.freedesktop.ScreenSaver's, then org.gnome.ScreenSaver's.
  std::array<bool, 2> active_{};
  // A change announced while the first answer is on its way is newer.
  std::array<bool, 2> announced_{};
};

}  // namespace platform
