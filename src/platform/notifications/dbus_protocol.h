#pragma once

// How Sonvetta's distributed notifications travel on the D-Bus session bus:
// as a broadcast signal, so that any number of observers in any process see
// every notification, and any sender, stock tools included, can post one.
namespace platform::dbus_protocol {

inline constexpr char kObjectPath[] = "/org/sonvetta/DistributedNotificationCenter";
inline constexpr char kInterface[] = "org.sonvetta.DistributedNotificationCenter";
inline constexpr char kSignal[] = "Notification";
// The notification's name, then its user info.
inline constexpr char kSignature[] = "sa{sv}";

}  // namespace platform::dbus_protocol
