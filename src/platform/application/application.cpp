#include "platform/application/application.h"

#include <QApplication>
#include <QTimer>

#include "platform/statusbar/lost_display.h"
#include "platform/statusbar/status_bar_accessible.h"
#include "platform/statusbar/status_bar_display.h"
#include "platform/statusbar/system_status_bar.h"

namespace platform {

int applicationMain(int argc, char* argv[], const QString& statusBarTitle,
                    const std::function<std::unique_ptr<ApplicationDelegate>(StatusBar&)>& makeDelegate) {
  // The status bar's display decides which display the toolkit connects
  // to, so it is chosen before the toolkit starts.
  const StatusBarDisplay display = prepareToolkitFor(chooseStatusBar(offeredDisplays()));
  QApplication application(argc, argv);
  endForLostToolkitDisplay();
  SystemStatusBar statusBar(display, statusBarTitle, endForLostDisplay);
  StatusBarAccessible::install(
      statusBarTitle, [&statusBar] { return statusBar.placements(); }, [&statusBar] { return statusBar.geometry(); });
  // The delegate is made after the toolkit exists, since it creates windows.
  const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate(statusBar);
  // Launching has finished once the event loop runs: anything posted during
  // start-up is delivered only after the delegate's start-up has returned.
  QTimer::singleShot(0, [&delegate] { delegate->applicationDidFinishLaunching(); });
  return application.exec();
}

}  // namespace platform
