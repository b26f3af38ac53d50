#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <vector>

#include "music_library.h"
#include "program.h"

namespace sonvetta::testdata {

// The real sonvetta, started for a test on `environment` (a session's, or
// this process's own) with a home of its own holding `library`. It ends with
// the test, its children included; what it writes is kept, but for standard
// output where it goes to `standardOutputFile`.
class AppUnderTest {
 public:
  explicit AppUnderTest(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                        const MusicLibrary& library = {}, const QString& standardOutputFile = {});
  ~AppUnderTest();

  QProcess& process() { return program_->process(); }
  Program& program() { return *program_; }
  QString home() const { return home_.path(); }
  // The library's files, in the order added.
  const std::vector<std::filesystem::path>& tracks() const { return tracks_; }

  // Everything it has written on standard output and standard error so far.
  QString standardOutput();
  QByteArray standardError();
  // Its own lines on standard error, without the toolkit's words.
  QStringList ownLines();

 private:
  QTemporaryDir home_;
  std::vector<std::filesystem::path> tracks_;
  std::unique_ptr<Program> program_;
  QByteArray standardOutput_;
  QByteArray standardError_;
};

}  // namespace sonvetta::testdata
