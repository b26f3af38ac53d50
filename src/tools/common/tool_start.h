#pragma once

#include <QCommandLineParser>
#include <QDBusConnection>
#include <QString>
#include <optional>

namespace tools {

// Exit statuses shared by the companion programs, as their man pages give them.
inline constexpr int kBusError = 1;
inline constexpr int kUsageError = 2;

// The command line of a companion program, named by the QCoreApplication's
// application name: it always offers --help, and every program reports a
// wrong command line in the same words.
class CommandLine {
 public:
  // `synopsis` is what follows the program's name in the usage line.
  CommandLine(const QString& description, const QString& synopsis);

  // For adding the program's own options and arguments before parse().
  QCommandLineParser& parser() { return parser_; }

  // Parses the process's arguments. When the program is already done, the
  // status to exit with: 0 after printing the help, kUsageError after
  // reporting a wrong command line.
  std::optional<int> parse();

  // Reports `problem` with the usage on standard error; returns kUsageError.
  int usageError(const QString& problem) const;

 private:
  QCommandLineParser parser_;
  QString synopsis_;
};

// The session bus; nothing, after saying why on standard error, when it
// cannot be reached.
std::optional<QDBusConnection> connectToSessionBus();

}  // namespace tools
