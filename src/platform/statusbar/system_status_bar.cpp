#include "platform/statusbar/system_status_bar.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QGuiApplication>

#include "platform/statusbar/status_bar_accessible.h"

namespace platform {

SystemStatusBar::SystemStatusBar(StatusBarDisplay display, const QString& title, std::function<void()> displayLost)
    : appearance_(QDBusConnection::sessionBus()),
      window_(makeStatusBarWindow(display, title, [this] { commitSoon_.start(); })) {
  commitSoon_.setSingleShot(true);
  connect(&commitSoon_, &QTimer::timeout, this, &SystemStatusBar::commit);
  connect(&appearance_, &DesktopAppearance::colorsChanged, this, [this] {
    window_->desktopColorsChanged();
    commitSoon_.start();
  });
  compositor_ = std::make_unique<Compositor>(
      window_->surfaceMaker(),
      Compositor::Events{
          .densityChanged =
              [this](double density) {
                QMetaObject::invokeMethod(this, [this, density] { commitAtDensity(density); });
              },
          .displayLost = std::move(displayLost),
      });
}

std::shared_ptr<StatusItem> SystemStatusBar::statusItem(double length) {
  auto button = std::make_shared<View>(Rect(0.0, 0.0, length, thickness));
  // At once, not on the next turn of the event loop: a player notification
  // already queued behind this change may take a whole library search, and
  // the change would wait for it.
  button->setNeedsDisplayHandler([this] { commit(); });
  auto item = std::make_shared<StatusItem>(length, std::move(button));
  items_.push_back(item);
  commitSoon_.start();
  return item;
}

std::vector<std::shared_ptr<StatusItem>> SystemStatusBar::shownItems() {
  std::erase_if(items_, [](const std::weak_ptr<StatusItem>& item) { return item.expired(); });
  std::vector<std::shared_ptr<StatusItem>> shown;
  for (const auto& item : items_) shown.push_back(item.lock());
  return shown;
}

void SystemStatusBar::commitAtDensity(double density) {
  surfaceDensity_ = density;
  commit();
}

double SystemStatusBar::widthOf(const std::vector<std::shared_ptr<StatusItem>>& items) {
  double width = 0.0;
  for (const auto& item : items) width += item->length();
  return width;
}

// The first item stands at the right end, later ones to its left.
std::vector<LayerTree::Placement> SystemStatusBar::placementsOf(const std::vector<std::shared_ptr<StatusItem>>& items) {
  std::vector<LayerTree::Placement> placed;
  double right = widthOf(items);
  for (const auto& item : items) {
    right -= item->length();
    if (const View* button = item->button()) placed.push_back({button, {right, 0.0}});
  }
  return placed;
}

std::vector<LayerTree::Placement> SystemStatusBar::placements() { return placementsOf(shownItems()); }

void SystemStatusBar::commit() {
  const std::vector<std::shared_ptr<StatusItem>> items = shownItems();
  const double width = widthOf(items);
  const StripColors colors = appearance_.colorsBeside(window_->panelColor());
  window_->show(QSizeF(width, thickness), colors.background);
  const std::vector<LayerTree::Placement> placed = placementsOf(items);
  double density = surfaceDensity_;
  if (density <= 0.0) density = window_->devicePixelRatio();
  compositor_->commit(
      std::make_shared<const LayerTree>(Size{width, thickness}, density, colors.background, placed, colors.text));
  // Nothing is read for assistive technology while none listens.
  if (QAccessible::isActive()) StatusBarAccessible::shared()->contentChanged();
}

}  // namespace platform
