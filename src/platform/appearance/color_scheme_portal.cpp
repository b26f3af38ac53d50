#include "platform/appearance/color_scheme_portal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace platform {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// ReadOne answers with the value itself; Read, which older portals offer
// alone, wraps it in one more variant.
QVariant unwrapped(QVariant value) {
  while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
    value = value.value<QDBusVariant>().variant();
  }
  return value;
}

ColorScheme colorSchemeFrom(const QVariant& value) {
  bool isNumber = false;
  const uint number = unwrapped(value).toUInt(&isNumber);
  if (!isNumber) return ColorScheme::noPreference;
  switch (number) {
    case 1:
      return ColorScheme::dark;
    case 2:
      return ColorScheme::light;
    default:
      return ColorScheme::noPreference;
  }
}

}  // namespace

ColorSchemePortal::ColorSchemePortal(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
  // Qt D-Bus finds the slot by its parameters' type names, which it knows
  // only once the type is registered: without this, the connection fails
  // whenever nothing else has used a variant on the bus yet.
  qRegisterMetaType<QDBusVariant>();
  bus_.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
               SLOT(settingChanged(QString, QString, QDBusVariant)));
  read(QStringLiteral("ReadOne"));
}

void ColorSchemePortal::read(const QString& method) {
  QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
  call << appearanceNamespace << colorSchemeKey;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, method](QDBusPendingCallWatcher* finished) { readingArrived(finished, method); });
}

void ColorSchemePortal::readingArrived(QDBusPendingCallWatcher* watcher, const QString& method) {
  watcher->deleteLater();
  const QDBusPendingReply<QDBusVariant> reply = *watcher;
  if (changeAnnounced_) return;
  if (reply.isError()) {
    // Portals before version 2 know only Read; no portal, or no such
    // setting, leaves no preference.
    if (method == QStringLiteral("ReadOne") && reply.error().type() == QDBusError::UnknownMethod) {
      read(QStringLiteral("Read"));
    }
    return;
  }
  adopt(reply.value().variant());
}

void ColorSchemePortal::settingChanged(const QString& settingNamespace, const QString& key,
                                       const QDBusVariant& value) {
  if (settingNamespace != appearanceNamespace || key != colorSchemeKey) return;
  changeAnnounced_ = true;
  adopt(value.variant());
}

void ColorSchemePortal::adopt(const QVariant& value) {
  const ColorScheme scheme = colorSchemeFrom(value);
  if (scheme == colorScheme_) return;
  colorScheme_ = scheme;
  emit colorSchemeChanged();
}

}  // namespace platform
