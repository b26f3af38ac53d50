#pragma once

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QRect>

namespace platform {

// What the window manager says of its active window, in root coordinates.
struct ActiveWindow {
  QRect geometry;
  bool fullScreen = false;
  bool hidden = false;  // minimised, or shaded
};

// Whether `active` stands over the strip at `strip`: a full-screen window
// that has the focus is stacked above docks, and hides them where it
// covers them.
bool coversStrip(const ActiveWindow& active, const QRect& strip);

// Follows the window manager's active window and says when a full-screen
// one stands over the strip's window. A compositing window manager never
// tells X that a window is covered, so this is how the strip learns that a
// full-screen video hides it.
class FullScreenCover final : public QObject, private QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  FullScreenCover(xcb_connection_t* connection, xcb_window_t root, xcb_window_t strip);
  ~FullScreenCover() override;

  bool covers() const { return covers_; }
  // Asks again, as after the strip moved.
  void check();

 signals:
  void coversChanged(bool covers);

 private:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  void follow(xcb_window_t active);
  ActiveWindow activeWindow() const;

  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_window_t strip_;
  xcb_atom_t activeAtom_;
  xcb_atom_t stateAtom_;
  xcb_atom_t fullScreenAtom_;
  xcb_atom_t hiddenAtom_;
  xcb_window_t active_ = XCB_NONE;
  bool covers_ = false;
};

}  // namespace platform
