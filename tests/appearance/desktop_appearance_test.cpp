// The strip's colours from the desktop's colour-scheme preference, read from
// a fake settings portal on the test's private session bus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include "fake_settings_portal.h"
#include "platform/appearance/desktop_appearance.h"

namespace {

using platform::DesktopAppearance;
using platform::StripColors;
using sonvetta_test::FakeSettingsPortal;

constexpr int signalTimeoutMs = 5000;
constexpr uint preferDark = 1;
constexpr uint preferLight = 2;

StripColors standardLightColors() {
  const QPalette palette = QApplication::style()->standardPalette();
  return {palette.color(QPalette::Window), palette.color(QPalette::WindowText)};
}

bool isDark(const StripColors& colors) {
  return colors.background.lightness() < 80 && colors.text.lightness() > 200;
}

TEST(DesktopAppearance, IsLightWithoutAPortal) {
  DesktopAppearance appearance(QDBusConnection::sessionBus());
  QSignalSpy changes(&appearance, &DesktopAppearance::colorsChanged);
  // Time for the portal's absence to be reported.
  QTest::qWait(300);
  EXPECT_EQ(appearance.colors(), standardLightColors());
  EXPECT_EQ(changes.count(), 0);
}

class DesktopAppearancePortalTest : public ::testing::TestWithParam<FakeSettingsPortal::Version> {};

TEST_P(DesktopAppearancePortalTest, FollowsTheDarkOrLightPreference) {
  FakeSettingsPortal portal(GetParam(), preferDark);
  DesktopAppearance appearance(QDBusConnection::sessionBus());
  QSignalSpy changes(&appearance, &DesktopAppearance::colorsChanged);
  EXPECT_EQ(appearance.colors(), standardLightColors()) << "light until the portal answers";
  ASSERT_TRUE(changes.wait(signalTimeoutMs));
  EXPECT_TRUE(isDark(appearance.colors()));

  portal.change(preferLight);
  ASSERT_TRUE(changes.wait(signalTimeoutMs));
  EXPECT_EQ(appearance.colors(), standardLightColors());

  portal.change(preferDark);
  ASSERT_TRUE(changes.wait(signalTimeoutMs));
  EXPECT_TRUE(isDark(appearance.colors()));

  // No preference is the light default.
  portal.change(0);
  ASSERT_TRUE(changes.wait(signalTimeoutMs));
  EXPECT_EQ(appearance.colors(), standardLightColors());
}

INSTANTIATE_TEST_SUITE_P(PortalVersions, DesktopAppearancePortalTest,
                         ::testing::Values(FakeSettingsPortal::Version::old, FakeSettingsPortal::Version::current));

TEST(DesktopAppearance, APaletteOfTheThemesOwnWinsOverThePreference) {
  FakeSettingsPortal portal(FakeSettingsPortal::Version::current, preferDark);
  DesktopAppearance appearance(QDBusConnection::sessionBus());
  QSignalSpy changes(&appearance, &DesktopAppearance::colorsChanged);
  ASSERT_TRUE(changes.wait(signalTimeoutMs));
  ASSERT_TRUE(isDark(appearance.colors()));

  const QPalette original = QApplication::palette();
  QPalette themes = original;
  themes.setColor(QPalette::Window, QColor(0xff, 0xee, 0xdd));
  themes.setColor(QPalette::WindowText, QColor(0x11, 0x22, 0x33));
  QApplication::setPalette(themes);
  EXPECT_GE(changes.count(), 2) << "a palette change is announced";
  const StripColors expected{QColor(0xff, 0xee, 0xdd), QColor(0x11, 0x22, 0x33)};
  EXPECT_EQ(appearance.colors(), expected);
  QApplication::setPalette(original);
  EXPECT_TRUE(isDark(appearance.colors()));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
