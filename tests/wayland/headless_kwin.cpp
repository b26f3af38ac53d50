#include "headless_kwin.h"

#include <unistd.h>

#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QVariantMap>
#include <chrono>

namespace {

constexpr auto startTimeout = std::chrono::seconds(30);
const char* const socketName = "wayland-kwin";

}  // namespace

HeadlessKWin::HeadlessKWin(double scale, int outputs) {
  // kwin_wayland carries a file capability that a sandbox may refuse to
  // grant; a copy without it runs anywhere, as long as it keeps its name.
  const QString kwin = home_.filePath("kwin_wayland");
  const QString runtimeDir = home_.filePath("runtime");
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    unavailable_ = "no session bus";
    return;
  }
  if (!QFile::copy("/usr/bin/kwin_wayland", kwin) || !QDir().mkdir(runtimeDir) ||
      !QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
    unavailable_ = "kwin_wayland is not installed";
    return;
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.insert("HOME", home_.path());
  environment.insert("XDG_RUNTIME_DIR", runtimeDir);
  environment.insert("KWIN_COMPOSE", "O2");
  environment.insert("LIBGL_ALWAYS_SOFTWARE", "1");
  environment.insert("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1");
  kwin_.setProcessEnvironment(environment);
  kwin_.setProcessChannelMode(QProcess::MergedChannels);
  kwin_.setStandardOutputFile(home_.filePath("kwin.log"));
  kwin_.start(kwin, {"--virtual", "--output-count", QString::number(outputs), "--width", "1280", "--height", "800",
                     "--scale", QString::number(scale), "--socket", socketName});
  qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
  qputenv("WAYLAND_DISPLAY", socketName);
  if (!waitUntilReady()) {
    kwin_.kill();
    kwin_.waitForFinished();
  }
}

HeadlessKWin::~HeadlessKWin() {
  kwin_.terminate();
  if (!kwin_.waitForFinished(5000)) {
    kwin_.kill();
    kwin_.waitForFinished();
  }
}

bool HeadlessKWin::configureOutputs(const QStringList& settings) const {
  QProcess doctor;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "wayland");
  doctor.setProcessEnvironment(environment);
  doctor.setStandardOutputFile(QProcess::nullDevice());
  doctor.setStandardErrorFile(QProcess::nullDevice());
  doctor.start("kscreen-doctor", settings);
  return doctor.waitForFinished(20000) && doctor.exitStatus() == QProcess::NormalExit && doctor.exitCode() == 0;
}

bool HeadlessKWin::waitUntilReady() {
  const auto deadline = std::chrono::steady_clock::now() + startTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (kwin_.waitForFinished(200)) {
      unavailable_ = "kwin_wayland did not start";
      return false;
    }
    if (!screenshot().isNull()) return true;
  }
  unavailable_ = "kwin_wayland took no screenshot in time";
  return false;
}

// KWin writes the picture's raw pixels into a pipe and describes them in its
// reply.
QImage HeadlessKWin::screenshot() const {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  QDBusInterface screenshots("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2");
  const QDBusReply<QVariantMap> reply =
      screenshots.call("CaptureActiveScreen", QVariantMap{{"native-resolution", true}},
                       QVariant::fromValue(QDBusUnixFileDescriptor(pipeEnds[1])));
  close(pipeEnds[1]);
  QByteArray pixels;
  char chunk[65536];
  for (ssize_t read = 0; (read = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;) pixels.append(chunk, read);
  close(pipeEnds[0]);
  if (!reply.isValid()) return {};
  const QVariantMap description = reply.value();
  const int width = description["width"].toInt();
  const int height = description["height"].toInt();
  const int stride = description["stride"].toInt();
  if (width <= 0 || pixels.size() < qsizetype(stride) * height) return {};
  const QImage image(reinterpret_cast<const uchar*>(pixels.constData()), width, height, stride,
                     static_cast<QImage::Format>(description["format"].toInt()));
  return image.convertToFormat(QImage::Format_RGB32);
}
