#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A headless sway for one test program, with a bar at the top and a plain
// background. While it runs, this process's WAYLAND_DISPLAY and
// XDG_RUNTIME_DIR point at it, so Wayland clients made here connect to it.
class HeadlessSway {
 public:
  static constexpr int screenWidth = 1280;
  static constexpr int screenHeight = 720;
  static constexpr QRgb background = 0xff3060a0;
  static constexpr QRgb barBackground = 0xff202020;

  HeadlessSway();
  ~HeadlessSway();
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;

  // Why sway is not running; empty while it runs.
  const QString& unavailable() const { return unavailable_; }
  // The IPC socket, as sway hands it to its clients in SWAYSOCK.
  const QString& ipcSocket() const { return swaySocket_; }
  // Runs swaymsg with `arguments`; true when sway accepted the command.
  bool swaymsg(const QStringList& arguments) const;
  // The area that windows get on the focused workspace of HEADLESS-1, what
  // panels and the status bar leave free; empty when sway does not say.
  QRect workspaceArea() const;
  // An output as grim captures it, in device pixels.
  QImage screenshot(const QString& output = "HEADLESS-1") const;
  // Ends sway as a crash would.
  void kill();

 private:
  bool waitUntilReady();

  QTemporaryDir runtimeDir_;
  QProcess sway_;
  QString swaySocket_;
  QString unavailable_;
};
