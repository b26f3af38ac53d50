#include "platform/statusbar/status_bar_accessible.h"

#include <QAccessibleObject>
#include <QCoreApplication>
#include <QtGlobal>
#include <algorithm>

namespace platform {

namespace {

QString installedName;
StatusBarAccessible::Placements installedPlacements;
std::function<QRect()> installedGeometry;

// The application as assistive technology sees it: its toolkit windows that
// have accessible objects, then the status bar, which on Wayland is no
// toolkit window at all.
class ApplicationAccessible final : public QAccessibleApplication {
 public:
  int childCount() const override { return windowCount() + 1; }
  QAccessibleInterface* child(int index) const override {
    return index == windowCount() ? StatusBarAccessible::shared() : QAccessibleApplication::child(index);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child == StatusBarAccessible::shared() ? windowCount() : QAccessibleApplication::indexOfChild(child);
  }

 private:
  int windowCount() const { return QAccessibleApplication::childCount(); }
};

QAccessibleInterface* applicationAccessible(const QString&, QObject* object) {
  if (object == nullptr || object != QCoreApplication::instance()) return nullptr;
  return new ApplicationAccessible;
}

// The toolkit's bridge to assistive technology may come up after the bar
// has shown its first content.
class Activation final : public QAccessible::ActivationObserver {
 public:
  void accessibilityActiveChanged(bool active) override {
    if (active) StatusBarAccessible::shared()->contentChanged();
  }
};

}  // namespace

StatusBarAccessible::StatusBarAccessible(QString name, Placements placements, std::function<QRect()> geometry,
                                         Tell tell)
    : name_(std::move(name)),
      placements_(std::move(placements)),
      geometry_(std::move(geometry)),
      tell_(std::move(tell)) {}

StatusBarAccessible::~StatusBarAccessible() {
  for (const Child& child : children_) QAccessible::deleteAccessibleInterface(child.id);
}

void StatusBarAccessible::install(QString name, Placements placements, std::function<QRect()> geometry) {
  installedName = std::move(name);
  installedPlacements = std::move(placements);
  installedGeometry = std::move(geometry);
  // Factories are asked newest first, so this one answers for the
  // application before the toolkit's own.
  QAccessible::installFactory(applicationAccessible);
  static Activation activation;
  QAccessible::installActivationObserver(&activation);
}

StatusBarAccessible* StatusBarAccessible::shared() {
  if (!installedPlacements) return nullptr;
  static auto* bar = [] {
    auto* made = new StatusBarAccessible(installedName, installedPlacements, installedGeometry,
                                         [](QAccessibleEvent& event) { QAccessible::updateAccessibility(&event); });
    QAccessible::registerAccessibleInterface(made);
    return made;
  }();
  return bar;
}

std::vector<StatusBarAccessible::Child> StatusBarAccessible::reread() {
  std::vector<Child> gone = std::move(children_);
  children_.clear();
  std::vector<LayerTree::Placement> placements = placements_();
  std::sort(placements.begin(), placements.end(), [](const auto& a, const auto& b) { return a.origin.x < b.origin.x; });
  const QRectF strip(QPointF(), rect().size());
  for (const LayerTree::Placement& placement : placements) {
    for (const AccessibleView& found : accessibleViews(*placement.root)) {
      const auto before = std::find_if(gone.begin(), gone.end(),
                                       [&](const Child& child) { return child.view.lock() == found.view; });
      Child child;
      if (before != gone.end()) {
        child = *before;
        gone.erase(before);
      } else {
        auto* accessible = new ViewAccessible(found.view, this);
        child = {found.view, accessible, QAccessible::registerAccessibleInterface(accessible), std::nullopt};
      }
      child.accessible->setFrameInParent(found.frame.translated(placement.origin.x, placement.origin.y) & strip);
      children_.push_back(std::move(child));
    }
  }
  return gone;
}

void StatusBarAccessible::contentChanged() {
  for (const Child& child : reread()) {
    QAccessibleEvent removed(child.accessible, QAccessible::ObjectDestroyed);
    tell_(removed);
    QAccessible::deleteAccessibleInterface(child.id);
  }
  const Child* newText = nullptr;
  for (Child& child : children_) {
    std::optional<AccessibilityElement> now = child.view.lock()->accessibilityElement();
    if (now == child.told) continue;
    const auto tell = [this, &child](QAccessible::Event type) {
      QAccessibleEvent event(child.accessible, type);
      tell_(event);
    };
    if (!child.told) {
      tell(QAccessible::ObjectCreated);
    } else {
      if (now->label != child.told->label) tell(QAccessible::NameChanged);
      if (now->description != child.told->description) tell(QAccessible::DescriptionChanged);
    }
    child.told = std::move(now);
    if (child.told->role == AccessibilityRole::staticText && newText == nullptr) newText = &child;
  }
  if (newText != nullptr) announce(newText->accessible, QString::fromStdString(newText->told->label));
}

// Qt 6.8 brought announcements; before it a screen reader hears the new text
// through the name change alone.
void StatusBarAccessible::announce([[maybe_unused]] QAccessibleInterface* source,
                                   [[maybe_unused]] const QString& message) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QAccessibleAnnouncementEvent event(source, message);
  event.setPoliteness(QAccessible::AnnouncementPoliteness::Polite);
  tell_(event);
#endif
}

QAccessibleInterface* StatusBarAccessible::childAt(int x, int y) const {
  for (const Child& child : children_) {
    if (child.accessible->rect().contains(x, y)) return child.accessible;
  }
  return nullptr;
}

QAccessibleInterface* StatusBarAccessible::parent() const {
  return QAccessible::queryAccessibleInterface(QCoreApplication::instance());
}

QAccessibleInterface* StatusBarAccessible::child(int index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  return children_[static_cast<std::size_t>(index)].accessible;
}

int StatusBarAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto found = std::find_if(children_.begin(), children_.end(),
                                  [child](const Child& listed) { return listed.accessible == child; });
  return found == children_.end() ? -1 : static_cast<int>(found - children_.begin());
}

QString StatusBarAccessible::text(QAccessible::Text type) const {
  return type == QAccessible::Name ? name_ : QString();
}

QAccessible::State StatusBarAccessible::state() const {
  QAccessible::State state;
  state.readOnly = true;
  return state;
}

}  // namespace platform
