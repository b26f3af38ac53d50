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
  QColor text;
};

void PrintTo(const Panel& panel, std::ostream* out) { *out << panel.desktop; }

class ColorsBesideTest : public testing::TestWithParam<Panel> {};

// Every desktop's panel: the strip wears its background exactly, with the
// palette's text where that is readable on it, else black or white.
TEST_P(ColorsBesideTest, WearsThePanelsOwnBackgroundWithReadableText) {
  const StripColors colors = colorsBeside(GetParam().background, light, dark);
  EXPECT_EQ(colors.background, GetParam().background);
  EXPECT_EQ(colors.text, GetParam().text);
  EXPECT_GE(contrastRatio(colors.background, colors.text), 4.5);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, ColorsBesideTest,
    testing::Values(Panel{"gnome", QColor(0, 0, 0), dark.text}, Panel{"cinnamon", QColor(85, 85, 85), dark.text},
                    Panel{"xfce", QColor(53, 53, 53), dark.text}, Panel{"plasma", QColor(239, 240, 241), light.text},
                    Panel{"plasma_opaque", QColor(203, 203, 204), light.text},
                    Panel{"mate", QColor(246, 245, 244), light.text}, Panel{"blue", QColor(48, 96, 160), dark.text},
                    Panel{"mid_grey", QColor(128, 128, 128), light.text},
                    // Too dark for black, too light for the dark palette's grey.
                    Panel{"grey_between", QColor(112, 112, 112), QColor(Qt::white)}),
    [](const testing::TestParamInfo<Panel>& info) { return info.param.desktop; });

TEST(ColorsBesideTest, ShowsAPanelWithTransparencyOpaque) {
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
