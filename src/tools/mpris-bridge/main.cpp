// sonvetta-mpris-bridge: tells Sonvetta what the MPRIS players on the D-Bus
// session bus play, by posting the notifications that it understands.

#include <QCoreApplication>

#include "tools/common/tool_start.h"
#include "app/bridge/mpris_bridge.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("sonvetta-mpris-bridge");

  tools::CommandLine commandLine(
      "Posts the state of the MPRIS music players on the D-Bus session bus as the player "
      "notifications that Sonvetta shows.",
      "");
  if (const auto status = commandLine.parse()) return *status;
  if (!commandLine.parser().positionalArguments().isEmpty()) return commandLine.usageError("takes no arguments");

  const auto bus = tools::connectToSessionBus();
  if (!bus) return tools::kBusError;
  // Without its session the bridge has nothing left to do; ending then keeps
  // it from lingering after a logout.
  QDBusConnection(*bus).connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                                "Disconnected", &application, SLOT(quit()));
  mpris_bridge::MprisBridge bridge(*bus);
  return QCoreApplication::exec();
}
