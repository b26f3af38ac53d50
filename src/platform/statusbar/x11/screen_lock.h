#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform {

// Whether a screen locker (or a screen saver) is up, as the buses tell. A
// compositing X11 window manager draws its locker over every window without
// X knowing, so this is the only word that the strip cannot be seen.
//
// On the session bus, the lockers of the desktops in use each announce
// "ActiveChanged" and answer "GetActive" under a name of their own: KDE's
// and light-locker's org.freedesktop.ScreenSaver, GNOME's, Cinnamon's,
// MATE's and Xfce's. On the system bus, logind's "LockedHint" of this
// session covers the lockers that tell only logind (and those of a session
// without a bus of its own).
class ScreenLock final : public QObject {
  Q_OBJECT

 public:
  ScreenLock(const QDBusConnection& sessionBus, const QDBusConnection& systemBus, QObject* parent = nullptr);

  bool locked() const { return !lockedBy_.isEmpty(); }

 signals:
  void lockedChanged(bool locked);

 private slots:
  void lockerActiveChanged(bool active, const QDBusMessage& message);
  void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

 private:
  void askLocker(const QDBusConnection& bus, const QString& service, const QString& path);
  void followSession(QDBusConnection bus, const QString& sessionPath);
  // Sets whether `source` (a locker's name, or logind) holds the screen
  // locked; `answer` is true for a reply to a question, which a change
  // announced while it was on its way makes stale.
  void adopt(const QString& source, bool active, bool answer);

  // A locker that goes away leaves no lock behind.
  QDBusServiceWatcher lockersGone_;
  QSet<QString> lockedBy_;
  QSet<QString> announced_;
};

}  // namespace platform
