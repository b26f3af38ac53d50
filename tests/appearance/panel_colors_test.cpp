#include "platform/appearance/panel_colors.h"
#include "platform/appearance/shell_panel_color.h"
#include "platform/statusbar/wayland/sway_bar.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

namespace platform {
namespace {

// The palettes the strip has today: the standard light one, and its dark
// counterpart.
const StripColors light{QColor(239, 239, 239), QColor(0, 0, 0)};
const StripColors dark{QColor(0x2b, 0x2b, 0x2b), QColor(0xf0, 0xf0, 0xf0)};

struct Panel {
  const char* desktop;
  QColor background;
};

void PrintTo(const Panel& panel, std::ostream* out) { *out << panel.desktop; }

class ColorsBesideTest : public testing::TestWithParam<Panel> {};

// Every desktop's panel: the text keeps its palette's contrast, and the
// background is the panel's own, or the nearest to it that keeps that
// contrast, of the same hue.
TEST_P(ColorsBesideTest, KeepsThePalettesContrastAsCloseToThePanelAsItCan) {
  const QColor panel = GetParam().background;
  const StripColors colors = colorsBeside(panel, light, dark);
  const StripColors& palette = colors.text == dark.text ? dark : light;
  const double needed = contrastRatio(palette.background, palette.text);
  EXPECT_GE(contrastRatio(colors.background, colors.text), needed);
  if (contrastRatio(panel, colors.text) >= needed) {
    EXPECT_EQ(colors.background, panel) << "worn as it is";
  } else {
    // One step less towards black or white would not do.
    const int step = colors.text == dark.text ? 1 : -1;
    const QColor lessFar(colors.background.red() + step, colors.background.green() + step,
                         colors.background.blue() + step);
    EXPECT_LT(contrastRatio(lessFar, colors.text), needed) << "no further from the panel than needed";
    EXPECT_EQ(colors.background.red() == colors.background.green(), panel.red() == panel.green());
  }
}

INSTANTIATE_TEST_SUITE_P(Desktops, ColorsBesideTest,
                         testing::Values(Panel{"gnome", QColor(0, 0, 0)}, Panel{"cinnamon", QColor(85, 85, 85)},
                                         Panel{"plasma", QColor(239, 240, 241)},
                                         Panel{"plasma_translucent", QColor(207, 210, 212)},
                                         Panel{"mate", QColor(246, 245, 244)}, Panel{"blue", QColor(48, 96, 160)},
                                         Panel{"mid_grey", QColor(128, 128, 128)}),
                         [](const testing::TestParamInfo<Panel>& info) { return info.param.desktop; });

TEST(ColorsBesideTest, ChoosesTheTextBySide) {
  EXPECT_EQ(colorsBeside(QColor(0, 0, 0), light, dark), (StripColors{QColor(0, 0, 0), dark.text}));
  EXPECT_EQ(colorsBeside(QColor(239, 240, 241), light, dark), (StripColors{QColor(239, 240, 241), light.text}));
  // A panel with transparency is shown opaque.
  EXPECT_EQ(colorsBeside(QColor(0, 0, 0, 100), light, dark).background.alpha(), 255);
}

QImage panelPiece(QColor background) {
  QImage piece(200, 30, QImage::Format_RGB32);
  piece.fill(background);
  return piece;
}

TEST(PlainColorOfTest, IsThePanelsBackgroundBesideItsTextAndNoneOnAPicture) {
  QImage clock = panelPiece(QColor(85, 85, 85));
  QPainter painter(&clock);
  painter.fillRect(150, 8, 40, 14, Qt::white);  // where its clock is
  painter.end();
  EXPECT_EQ(plainColorOf(clock), QColor(85, 85, 85));

  QImage gradient(200, 30, QImage::Format_RGB32);
  for (int x = 0; x < gradient.width(); ++x) {
    for (int y = 0; y < gradient.height(); ++y) gradient.setPixel(x, y, qRgb(x, y, 0));
  }
  EXPECT_EQ(plainColorOf(gradient), std::nullopt) << "a picture";
  EXPECT_EQ(plainColorOf(QImage()), std::nullopt);
  EXPECT_EQ(plainColorOf(panelPiece(Qt::black)), QColor(Qt::black));
}

// The bar the strip stands beside on the output sway gives it (the focused
// one): the one along the top there, else one along the bottom, in the
// colours sway tells; bars that are hidden or on other outputs do not count,
// nor do answers that are not what they should be.
TEST(SwayBarTest, TheBarBesideTheStripOnItsOutput) {
  const QByteArray outputs = R"([{"name": "HDMI-A-1", "active": true, "focused": false},
                                 {"name": "eDP-1", "active": true, "focused": true}])";
  const auto bar = [](const char* position, const char* mode, const char* outputs, const char* background) {
    return QString(R"({"position": "%1", "mode": "%2", "outputs": %3, "colors": {"background": "%4"}})")
        .arg(position, mode, outputs, background)
        .toUtf8();
  };
  const QByteArray ownBottom = bar("bottom", "dock", "[]", "#ff0000");
  const QByteArray hiddenTop = bar("top", "invisible", "[]", "#00ff00");
  const QByteArray otherTop = bar("top", "dock", R"(["HDMI-A-1"])", "#0000ff");
  const QByteArray ownTop = bar("top", "dock", R"(["eDP-1"])", "#202020ff");
  const auto beside = [&](std::vector<QByteArray> bars, const QByteArray& outputsAnswer) {
    const std::optional<SwayBar> found = barBesideStripIn(bars, outputsAnswer);
    return found ? std::optional(std::pair(found->alongBottom, found->background)) : std::nullopt;
  };
  using Beside = std::optional<std::pair<bool, std::optional<QColor>>>;
  EXPECT_EQ(beside({ownBottom, hiddenTop, otherTop, ownTop}, outputs), Beside({false, QColor(0x20, 0x20, 0x20)}));
  EXPECT_EQ(beside({ownBottom, hiddenTop, otherTop}, outputs), Beside({true, QColor(Qt::red)}))
      << "along the bottom where its output has none along the top";
  EXPECT_EQ(beside({otherTop}, outputs), std::nullopt);
  EXPECT_EQ(beside({bar("top", "dock", R"(["*"])", "#0000ff")}, outputs), Beside({false, QColor(Qt::blue)}));
  EXPECT_EQ(beside({otherTop}, R"([{"name": "eDP-1", "active": false}, {"name": "HDMI-A-1"}])"),
            Beside({false, QColor(Qt::blue)}))
      << "on the first output that is on, where none has the focus";
  EXPECT_EQ(beside({bar("top", "dock", "[]", "red"), ownBottom}, outputs), Beside({false, std::nullopt}))
      << "a colour sway does not write";
  EXPECT_EQ(beside({bar("left", "dock", "[]", "#ffffff"), "not json", ""}, "not json"), std::nullopt);
  EXPECT_EQ(beside({}, outputs), std::nullopt);
}

