#include "platform/view/view.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

int openTransactions = 0;
std::vector<View*> changedTops;  // in the order of their first change

}  // namespace

View::View(const Rect& frame) : frame_(frame) {}

View::~View() {
  for (const auto& subview : subviews_) subview->superview_ = nullptr;
  ViewTransaction::forget(*this);
}

void View::setFrame(const Rect& frame) {
  if (frame == frame_) return;
  frame_ = frame;
  setNeedsDisplay();
}

void View::addSubview(std::shared_ptr<View> view) {
  for (const View* ancestor = this; ancestor != nullptr; ancestor = ancestor->superview_) {
    if (ancestor == view.get()) return;
  }
  if (view == nullptr) return;
  if (View* former = view->superview_) {
    std::erase(former->subviews_, view);
    former->setNeedsDisplay();
  }
  view->superview_ = this;
  subviews_.push_back(std::move(view));
  setNeedsDisplay();
}

void View::setWantsLayer(bool wants) {
  if (wants == (layer_ != nullptr)) return;
  layer_ = wants ? std::make_unique<Layer>([this] { setNeedsDisplay(); }) : nullptr;
  setNeedsDisplay();
}

void View::setNeedsDisplay() {
  View* top = this;
  while (top->superview_ != nullptr) top = top->superview_;
  if (openTransactions > 0) {
    ViewTransaction::changed(*top);
  } else if (top->needsDisplayHandler_) {
    top->needsDisplayHandler_();
  }
}

void View::setNeedsDisplayHandler(std::function<void()> handler) { needsDisplayHandler_ = std::move(handler); }

void View::draw(Canvas&) const {}

ViewTransaction::ViewTransaction() { ++openTransactions; }

ViewTransaction::~ViewTransaction() {
  if (--openTransactions > 0) return;
  const std::vector<View*> tops = std::exchange(changedTops, {});
  for (View* top : tops) {
    if (top->needsDisplayHandler_) top->needsDisplayHandler_();
  }
}

void ViewTransaction::changed(View& top) {
  if (std::ranges::find(changedTops, &top) == changedTops.end()) changedTops.push_back(&top);
}

void ViewTransaction::forget(const View& top) { std::erase(changedTops, &top); }

}  // namespace platform
