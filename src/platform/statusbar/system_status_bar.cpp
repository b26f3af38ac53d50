#include "platform/statusbar/system_status_bar.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cmath>

#include "platform/render/renderer.h"
#include "platform/view/media_clock.h"

namespace platform {

namespace {
// About 60 frames a second: smooth at 37 points per second, cheap to draw.
constexpr int frameIntervalMs = 16;
}  // namespace

SystemStatusBar& SystemStatusBar::shared() {
  static auto* bar = new SystemStatusBar;
  return *bar;
}

SystemStatusBar::SystemStatusBar()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
  setWindowTitle("Sonvetta status bar");
  setAttribute(Qt::WA_ShowWithoutActivating);
  nextFrame_.setSingleShot(true);
  nextFrame_.setInterval(frameIntervalMs);
  connect(&nextFrame_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &SystemStatusBar::followPrimaryScreen);
  followPrimaryScreen(QGuiApplication::primaryScreen());
}

void SystemStatusBar::followPrimaryScreen(QScreen* screen) {
  disconnect(primaryScreenGeometry_);
  if (screen) {
    primaryScreenGeometry_ = connect(screen, &QScreen::geometryChanged, this, &SystemStatusBar::placeAtTopRight);
  }
  placeAtTopRight();
}

std::shared_ptr<StatusItem> SystemStatusBar::statusItem(double length) {
  auto button = std::make_shared<View>(Rect(0.0, 0.0, length, thickness));
  button->setNeedsDisplayHandler([this] { update(); });
  auto item = std::make_shared<StatusItem>(length, std::move(button));
  items_.push_back(item);
  placeAtTopRight();
  show();
  return item;
}

std::vector<std::shared_ptr<StatusItem>> SystemStatusBar::shownItems() {
  std::erase_if(items_, [](const std::weak_ptr<StatusItem>& item) { return item.expired(); });
  std::vector<std::shared_ptr<StatusItem>> shown;
  for (const auto& item : items_) shown.push_back(item.lock());
  return shown;
}

void SystemStatusBar::placeAtTopRight() {
  double width = 0.0;
  for (const auto& item : shownItems()) width += item->length();
  setFixedSize(static_cast<int>(std::ceil(width)), static_cast<int>(thickness));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.right() + 1 - this->width(), area.top());
  }
}

void SystemStatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QColor textColor = palette().windowText().color();
  const double now = currentMediaTime();
  bool moving = false;
  // The first item stands at the right end, later ones to its left.
  double right = width();
  for (const auto& item : shownItems()) {
    right -= item->length();
    if (const View* button = item->button()) {
      painter.save();
      painter.translate(right, 0.0);
      painter.setClipRect(QRectF(0.0, 0.0, item->length(), thickness));
      paintViewTree(painter, *button, now, textColor);
      painter.restore();
      moving = moving || button->hasRunningAnimation(now);
    }
  }
  if (moving) nextFrame_.start();
}

}  // namespace platform
