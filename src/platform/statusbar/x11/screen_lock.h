#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <array>

namespace platform {

// Whether the desktop's screen locker (or its screen saver) is up, as the
// session bus tells: "ActiveChanged" of org.freedesktop.ScreenSaver (KDE
// and others), of org.gnome.ScreenSaver (GNOME), and of Cinnamon's, MATE's
// and Xfce's screen savers. A compositing X11 window manager draws its
// locker over every window without X knowing, so this is the only word
// that the strip cannot be seen.
class ScreenLock final : public QObject {
  Q_OBJECT

 public:
  explicit ScreenLock(const QDBusConnection& bus, QObject* parent = nullptr);

  bool locked() const;

 signals:
  void lockedChanged(bool locked);

 private slots:
  void activeChanged(bool active, const QDBusMessage& message);

 private:
  static constexpr std::size_t lockerCount = 5;

  void askActive(const QDBusConnection& bus, std::size_t locker);
  void adopt(std::size_t locker, bool active);

  // By locker, in the order of the lockers' table.
  std::array<bool, lockerCount> active_{};
  // A change announced while the first answer is on its way is newer.
  std::array<bool, lockerCount> announced_{};
};

}  // namespace platform
