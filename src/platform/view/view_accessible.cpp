#include "platform/view/view_accessible.h"

#include <algorithm>

namespace platform {

namespace {

// `a` and `b` overlap in an area, not just along an edge.
bool overlap(const Rect& a, const Rect& b) {
  return std::max(a.origin.x, b.origin.x) < std::min(a.origin.x + a.width(), b.origin.x + b.width()) &&
         std::max(a.origin.y, b.origin.y) < std::min(a.origin.y + a.height(), b.origin.y + b.height());
}

Rect intersection(const Rect& a, const Rect& b) {
  const double left = std::max(a.origin.x, b.origin.x);
  const double bottom = std::max(a.origin.y, b.origin.y);
  const double right = std::min(a.origin.x + a.width(), b.origin.x + b.width());
  const double top = std::min(a.origin.y + a.height(), b.origin.y + b.height());
  return {left, bottom, std::max(right - left, 0.0), std::max(top - bottom, 0.0)};
}

// `frame` and `visible` are in the root's coordinates, lower-left origin.
void collect(const View& view, const Rect& frame, const Rect& visible, double rootHeight,
             std::vector<AccessibleView>& found) {
  if (!overlap(frame, visible)) {
    // Subviews may still reach outside an unclipped view's frame.
    if (view.layer() != nullptr && view.layer()->masksToBounds()) return;
  } else if (std::shared_ptr<const View> owned = view.weak_from_this().lock(); owned && view.accessibilityElement()) {
    const double top = rootHeight - frame.origin.y - frame.height();
    found.push_back({std::move(owned), QRectF(frame.origin.x, top, frame.width(), frame.height())});
  }
  const Rect inside = view.layer() != nullptr && view.layer()->masksToBounds() ? intersection(visible, frame) : visible;
  for (const auto& subview : view.subviews()) {
    const Rect& own = subview->frame();
    collect(*subview, {frame.origin.x + own.origin.x, frame.origin.y + own.origin.y, own.width(), own.height()}, inside,
            rootHeight, found);
  }
}

}  // namespace

std::vector<AccessibleView> accessibleViews(const View& root) {
  std::vector<AccessibleView> found;
  const Rect bounds = root.bounds();
  collect(root, bounds, bounds, bounds.height(), found);
  return found;
}

ViewAccessible::ViewAccessible(const std::shared_ptr<const View>& view, QAccessibleInterface* parent)
    : view_(view), parent_(parent) {}

QString ViewAccessible::text(QAccessible::Text type) const {
  const std::shared_ptr<const View> view = view_.lock();
  const std::optional<AccessibilityElement> element = view ? view->accessibilityElement() : std::nullopt;
  if (!element) return {};
  switch (type) {
    case QAccessible::Name:
      return QString::fromStdString(element->label);
    case QAccessible::Description:
      return QString::fromStdString(element->description);
    default:
      return {};
  }
}

QRect ViewAccessible::rect() const {
  return frameInParent_.translated(parent_->rect().topLeft()).toAlignedRect();
}

QAccessible::Role ViewAccessible::role() const {
  const std::shared_ptr<const View> view = view_.lock();
  const std::optional<AccessibilityElement> element = view ? view->accessibilityElement() : std::nullopt;
  if (element && element->role == AccessibilityRole::image) return QAccessible::Graphic;
  return QAccessible::StaticText;
}

QAccessible::State ViewAccessible::state() const {
  QAccessible::State state;
  state.readOnly = true;
  state.invisible = view_.expired();
  return state;
}

}  // namespace platform
