#include "fake_settings_portal.h"

#include <QDBusError>

namespace sonvetta_test {
namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");

}  // namespace

FakeSettingsPortal::FakeSettingsPortal(Version version, uint colorScheme)
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-settings-portal"))),
      version_(version),
      colorScheme_(colorScheme) {
  bus_.registerObject(path, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
  bus_.registerService(service);
}

FakeSettingsPortal::~FakeSettingsPortal() {
  bus_.unregisterService(service);
  bus_.unregisterObject(path);
  QDBusConnection::disconnectFromBus(bus_.name());
}

void FakeSettingsPortal::change(uint colorScheme) {
  colorScheme_ = colorScheme;
  emit SettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                      QDBusVariant(colorScheme));
}

bool FakeSettingsPortal::isColorScheme(const QString& settingNamespace, const QString& key) {
  if (settingNamespace == QStringLiteral("org.freedesktop.appearance") && key == QStringLiteral("color-scheme")) {
    return true;
  }
  sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("Requested setting not found"));
  return false;
}

QDBusVariant FakeSettingsPortal::Read(const QString& settingNamespace, const QString& key) {
  if (!isColorScheme(settingNamespace, key)) return {};
  return QDBusVariant(QVariant::fromValue(QDBusVariant(colorScheme_)));
}

QDBusVariant FakeSettingsPortal::ReadOne(const QString& settingNamespace, const QString& key) {
  if (version_ == Version::old) {
    sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method ReadOne"));
    return {};
  }
  if (!isColorScheme(settingNamespace, key)) return {};
  return QDBusVariant(colorScheme_);
}

}  // namespace sonvetta_test
