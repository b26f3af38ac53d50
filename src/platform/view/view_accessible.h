#pragma once

#include <QAccessibleInterface>
#include <QRectF>
#include <memory>
#include <vector>

#include "platform/view/view.h"

namespace platform {

// A view that a screen reader reads, with its frame in the root's
// coordinates (top-left origin, y downwards, as screens count).
struct AccessibleView {
  std::shared_ptr<const View> view;
  QRectF frame;
};

// The views of `root`'s tree that have something to read and that stand at
// least partly inside the root's bounds and every clipping ancestor when the
// tree is at rest, in drawing order. A view wholly clipped away (the second
// copy of a scrolling line) is left out; one partly in view is read whole.
std::vector<AccessibleView> accessibleViews(const View& root);

// The accessible object of one view in the toolkit's accessibility tree: a
// label or a picture, a leaf under `parent`. It reads the view as it is now
// and is invalid once the view is gone; it never takes focus.
class ViewAccessible final : public QAccessibleInterface {
 public:
  ViewAccessible(const std::shared_ptr<const View>& view, QAccessibleInterface* parent);

  // Where the view stands inside the parent's rectangle, in points.
  void setFrameInParent(const QRectF& frame) { frameInParent_ = frame; }

  bool isValid() const override { return !view_.expired(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return parent_->window(); }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return parent_; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text type) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;

 private:
  std::weak_ptr<const View> view_;
  QAccessibleInterface* parent_;
  QRectF frameInParent_;
};

}  // namespace platform
