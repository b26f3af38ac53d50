#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QObject>
#include <QString>

namespace sonvetta_test {

// The desktop's settings portal on a connection of its own, as the portal
// process would be, holding one colour-scheme value. An old portal knows
// only Read, which answers with the value wrapped twice.
class FakeSettingsPortal final : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

 public:
  enum class Version { old, current };
  FakeSettingsPortal(Version version, uint colorScheme);
  ~FakeSettingsPortal() override;

  // Changes the colour scheme and announces it with SettingChanged.
  void change(uint colorScheme);

 public slots:
  QDBusVariant Read(const QString& settingNamespace, const QString& key);
  QDBusVariant ReadOne(const QString& settingNamespace, const QString& key);

 signals:
  void SettingChanged(const QString& settingNamespace, const QString& key, const QDBusVariant& value);

 private:
  bool isColorScheme(const QString& settingNamespace, const QString& key);

  QDBusConnection bus_;
  Version version_;
  uint colorScheme_;
};

}  // namespace sonvetta_test
