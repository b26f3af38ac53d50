#pragma once

#include <memory>

#include "platform/view/view.h"

namespace platform {

// An item in the status bar, of a fixed length in points. Its button is the
// view the item shows; an item may come without one.
class StatusItem {
 public:
  StatusItem(double length, std::shared_ptr<View> button) : length_(length), button_(std::move(button)) {}

  double length() const { return length_; }
  View* button() const { return button_.get(); }

 private:
  double length_;
  std::shared_ptr<View> button_;
};

// The desktop's bar of status items. It shows an item for as long as
// somebody holds it.
class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual std::shared_ptr<StatusItem> statusItem(double length) = 0;
};

}  // namespace platform
