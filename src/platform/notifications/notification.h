#pragma once

#include <map>
#include <optional>
#include <string>

namespace platform {

// A value in a notification's user info. Senders may put values of any type
// there; only text is kept as text, anything else is present but not text.
using UserInfoValue = std::optional<std::string>;
using UserInfo = std::map<std::string, UserInfoValue>;

// One system-wide notification: a name and optional user information.
struct Notification {
  std::string name;
  std::optional<UserInfo> userInfo;

  // The text under `key`, or nothing when the key is missing or its value is not text.
  std::optional<std::string> text(const std::string& key) const {
    if (!userInfo) return std::nullopt;
    const auto entry = userInfo->find(key);
    return entry == userInfo->end() ? std::nullopt : entry->second;
  }
};

}  // namespace platform
