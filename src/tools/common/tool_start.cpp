#include "tools/common/tool_start.h"

#include <QCoreApplication>
#include <QDBusError>
#include <cstdio>

namespace tools {

CommandLine::CommandLine(const QString& description, const QString& synopsis) : synopsis_(synopsis) {
  parser_.setApplicationDescription(description);
  parser_.addHelpOption();
}

std::optional<int> CommandLine::parse() {
  if (!parser_.parse(QCoreApplication::arguments())) return usageError(parser_.errorText());
  if (parser_.isSet("help")) {
    std::fputs(qPrintable(parser_.helpText()), stdout);
    return 0;
  }
  return std::nullopt;
}

int CommandLine::usageError(const QString& problem) const {
  const QString program = QCoreApplication::applicationName();
  std::fprintf(stderr, "%s: %s\nUsage: %s\nTry '%s --help' for more.\n", qPrintable(program), qPrintable(problem),
               qPrintable(QString("%1 %2").arg(program, synopsis_).trimmed()), qPrintable(program));
  return kUsageError;
}

std::optional<QDBusConnection> connectToSessionBus() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) return bus;
  std::fprintf(stderr, "%s: cannot reach the D-Bus session bus: %s\n",
               qPrintable(QCoreApplication::applicationName()), qPrintable(bus.lastError().message()));
  return std::nullopt;
}

}  // namespace tools
