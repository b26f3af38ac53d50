#include "platform/statusbar/x11/screen_lock.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <array>

namespace platform {
namespace {

struct Locker {
  const char* service;
  const char* path;
};

// Each with the same interface as its service name.
constexpr std::array lockers{
    Locker{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
    Locker{"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
    Locker{"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver"},
    Locker{"org.mate.ScreenSaver", "/org/mate/ScreenSaver"},
    Locker{"org.xfce.ScreenSaver", "/org/xfce/ScreenSaver"},
};

const QString logind = QStringLiteral("org.freedesktop.login1");
const QString logindSession = QStringLiteral("org.freedesktop.login1.Session");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString lockedHint = QStringLiteral("LockedHint");

// Asked without starting anything: a desktop without this service is not
// to have one started by asking.
QDBusMessage callWithoutStarting(const QString& service, const QString& path, const QString& interface,
                                 const QString& method, const QVariantList& arguments = {}) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
  call.setArguments(arguments);
  call.setAutoStartService(false);
  return call;
}

}  // namespace

ScreenLock::ScreenLock(const QDBusConnection& sessionBus, const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent), lockersGone_({}, sessionBus, QDBusServiceWatcher::WatchForUnregistration) {
  connect(&lockersGone_, &QDBusServiceWatcher::serviceUnregistered, this,
          [this](const QString& service) { adopt(service, false, false); });
  QDBusConnection listener = sessionBus;
  for (const Locker& locker : lockers) {
    const QString service = QString::fromLatin1(locker.service);
    // Any path and any sender: KDE announces on /ScreenSaver and on
    // /org/freedesktop/ScreenSaver.
    listener.connect({}, {}, service, QStringLiteral("ActiveChanged"), this,
                     SLOT(lockerActiveChanged(bool, QDBusMessage)));
    lockersGone_.addWatchedService(service);
    askLocker(sessionBus, service, QString::fromLatin1(locker.path));
  }

  // "auto" is the caller's own session, or else its user's graphical one.
  auto* watcher = new QDBusPendingCallWatcher(
      systemBus.asyncCall(callWithoutStarting(logind, QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager"),
                                              QStringLiteral("GetSession"), {QStringLiteral("auto")})),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, systemBus](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *finished;
    if (!reply.isError()) followSession(systemBus, reply.value().path());
  });
}

// Started while the screen is locked, the strip waits for the unlock.
void ScreenLock::askLocker(const QDBusConnection& bus, const QString& service, const QString& path) {
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(callWithoutStarting(service, path, service, QStringLiteral("GetActive"))), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, service](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<bool> reply = *finished;
    if (!reply.isError()) adopt(service, reply.value(), true);
  });
}

void ScreenLock::followSession(QDBusConnection bus, const QString& sessionPath) {
  bus.connect(logind, sessionPath, properties, QStringLiteral("PropertiesChanged"), this,
              SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(callWithoutStarting(logind, sessionPath, properties, QStringLiteral("Get"),
                                        {logindSession, lockedHint})),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *finished;
    if (!reply.isError()) adopt(logind, reply.value().variant().toBool(), true);
  });
}

void ScreenLock::lockerActiveChanged(bool active, const QDBusMessage& message) {
  adopt(message.interface(), active, false);
}

void ScreenLock::sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                          const QStringList&) {
  if (interface == logindSession && changed.contains(lockedHint)) adopt(logind, changed[lockedHint].toBool(), false);
}

void ScreenLock::adopt(const QString& source, bool active, bool answer) {
  if (answer && announced_.contains(source)) return;
  if (!answer) announced_.insert(source);
  const bool wasLocked = locked();
  if (active) {
    lockedBy_.insert(source);
  } else {
    lockedBy_.remove(source);
  }
  if (locked() != wasLocked) emit lockedChanged(locked());
}

}  // namespace platform
