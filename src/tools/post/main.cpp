// sonvetta-post NAME [KEY=VALUE ...] [--int KEY=NUMBER ...]
// Posts one distributed notification on the D-Bus session bus, as a music
// player would, and returns once the bus has passed it on.

#include <QCoreApplication>
#include <QDBusError>
#include <QVariantMap>
#include <cstdio>
#include <optional>

#include "platform/notifications/dbus_post.h"
#include "tools/common/tool_start.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("sonvetta-post");

  tools::CommandLine commandLine(
      "Posts one notification to Sonvetta's distributed notification centre on the D-Bus "
      "session bus.",
      "NAME [KEY=VALUE ...] [--int KEY=NUMBER ...]");
  QCommandLineParser& parser = commandLine.parser();
  const QCommandLineOption integer(
      "int", "Adds KEY with a 32-bit integer value, which observers see as not text.",
      "KEY=NUMBER");
  parser.addOption(integer);
  parser.addPositionalArgument("NAME", "The notification's name.");
  parser.addPositionalArgument("KEY=VALUE", "Adds KEY with a text value.", "[KEY=VALUE...]");
  if (const auto status = commandLine.parse()) return *status;

  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty() || positional.first().isEmpty()) {
    return commandLine.usageError("a notification name is needed");
  }
  const QString name = positional.takeFirst();

  QVariantMap userInfo;
  for (const QString& argument : positional) {
    if (const auto error = addEntry(userInfo, argument, false)) return commandLine.usageError(*error);
  }
  for (const QString& argument : parser.values(integer)) {
    if (const auto error = addEntry(userInfo, argument, true)) return commandLine.usageError(*error);
  }

  const auto bus = tools::connectToSessionBus();
  if (!bus) return tools::kBusError;
  if (!platform::postNotification(*bus, name, userInfo) || !platform::syncWithBus(*bus)) {
    std::fprintf(stderr, "sonvetta-post: the D-Bus session bus did not take the notification: %s\n",
                 qPrintable(bus->lastError().message()));
    return tools::kBusError;
  }
  return 0;
}
