#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "platform/statusbar/status_item.h"

namespace platform {

// The object the application machinery tells when launching has finished.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
};

// Runs a desktop application: sets up the toolkit with the process's
// arguments, shows the desktop's status bar, its window titled
// `statusBarTitle` for window managers and screen readers alike, creates
// the one delegate with that bar, tells it once when launching has
// finished, and runs the main thread's event loop. Returns the loop's exit
// value; a display that goes away ends the process.
int applicationMain(int argc, char* argv[], const QString& statusBarTitle,
                    const std::function<std::unique_ptr<ApplicationDelegate>(StatusBar&)>& makeDelegate);

}  // namespace platform
