#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/view/layer.h"

namespace platform {

class Canvas;
class ViewTransaction;

enum class AccessibilityRole { staticText, image };

// What assistive technology reads of one view.
struct AccessibilityElement {
  AccessibilityRole role;
  std::string label;
  std::string description;
  friend bool operator==(const AccessibilityElement&, const AccessibilityElement&) = default;
};

// A rectangle in a tree of views. The parent keeps its subviews alive; a
// subview knows its parent only for as long as the parent lives.
class View : public std::enable_shared_from_this<View> {
 public:
  explicit View(const Rect& frame = {});
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame);
  Rect bounds() const { return {0.0, 0.0, frame_.width(), frame_.height()}; }

  View* superview() const { return superview_; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // Appends `view` on top of the others, taking it from its former parent.
  // Null, this view itself or one of its ancestors are quietly refused.
  void addSubview(std::shared_ptr<View> view);

  // A layer-backed view can clip and be animated.
  void setWantsLayer(bool wants);
  Layer* layer() { return layer_.get(); }
  const Layer* layer() const { return layer_.get(); }

  // Tells the topmost view of the tree that the tree must be drawn again;
  // every change that alters what the tree shows calls it. While a
  // ViewTransaction is open the topmost view hears of it when the
  // transaction ends, once however many changes it gathered.
  void setNeedsDisplay();
  // Called by setNeedsDisplay() while this view is the topmost one.
  void setNeedsDisplayHandler(std::function<void()> handler);

  // Draws this view's own content (not its subviews) in its bounds. The
  // canvas's origin is the view's top-left corner, y downwards; the painter's
  // pen colour is the colour for text.
  virtual void draw(Canvas& canvas) const;

  // What a screen reader reads of this view's own content; none for views
  // that only hold others, or that show nothing.
  virtual std::optional<AccessibilityElement> accessibilityElement() const { return std::nullopt; }

 private:
  friend class ViewTransaction;

  Rect frame_;
  View* superview_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  std::unique_ptr<Layer> layer_;
  std::function<void()> needsDisplayHandler_;
};

// Makes the changes to view trees while it lives one change: each changed
// tree's topmost view hears of them once, when the outermost transaction
// ends, so that whoever shows the tree draws it once and at once. Main thread
// only, like every use of views.
class ViewTransaction {
 public:
  ViewTransaction();
  ~ViewTransaction();
  ViewTransaction(const ViewTransaction&) = delete;
  ViewTransaction& operator=(const ViewTransaction&) = delete;

 private:
  friend class View;
  static void changed(View& top);
  static void forget(const View& top);
};

}  // namespace platform
