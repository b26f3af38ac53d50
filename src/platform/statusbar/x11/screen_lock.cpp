#include "platform/statusbar/x11/screen_lock.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <algorithm>

namespace platform {
namespace {

struct Locker {
  const char* interface;  // also its service's name
  const char* path;
};

constexpr Locker lockers[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
    {"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver"},
    {"org.mate.ScreenSaver", "/org/mate/ScreenSaver"},
    {"org.xfce.ScreenSaver", "/org/xfce/ScreenSaver"},
};

const QString activeChangedSignal = QStringLiteral("ActiveChanged");

}  // namespace

ScreenLock::ScreenLock(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
  static_assert(std::size(lockers) == lockerCount);
  QDBusConnection listener = bus;
  for (std::size_t locker = 0; locker < lockerCount; ++locker) {
    // Any path: KDE announces on /ScreenSaver and on /org/freedesktop/ScreenSaver.
    listener.connect({}, {}, lockers[locker].interface, activeChangedSignal, this,
                     SLOT(activeChanged(bool, QDBusMessage)));
    askActive(bus, locker);
  }
}

bool ScreenLock::locked() const { return std::ranges::any_of(active_, [](bool active) { return active; }); }

void ScreenLock::activeChanged(bool active, const QDBusMessage& message) {
  const auto locker = std::ranges::find(lockers, message.interface(), [](const Locker& each) {
    return QString::fromLatin1(each.interface);
  });
  if (locker != std::end(lockers)) adopt(static_cast<std::size_t>(locker - std::begin(lockers)), active);
}

// Started while the screen is locked, the strip waits for the unlock.
void ScreenLock::askActive(const QDBusConnection& bus, std::size_t locker) {
  const QString service = QString::fromLatin1(lockers[locker].interface);
  QDBusMessage call =
      QDBusMessage::createMethodCall(service, lockers[locker].path, service, QStringLiteral("GetActive"));
  // A desktop without this locker is not to have one started by asking.
  call.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, locker](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<bool> reply = *finished;
    if (!reply.isError() && !announced_[locker]) adopt(locker, reply.value());
  });
}

void ScreenLock::adopt(std::size_t locker, bool active) {
  announced_[locker] = true;
  const bool wasLocked = locked();
  active_[locker] = active;
  if (locked() != wasLocked) emit lockedChanged(locked());
}

}  // namespace platform
