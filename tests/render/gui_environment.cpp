#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

namespace {

// Fonts and the font engine exist only while a QGuiApplication does.
class GuiApplicationEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<QGuiApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[13] = "render_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> application_;
};

[[maybe_unused]] const ::testing::Environment* const guiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiApplicationEnvironment);

}  // namespace
