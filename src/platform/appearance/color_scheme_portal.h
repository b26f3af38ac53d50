#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

namespace platform {

// The colour scheme the user prefers, in the freedesktop appearance
// setting's terms.
enum class ColorScheme { noPreference, dark, light };

// Follows the freedesktop appearance setting "color-scheme" through the
// desktop's settings portal. The first reading arrives asynchronously, so
// start-up never waits for a portal that is slow to start; until then, and
// where there is no portal, there is no preference.
class ColorSchemePortal final : public QObject {
  Q_OBJECT

 public:
  explicit ColorSchemePortal(const QDBusConnection& bus, QObject* parent = nullptr);

  ColorScheme colorScheme() const { return colorScheme_; }

 signals:
  void colorSchemeChanged();

 private slots:
  void settingChanged(const QString& settingNamespace, const QString& key, const QDBusVariant& value);

 private:
  void read(const QString& method);
  void readingArrived(QDBusPendingCallWatcher* watcher, const QString& method);
  void adopt(const QVariant& value);

  QDBusConnection bus_;
  ColorScheme colorScheme_ = ColorScheme::noPreference;
  // A change announced while a reading is on its way is newer than the reading.
  bool changeAnnounced_ = false;
};

}  // namespace platform
