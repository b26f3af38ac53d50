#include "platform/notifications/dbus_user_info.h"

#include <QMetaType>
#include <QString>

namespace platform {

UserInfoValue userInfoValueFromDBus(const QVariant& value) {
  // Qt D-Bus decodes only the D-Bus string type into a plain QString; object
  // paths, signatures and string arrays get types of their own.
  if (value.metaType() != QMetaType::fromType<QString>()) return std::nullopt;
  return value.toString().toStdString();
}

UserInfo userInfoFromDBus(const QVariantMap& userInfo) {
  UserInfo converted;
  for (auto entry = userInfo.constBegin(); entry != userInfo.constEnd(); ++entry) {
    converted.emplace(entry.key().toStdString(), userInfoValueFromDBus(entry.value()));
  }
  return converted;
}

}  // namespace platform