// Plasma's panels take the colour scheme's window background from the
// user's settings; a file that names none, or names it badly, is Breeze's.
TEST(PlasmaPanelColor, TheSchemesWindowBackgroundElseBreezesLightOne) {
  QTemporaryDir home;
  const auto kdeglobals = [&](const QByteArray& text) {
    QFile file(home.filePath("kdeglobals"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return file.fileName();
  };
  const QColor breezeLight(239, 240, 241);
  EXPECT_EQ(plasmaPanelColor(kdeglobals("[General]\nColorScheme=BreezeDark\n\n[Colors:Window]\n"
                                        "BackgroundAlternate=49,54,59\nBackgroundNormal=32,35,38\n")),
            QColor(32, 35, 38));
  EXPECT_EQ(plasmaPanelColor(QString()), breezeLight) << "no kdeglobals";
  EXPECT_EQ(plasmaPanelColor(kdeglobals("[General]\nColorScheme=BreezeLight\n")), breezeLight);
  EXPECT_EQ(plasmaPanelColor(kdeglobals("[Colors:Window]\nBackgroundNormal=32,35\n")), breezeLight);
  EXPECT_EQ(plasmaPanelColor(kdeglobals("[Colors:Window]\nBackgroundNormal=32,350,38\n")), breezeLight);
  EXPECT_EQ(plasmaPanelColor(kdeglobals("[Colors:Window]\nBackgroundNormal=#202326\n")), breezeLight);
}

}  // namespace
}  // namespace platform
