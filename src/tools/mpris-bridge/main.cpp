// sonvetta-mpris-bridge: tells Sonvetta what the MPRIS players on the D-Bus
// session bus play, by posting the notifications that it understands.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>

#include "tools/mpris-bridge/mpris_bridge.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("sonvetta-mpris-bridge");

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Posts the state of the MPRIS music players on the D-Bus session bus as the player "
      "notifications that Sonvetta shows.");
  parser.addHelpOption();
  if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "sonvetta-mpris-bridge: %s\nUsage: sonvetta-mpris-bridge\n",
                 qPrintable(parser.errorText().isEmpty() ? "takes no arguments" : parser.errorText()));
    return 2;
  }
  if (parser.isSet("help")) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }

  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr, "sonvetta-mpris-bridge: cannot reach the D-Bus session bus: %s\n",
                 qPrintable(bus.lastError().message()));
    return 1;
  }
  // Without its session the bridge has nothing left to do; ending then keeps
  // it from lingering after a logout.
  QDBusConnection(bus).connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                               "Disconnected", &application, SLOT(quit()));
  mpris_bridge::MprisBridge bridge(bus);
  return QCoreApplication::exec();
}
