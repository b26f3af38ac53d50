#include "platform/application/application.h"

#include <QApplication>
#include <QTimer>

namespace platform {

int applicationMain(int argc, char* argv[], const std::function<std::unique_ptr<ApplicationDelegate>()>& makeDelegate) {
  QApplication application(argc, argv);
  // The delegate is made after the toolkit exists, since it creates windows.
  const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate();
  // Launching has finished once the event loop runs: anything posted during
  // start-up is delivered only after the delegate's start-up has returned.
  QTimer::singleShot(0, [&delegate] { delegate->applicationDidFinishLaunching(); });
  return application.exec();
}

}  // namespace platform
