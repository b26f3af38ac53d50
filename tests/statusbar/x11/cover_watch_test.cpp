#include "platform/statusbar/x11/cover_watch.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

// The active window hides the strip only full screen over it: frames then
// stop, whether or not the window manager composites.
TEST(CoverWatchTest, AFullScreenWindowOverTheStripHidesIt) {
  const QRect strip(1080, 32, 200, 22);
  const struct {
    const char* window;
    QRect geometry;
    bool fullScreen;
    bool hidden;
  } rows[] = {
      {"a full-screen video on the strip's output", QRect(0, 0, 1280, 800), true, true},
      {"a full-screen video on the other output", QRect(1280, 0, 1920, 1080), true, false},
      {"a maximised window, which keeps clear of it", QRect(0, 54, 1280, 746), false, false},
      {"a window as large as the screen, not full screen", QRect(0, 0, 1280, 800), false, false},
  };
  for (const auto& row : rows) EXPECT_EQ(hiddenByFullScreen(strip, row.geometry, row.fullScreen), row.hidden) << row.window;
  EXPECT_FALSE(hiddenByFullScreen(QRect(), QRect(0, 0, 1280, 800), true)) << "before the strip is placed";
}

}  // namespace
}  // namespace platform
