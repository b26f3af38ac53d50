#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A headless KWin for a test, on `outputs` virtual outputs of 1280x800
// points side by side (Virtual-0, Virtual-1, ...) at `scale`, composited with OpenGL in software so that it takes screenshots.
// It needs a session bus (run the test under dbus-run-session). While it
// runs, this process's WAYLAND_DISPLAY and XDG_RUNTIME_DIR point at it.
class HeadlessKWin {
 public:
  explicit HeadlessKWin(double scale, int outputs = 1);
  ~HeadlessKWin();
  HeadlessKWin(const HeadlessKWin&) = delete;
  HeadlessKWin& operator=(const HeadlessKWin&) = delete;

  // Why KWin is not running; empty while it runs.
  const QString& unavailable() const { return unavailable_; }
  // The output in device pixels; null when KWin does not give it.
  QImage screenshot() const;
  // Sets outputs as kscreen-doctor does ("output.Virtual-0.disable"); true
  // when it succeeded.
  bool configureOutputs(const QStringList& settings) const;

 private:
  bool waitUntilReady();

  QTemporaryDir home_;
  QProcess kwin_;
  QString unavailable_;
};
