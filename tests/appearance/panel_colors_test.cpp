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

// Every desktop's panel, and greys from black to white: the strip wears the
// panel's own background, with text that stays readable on it.
TEST(ColorsBesideTest, WearsThePanelsOwnBackgroundWithReadableText) {
  const QColor white(Qt::white);
  const struct {
    const char* panel;
    QColor background;
    QColor text;
  } rows[] = {
      {"GNOME's top bar", QColor(0, 0, 0), dark.text},
      {"Cinnamon 5.6's grey panel", QColor(85, 85, 85), dark.text},
      {"Xfce 4.20's dark panel", QColor(53, 53, 53), dark.text},
      {"Plasma 6's opaque panel, uncomposited", QColor(203, 203, 204), light.text},
      {"Plasma's light panel", QColor(239, 240, 241), light.text},
      {"MATE's panel", QColor(246, 245, 244), light.text},
      {"a mid grey", QColor(128, 128, 128), light.text},
      {"a grey too light for the dark palette's text", QColor(110, 110, 110), white},
      {"a blue", QColor(48, 96, 160), dark.text},
      {"a translucent black, shown opaque", QColor(0, 0, 0, 100), dark.text},
  };
  for (const auto& row : rows) {
    const StripColors colors = colorsBeside(row.background, light, dark);
    QColor opaque = row.background;
    opaque.setAlpha(255);
    EXPECT_EQ(colors.background, opaque) << row.panel;
    EXPECT_EQ(colors.text, row.text) << row.panel;
    EXPECT_GE(contrastRatio(colors.background, colors.text), readableContrast) << row.panel;
  }
  for (int grey = 0; grey < 256; ++grey) {
    const StripColors colors = colorsBeside(QColor(grey, grey, grey), light, dark);
    EXPECT_GE(contrastRatio(colors.background, colors.text), readableContrast) << grey;
  }
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

// Xfce 4.20's top panel, its workspaces, clock and user's name right above
// the strip: the bare panel elsewhere in the band tells its colour.
TEST(PanelColorInTest, TheStripsColumnsFirstElseTheWholeBand) {
  const QColor xfceDark(53, 53, 53);
  QImage band(1280, 27, QImage::Format_RGB32);
  band.fill(xfceDark);
  QPainter painter(&band);
  painter.fillRect(0, 0, 200, 27, QColor(80, 80, 80));       // the menu and task buttons
  painter.fillRect(1080, 0, 80, 27, QColor(100, 100, 100));  // the workspaces
  painter.fillRect(1160, 0, 80, 27, QColor(120, 120, 120));  // the clock
  painter.end();
  const QRect stripColumns(1080, 0, 200, 27);
  EXPECT_EQ(panelColorIn(band, stripColumns), xfceDark);
  EXPECT_EQ(panelColorIn(panelPiece(QColor(85, 85, 85)), QRect(0, 0, 200, 30)), QColor(85, 85, 85));
  // Plain, but in a colour of its own, right beside the strip: that one.
  QImage beside = band;
  QPainter(&beside).fillRect(stripColumns, QColor(20, 20, 20));
  EXPECT_EQ(panelColorIn(beside, stripColumns), QColor(20, 20, 20));
  EXPECT_EQ(panelColorIn(QImage(), stripColumns), std::nullopt);
}

// A translucent panel shows its own colour only where nothing blends it:
// KWin 6 holds the compositing manager's selection with compositing off,
// and Plasma's panel then shows as it draws itself.
TEST(TranslucentPanelColorTest, TheScreensWhereItShowsThePanelAsDrawnElseTheThemes) {
  const QColor drawn(203, 203, 204);
  const QColor breezeLight(239, 240, 241);
  const QColor blended(150, 90, 140);
  EXPECT_EQ(translucentPanelColor(drawn, drawn, breezeLight), drawn) << "uncomposited";
  EXPECT_EQ(translucentPanelColor(blended, drawn, breezeLight), breezeLight) << "blended over the wallpaper";
  EXPECT_EQ(translucentPanelColor(std::nullopt, drawn, breezeLight), breezeLight) << "over a picture";
  EXPECT_EQ(translucentPanelColor(blended, std::nullopt, breezeLight), breezeLight);
  EXPECT_EQ(translucentPanelColor(blended, drawn, std::nullopt), blended) << "no theme known";
  EXPECT_EQ(translucentPanelColor(std::nullopt, std::nullopt, std::nullopt), std::nullopt);
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
