#include "platform/statusbar/x11/screen_lock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace platform {
namespace {

const QString freedesktopService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString gnomeService = QStringLiteral("org.gnome.ScreenSaver");
const QString activeChanged = QStringLiteral("ActiveChanged");

}  // namespace

ScreenLock::ScreenLock(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
  QDBusConnection listener = bus;
  // Any path: KDE announces on /ScreenSaver and on /org/freedesktop/ScreenSaver.
  listener.connect({}, {}, freedesktopService, activeChanged, this, SLOT(freedesktopActiveChanged(bool)));
  listener.connect({}, {}, gnomeService, activeChanged, this, SLOT(gnomeActiveChanged(bool)));
  askActive(bus, 0, freedesktopService, QStringLiteral("/org/freedesktop/ScreenSaver"));
  askActive(bus, 1, gnomeService, QStringLiteral("/org/gnome/ScreenSaver"));
}

// Started while the screen is locked, the strip waits for the unlock.
void ScreenLock::askActive(const QDBusConnection& bus, int locker, const QString& service, const QString& path) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("GetActive"));
  // A desktop without this locker is not to have one started by asking.
  call.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, locker](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<bool> reply = *finished;
    if (!reply.isError() && !announced_[locker]) adopt(locker, reply.value());
  });
}

void ScreenLock::adopt(int locker, bool active) {
  announced_[locker] = true;
  const bool wasLocked = locked();
  active_[locker] = active;
  if (locked() != wasLocked) emit lockedChanged(locked());
}

}  // namespace platform
