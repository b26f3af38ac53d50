#include "notification_recorder.h"

#include <QProcess>
#include <QTest>

#include "platform/notifications/dbus_post.h"

namespace sonvetta_test {

NotificationRecorder::NotificationRecorder(const std::vector<std::string>& names) {
  for (const auto& name : names) {
    center_.addObserver([this](const platform::Notification& n) { received_.push_back(n); }, name);
  }
  platform::syncWithBus(QDBusConnection::sessionBus());
}

bool NotificationRecorder::waitForCount(std::size_t count) {
  return QTest::qWaitFor([&] { return received_.size() >= count; }, 20000);
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
