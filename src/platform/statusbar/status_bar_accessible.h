#pragma once

#include <QAccessibleInterface>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/compositor/layer_tree.h"
#include "platform/view/view_accessible.h"

namespace platform {

// The status bar as screen readers find it: one window under the
// application, named as the bar's window is titled, whose children are the
// labels and pictures of the shown items from left to right, so that flat
// review reads the strip as one line. It never takes focus. It exists only once
// assistive technology is active; the toolkit's accessibility cache keeps it.
class StatusBarAccessible final : public QAccessibleInterface {
 public:
  using Placements = std::function<std::vector<LayerTree::Placement>()>;
  using Tell = std::function<void(QAccessibleEvent&)>;

  // `name` is the strip's, `placements` gives the items' buttons and where
  // they stand in the strip, `geometry` the strip's place on screen, in
  // points; `tell` hands an event to assistive technology.
  StatusBarAccessible(QString name, Placements placements, std::function<QRect()> geometry, Tell tell);
  ~StatusBarAccessible() override;

  // Lists the bar under the application for every accessibility client,
  // and reads its items once assistive technology becomes active; the bar
  // is made on first use.
  static void install(QString name, Placements placements, std::function<QRect()> geometry);
  // The installed bar; null when none is installed.
  static StatusBarAccessible* shared();

  // Reads the items anew and tells assistive technology what changed since
  // the last reading: objects that came or went, new names and descriptions,
  // and a label's new text as a polite announcement. Nothing when nothing
  // changed.
  void contentChanged();

  bool isValid() const override { return true; }
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int index) const override;
  int childCount() const override { return static_cast<int>(children_.size()); }
  int indexOfChild(const QAccessibleInterface* child) const override;
  QString text(QAccessible::Text type) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return geometry_(); }
  QAccessible::Role role() const override { return QAccessible::Window; }
  QAccessible::State state() const override;

 private:
  struct Child {
    std::weak_ptr<const View> view;
    ViewAccessible* accessible = nullptr;  // owned by the accessibility cache
    QAccessible::Id id = 0;
    std::optional<AccessibilityElement> told;  // what assistive technology last heard
  };

  // Lists the children as the items' trees hold them now, keeping the
  // objects of views listed before; returns those no longer listed.
  std::vector<Child> reread();
  void announce(QAccessibleInterface* source, const QString& message);

  QString name_;
  Placements placements_;
  std::function<QRect()> geometry_;
  Tell tell_;
  std::vector<Child> children_;
};

}  // namespace platform
