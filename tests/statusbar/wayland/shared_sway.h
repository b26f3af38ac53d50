#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "session.h"

namespace sonvetta::testdata {

// Test cases that share one headless sway, which this process enters; each
// is skipped where sway cannot be had.
class SharedSwayTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    sway_ = std::make_unique<Session>("sway");
    sway_->enter();
  }
  static void TearDownTestSuite() { sway_.reset(); }
  void SetUp() override {
    if (!sway_->unavailable().isEmpty()) GTEST_SKIP() << "headless sway: " << sway_->unavailable().toStdString();
  }

  static inline std::unique_ptr<Session> sway_;
};

}  // namespace sonvetta::testdata
