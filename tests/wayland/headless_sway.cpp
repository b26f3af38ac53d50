#include "headless_sway.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QThread>
#include <chrono>

namespace {

constexpr auto startTimeout = std::chrono::seconds(20);

const char* const config = R"(xwayland disable
output HEADLESS-1 mode 1280x720 bg #3060a0 solid_color
bar {
  position top
  tray_output none
  colors {
    background #202020
  }
}
)";

}  // namespace

HeadlessSway::HeadlessSway() {
  QFile configFile(runtimeDir_.filePath("config"));
  if (!configFile.open(QIODevice::WriteOnly) || configFile.write(config) < 0) {
    unavailable_ = "cannot write sway's configuration";
    return;
  }
  configFile.close();
  // sway talks a lot; its log stays in the runtime folder.
  sway_.setProcessChannelMode(QProcess::MergedChannels);
  sway_.setStandardOutputFile(runtimeDir_.filePath("sway.log"));
  sway_.start(HEADLESS_SWAY, {runtimeDir_.path(), configFile.fileName()});
  if (!waitUntilReady()) {
    sway_.kill();
    sway_.waitForFinished();
  }
}

HeadlessSway::~HeadlessSway() { kill(); }

bool HeadlessSway::waitUntilReady() {
  const auto deadline = std::chrono::steady_clock::now() + startTimeout;
  const QDir runtime(runtimeDir_.path());
  while (std::chrono::steady_clock::now() < deadline) {
    if (sway_.waitForFinished(100)) {
      unavailable_ = sway_.exitCode() == 77 ? "no unprivileged user to run sway as (sway refuses to run as root)"
                                            : "sway did not start";
      return false;
    }
    const QStringList displays = runtime.entryList({"wayland-?"}, QDir::System);
    const QStringList ipc = runtime.entryList({"sway-ipc.*.sock"}, QDir::System);
    if (displays.isEmpty() || ipc.isEmpty()) continue;
    swaySocket_ = runtime.filePath(ipc.first());
    qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", displays.first().toLocal8Bit());
    if (swaymsg({"-t", "get_outputs"}) && screenshot().pixel(screenWidth / 2, 0) == barBackground) return true;
  }
  unavailable_ = "sway did not show its bar in time";
  return false;
}

bool HeadlessSway::swaymsg(const QStringList& arguments) const {
  QProcess message;
  message.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  message.setStandardOutputFile(QProcess::nullDevice());
  message.start("swaymsg", QStringList{"--socket", swaySocket_} + arguments);
  return message.waitForFinished(10000) && message.exitStatus() == QProcess::NormalExit && message.exitCode() == 0;
}

QRect HeadlessSway::workspaceArea() const {
  QProcess message;
  message.start("swaymsg", {"--socket", swaySocket_, "--raw", "-t", "get_workspaces"});
  if (!message.waitForFinished(10000)) return {};
  for (const QJsonValue workspace : QJsonDocument::fromJson(message.readAllStandardOutput()).array()) {
    if (workspace["output"].toString() != "HEADLESS-1" || !workspace["visible"].toBool()) continue;
    const QJsonValue rect = workspace["rect"];
    return QRect(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(), rect["height"].toInt());
  }
  return {};
}

QImage HeadlessSway::screenshot(const QString& output) const {
  const QString file = runtimeDir_.filePath("screenshot.png");
  QProcess grim;
  grim.setProcessChannelMode(QProcess::ForwardedChannels);
  grim.start("grim", {"-o", output, file});
  if (!grim.waitForFinished(10000) || grim.exitCode() != 0) return {};
  return QImage(file).convertToFormat(QImage::Format_RGB32);
}

void HeadlessSway::kill() {
  if (sway_.state() == QProcess::NotRunning) return;
  sway_.kill();
  sway_.waitForFinished();
}
