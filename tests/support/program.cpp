#include "program.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QFile>

namespace sonvetta::testdata {

Program::Program(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                 const QString& standardOutputFile) {
  process_.setProcessEnvironment(environment);
  if (!standardOutputFile.isEmpty()) process_.setStandardOutputFile(standardOutputFile);
  // A test that crashes or times out takes the program with it.
  process_.setChildProcessModifier([] {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    setsid();
  });
  process_.start(program, arguments);
  process_.waitForStarted(10000);
}

Program::~Program() {
  if (process_.state() == QProcess::NotRunning) return;
  signalGroup(SIGTERM);
  if (!process_.waitForFinished(5000)) kill();
  process_.waitForFinished(5000);
}

void Program::kill() {
  signalGroup(SIGKILL);
  process_.waitForFinished(5000);
}

void Program::signalGroup(int signal) const {
  if (process_.processId() > 0) ::kill(-static_cast<pid_t>(process_.processId()), signal);
}

long Program::cpuMilliseconds() const {
  QFile stat(QString("/proc/%1/stat").arg(process_.processId()));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  const QString line = QString::fromLatin1(stat.readAll());
  const QStringList fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
  if (fields.size() <= 12) return -1;
  return (fields[11].toLong() + fields[12].toLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

}  // namespace sonvetta::testdata
