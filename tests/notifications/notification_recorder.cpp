#include "notification_recorder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include "platform/notifications/dbus_post.h"

namespace sonvetta_test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

NotificationRecorder::NotificationRecorder(const std::vector<std::string>& names) {
  for (const auto& name : names) {
    center_.addObserver([this](const platform::Notification& n) { received_.push_back(n); }, name);
  }
  platform::syncWithBus(QDBusConnection::sessionBus());
}

bool NotificationRecorder::waitForCount(std::size_t count) {
  return waitUntil([&] { return received_.size() >= count; });
}

ProgramResult runProgram(const QString& program, const QStringList& arguments,
                         const QStringList& extraEnvironment) {
  QProcess process;
  process.setEnvironment(QProcess::systemEnvironment() + extraEnvironment);
  process.start(program, arguments);
  if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace sonvetta_test
