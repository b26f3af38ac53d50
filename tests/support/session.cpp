#include "session.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QTest>
#include <QVariantMap>

namespace sonvetta::testdata {

namespace {

// gnome-shell and Plasma take a minute on a busy machine.
constexpr int startTimeout = 90000;

}  // namespace

Session::Session(const QString& desktop, const QStringList& options) {
  const QString session = folder_.filePath("session");
  // A desktop that hangs on its way up (once in a while i3, on a loaded
  // machine) gets one more try; its log says where it stood.
  for (int attempt = 1;; ++attempt) {
    launch(desktop, options);
    if (QTest::qWaitFor([&] { return QFile::exists(session) || starter_.state() == QProcess::NotRunning; },
                        startTimeout)) {
      break;
    }
    QFile log(folder_.filePath("desktop.log"));
    log.open(QIODevice::ReadOnly);
    qWarning().noquote() << "start-desktop" << desktop << "did not start in time; its log ends with:\n"
                         << QString::fromLocal8Bit(log.readAll().right(2000));
    endGroup();
    if (attempt == 2) {
      unavailable_ = "it did not start in time";
      return;
    }
  }
  if (!readSession(session)) {
    const QString said = QString::fromLocal8Bit(starter_.readAllStandardError()).trimmed();
    failed_ = starter_.exitCode() != 77;
    unavailable_ = failed_ ? "it did not start: " + said : said;
  }
}

void Session::launch(const QString& desktop, const QStringList& options) {
  starter_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
  // A test that crashes or times out takes the session with it.
  starter_.setChildProcessModifier([] {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    setsid();
  });
  starter_.start(START_DESKTOP, QStringList{desktop, folder_.path()} + options);
  starter_.waitForStarted(10000);
  group_ = starter_.processId();
}

// The whole process group, even where start-desktop itself gave up.
void Session::endGroup() {
  if (group_ <= 0) return;
  ::kill(-static_cast<pid_t>(group_), SIGTERM);
  if (!starter_.waitForFinished(10000)) ::kill(-static_cast<pid_t>(group_), SIGKILL);
  starter_.waitForFinished(5000);
  QTest::qWait(500);
  ::kill(-static_cast<pid_t>(group_), SIGKILL);
  group_ = 0;
}

Session::~Session() { endGroup(); }

void Session::kill() {
  if (group_ > 0) ::kill(-static_cast<pid_t>(group_), SIGKILL);
  starter_.waitForFinished(5000);
}

bool Session::readSession(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  environment_ = QProcessEnvironment::systemEnvironment();
  environment_.remove("QT_QPA_PLATFORM");
  for (const QString& line : QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
    const qsizetype equals = line.indexOf('=');
    const QString key = line.left(equals);
    const QString value = line.mid(equals + 1);
    if (value.isEmpty()) {
      environment_.remove(key);
    } else {
      environment_.insert(key, value);
    }
  }
  return true;
}

namespace {

const char* const displayVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "XAUTHORITY", "SWAYSOCK"};

}  // namespace

QProcessEnvironment Session::onDisplay() const {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : displayVariables) {
    if (environment_.contains(name)) {
      environment.insert(name, environment_.value(name));
    } else {
      environment.remove(name);
    }
  }
  return environment;
}

void Session::enter() const {
  for (const char* name : displayVariables) {
    if (environment_.contains(name)) {
      qputenv(name, environment_.value(name).toLocal8Bit());
    } else {
      qunsetenv(name);
    }
  }
}

QDBusConnection Session::bus() const {
  return QDBusConnection::connectToBus(value("DBUS_SESSION_BUS_ADDRESS"), folder_.path());
}

bool Session::run(const QStringList& command) const {
  QProcess process;
  process.setProcessEnvironment(environment_);
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(command.first(), command.mid(1));
  return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QImage Session::screenshot(const QString& output) const {
  // Headless KWin, on the socket start-desktop names so, takes its own.
  if (!environment_.contains("SCREEN") && value("WAYLAND_DISPLAY") == "wayland-kde") return kwinScreenshot();
  const QString file = folder_.filePath("screen.png");
  QProcessEnvironment environment = environment_;
  QStringList command = {"grim", "-o", output.isEmpty() ? "HEADLESS-1" : output, file};
  if (environment_.contains("SCREEN")) {
    environment.insert("DISPLAY", value("SCREEN"));
    environment.remove("XAUTHORITY");
    command = {"import", "-window", "root", "png:" + file};
  }
  QProcess shot;
  shot.setProcessEnvironment(environment);
  shot.setProcessChannelMode(QProcess::ForwardedChannels);
  shot.start(command.first(), command.mid(1));
  if (!shot.waitForFinished(20000) || shot.exitCode() != 0) return {};
  return QImage(file).convertToFormat(QImage::Format_RGB32);
}

// KWin writes the picture's raw pixels into a pipe and describes them in its
// reply.
QImage Session::kwinScreenshot() const {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  QDBusInterface screenshots("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", bus());
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

QJsonObject Session::visibleWorkspace(const QString& output) const {
  QProcess message;
  message.setProcessEnvironment(environment_);
  message.start("swaymsg", {"--raw", "-t", "get_workspaces"});
  if (!message.waitForFinished(10000)) return {};
  for (const QJsonValue workspace : QJsonDocument::fromJson(message.readAllStandardOutput()).array()) {
    if (workspace["output"].toString() == output && workspace["visible"].toBool()) return workspace.toObject();
  }
  return {};
}

QRect Session::workspaceArea(const QString& output) const {
  const QJsonValue rect = visibleWorkspace(output)["rect"];
  return QRect(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(), rect["height"].toInt());
}

}  // namespace sonvetta::testdata
