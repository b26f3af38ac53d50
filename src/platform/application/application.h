#pragma once

#include <functional>
#include <memory>

namespace platform {

// The object the application machinery tells when launching has finished.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
};

// Runs a desktop application: sets up the toolkit with the process's
// arguments, creates the one delegate, tells it once when launching has
// finished, and runs the main thread's event loop. Returns the loop's exit value.
int applicationMain(int argc, char* argv[], const std::function<std::unique_ptr<ApplicationDelegate>()>& makeDelegate);

}  // namespace platform
