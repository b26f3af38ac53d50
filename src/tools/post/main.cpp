// sonvetta-post NAME [KEY=VALUE ...] [--int KEY=NUMBER ...]
// Posts one distributed notification on the D-Bus session bus, as a music
// player would, and returns once the bus has passed it on.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QVariantMap>
#include <cstdio>
#include <optional>

#include "platform/notifications/dbus_post.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kBusError = 1;

// Adds KEY=VALUE to the user info; says what is wrong with it, if anything.
std::optional<QString> addEntry(QVariantMap& userInfo, const QString& argument, bool asInteger) {
  const qsizetype equals = argument.indexOf('=');
  if (equals <= 0) return QString("'%1' is not of the form KEY=VALUE").arg(argument);
  const QString key = argument.left(equals);
  const QString text = argument.mid(equals + 1);
  if (userInfo.contains(key)) return QString("'%1' is given twice").arg(key);
  if (!asInteger) {
    userInfo.insert(key, text);
    return std::nullopt;
  }
  bool isNumber = false;
  const int number = text.toInt(&isNumber);
  if (!isNumber) return QString("'%1' is not a 32-bit integer").arg(text);
  userInfo.insert(key, number);
  return std::nullopt;
}

int usageError(const QString& message) {
  std::fprintf(stderr,
               "sonvetta-post: %s\n"
               "Usage: sonvetta-post NAME [KEY=VALUE ...] [--int KEY=NUMBER ...]\n"
               "Try 'sonvetta-post --help' for more.\n",
               qPrintable(message));
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("sonvetta-post");

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Posts one notification to Sonvetta's distributed notification centre on the D-Bus "
      "session bus.");
  parser.addHelpOption();
  const QCommandLineOption integer(
      "int", "Adds KEY with a 32-bit integer value, which observers see as not text.",
      "KEY=NUMBER");
  parser.addOption(integer);
  parser.addPositionalArgument("NAME", "The notification's name.");
  parser.addPositionalArgument("KEY=VALUE", "Adds KEY with a text value.", "[KEY=VALUE...]");

  if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
  if (parser.isSet("help")) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty() || positional.first().isEmpty()) {
    return usageError("a notification name is needed");
  }
  const QString name = positional.takeFirst();

  QVariantMap userInfo;
  for (const QString& argument : positional) {
    if (const auto error = addEntry(userInfo, argument, false)) return usageError(*error);
  }
  for (const QString& argument : parser.values(integer)) {
    if (const auto error = addEntry(userInfo, argument, true)) return usageError(*error);
  }

  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "sonvetta-post: cannot reach the D-Bus session bus: %s\n",
                 qPrintable(bus.lastError().message()));
    return kBusError;
  }
  if (!platform::postNotification(bus, name, userInfo) || !platform::syncWithBus(bus)) {
    std::fprintf(stderr, "sonvetta-post: the D-Bus session bus did not take the notification: %s\n",
                 qPrintable(bus.lastError().message()));
    return kBusError;
  }
  return 0;
}
