#pragma once

#include <QVariant>
#include <QVariantMap>

#include "platform/notifications/notification.h"

namespace platform {

// A user-info value as Qt D-Bus decoded it: text only when the sender sent a
// D-Bus string; every other type, a nested variant holding a string included,
// is present but not text.
UserInfoValue userInfoValueFromDBus(const QVariant& value);

UserInfo userInfoFromDBus(const QVariantMap& userInfo);

}  // namespace platform
