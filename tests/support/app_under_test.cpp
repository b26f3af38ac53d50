#include "app_under_test.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <iostream>

namespace sonvetta::testdata {

namespace {

QProcessEnvironment withHome(QProcessEnvironment environment, const QString& home) {
  environment.insert("HOME", home);
  return environment;
}

}  // namespace

AppUnderTest::AppUnderTest(const QProcessEnvironment& environment, const MusicLibrary& library,
                           const QString& standardOutputFile)
    : tracks_(library.writeInto(home_.path().toStdString())),
      program_(std::make_unique<Program>(SONVETTA, QStringList{}, withHome(environment, home_.path()),
                                         standardOutputFile)) {}

// Its words stay in the log of a test that failed.
AppUnderTest::~AppUnderTest() {
  if (testing::Test::HasFailure()) std::cerr << "sonvetta said:\n" << standardError().toStdString();
}

QString AppUnderTest::standardOutput() {
  standardOutput_ += process().readAllStandardOutput();
  return QString::fromUtf8(standardOutput_);
}

QByteArray AppUnderTest::standardError() {
  standardError_ += process().readAllStandardError();
  return standardError_;
}

QStringList AppUnderTest::ownLines() {
  return QString::fromUtf8(standardError()).split('\n', Qt::SkipEmptyParts).filter(QRegularExpression("^sonvetta: "));
}

}  // namespace sonvetta::testdata
