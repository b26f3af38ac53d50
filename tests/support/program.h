#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace sonvetta::testdata {

// A program a test starts, in a process group of its own so that it ends
// with the test, its children included. Its standard output goes to
// `standardOutputFile` where one is named.
class Program {
 public:
  Program(const QString& program, const QStringList& arguments,
          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
          const QString& standardOutputFile = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  QProcess& process() { return process_; }
  // Ends the program and its children as a crash would.
  void kill();
  // CPU time the program has used so far, in milliseconds.
  long cpuMilliseconds() const;

 private:
  void signalGroup(int signal) const;

  QProcess process_;
};

}  // namespace sonvetta::testdata
