#include "platform/statusbar/lost_display.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

QtMessageHandler toolkitMessageHandler = nullptr;

void interceptLostDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("X11 connection broke") || message.contains("Wayland connection broke")) endForLostDisplay();
  if (toolkitMessageHandler != nullptr) {
    toolkitMessageHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

}  // namespace

void endForLostDisplay() {
  static std::atomic_flag said;
  if (!said.test_and_set()) std::fputs("sonvetta: the display has gone away\n", stderr);
  std::_Exit(1);
}

void endForLostToolkitDisplay() { toolkitMessageHandler = qInstallMessageHandler(interceptLostDisplay); }

}  // namespace platform
