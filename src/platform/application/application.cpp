#include "platform/application/application.h"

#include <QApplication>
#include <QTimer>

#include "platform/statusbar/status_bar_display.h"

namespace platform {

int applicationMain(int argc, char* argv[], const std::function<std::unique_ptr<ApplicationDelegate>()>& makeDelegate) {
  // The status bar's display decides which display the toolkit connects
  // to, so it is chosen before the toolkit starts.
  statusBarDisplay();
  QApplication application(argc, argv);
  // The delegate is made after the toolkit exists, since it creates windows.
  const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate();
  // Launching has finished once the event loop runs: anything posted during
  // start-up is delivered only after the delegate's start-up has returned.
  QTimer::singleShot(0, [&delegate] { delegate->applicationDidFinishLaunching(); });
  return application.exec();
}

}  // namespace platform
