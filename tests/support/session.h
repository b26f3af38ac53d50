#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace sonvetta::testdata {

// What start-desktop's screens are: 1280x800 points, and on sway, a plain
// background below a bar along the top.
struct Screen {
  static constexpr int width = 1280;
  static constexpr int height = 800;
  static constexpr QRgb swayBackground = 0xff3060a0;
  static constexpr QRgb swayBar = 0xff202020;
};

// A display session for an end-to-end test, started by start-desktop and
// running until the end of the scope: X alone ("xvfb"), one of the desktops
// people use ("xfce", "kde-wayland", ...), headless sway ("sway") or headless
// KWin ("kwin", with its scale as the option). It has its own home, runtime
// folder and buses; programs started on it get environment().
class Session {
 public:
  explicit Session(const QString& desktop, const QStringList& options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Why the session cannot be had here; empty once it runs.
  const QString& unavailable() const { return unavailable_; }
  // Whether it failed where it should have started, rather than lacking
  // something here.
  bool failed() const { return failed_; }
  const QProcessEnvironment& environment() const { return environment_; }
  QString value(const QString& name) const { return environment_.value(name); }
  // This process's own environment (its bus, above all) pointed at the
  // session's display.
  QProcessEnvironment onDisplay() const;
  // Points this process at the session's display, for the test's own
  // clients.
  void enter() const;
  // The session's own bus.
  QDBusConnection bus() const;

  // Runs `command` on the session; true when it succeeded.
  bool run(const QStringList& command) const;
  // The whole screen as a user sees it, or one output of sway or labwc, in
  // device pixels; null when the session does not give it.
  QImage screenshot(const QString& output = {}) const;
  // What sway says of the workspace visible on `output` ("num", "rect", ...);
  // empty when it does not say.
  QJsonObject visibleWorkspace(const QString& output = "HEADLESS-1") const;
  // The area sway gives windows there, what panels and the status bar leave
  // free; empty when sway does not say.
  QRect workspaceArea(const QString& output = "HEADLESS-1") const;
  // Ends the session as a crash would.
  void kill();

 private:
  void launch(const QString& desktop, const QStringList& options);
  void endGroup();
  bool readSession(const QString& file);
  QImage kwinScreenshot() const;

  QTemporaryDir folder_;
  QProcess starter_;
  qint64 group_ = 0;
  QString unavailable_;
  bool failed_ = false;
  QProcessEnvironment environment_;
};

}  // namespace sonvetta::testdata
