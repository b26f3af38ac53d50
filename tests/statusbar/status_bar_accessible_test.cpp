#include "platform/statusbar/status_bar_accessible.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "platform/image/symbol_image.h"
#include "platform/text/text_measurer.h"
#include "platform/view/image_view.h"
#include "platform/view/text_field.h"

namespace platform {
namespace {

class Artwork final : public Image {
 public:
  Size size() const override { return {22.0, 22.0}; }
  void draw(Canvas&, const Rect&) const override {}
};

std::vector<std::string> heard;

void record(QAccessibleEvent& event) {
  static const std::map<QAccessible::Event, std::string> names{
      {QAccessible::ObjectCreated, "created"},     {QAccessible::ObjectDestroyed, "destroyed"},
      {QAccessible::NameChanged, "name"},          {QAccessible::DescriptionChanged, "description"},
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
      {QAccessible::Announcement, "announcement"},
#endif
  };
  heard.push_back(names.at(event.type()) + " " + event.accessibleInterface()->text(QAccessible::Name).toStdString());
}

// An item of 200 x 22 points at x = 50 of a strip at (1000, 0), holding
// what a scrolling line holds: a clipping view, a carrier, and two copies
// of picture and text, the second 135 points after the first.
class StatusBarAccessibleTest : public testing::Test {
 protected:
  void SetUp() override {
    heard.clear();
    item->setWantsLayer(true);
    item->layer()->setMasksToBounds(true);
    item->addSubview(carrier);
    carrier->addSubview(image1);
    carrier->addSubview(label1);
    carrier->addSubview(image2);
    carrier->addSubview(label2);
    show(std::make_shared<Artwork>(), "A line far too long to fit", 300.0);
  }
  void show(ImageRef image, const std::string& text, double textWidth) {
    const double second = 22.0 + 4.0 + textWidth + 135.0;
    for (const auto& view : {image1, image2}) view->setImage(image);
    for (const auto& label : {label1, label2}) label->setStringValue(text);
    image1->setFrame({0, 0, 22, 22});
    label1->setFrame({26, 3, textWidth, 16});
    image2->setFrame({second, 0, 22, 22});
    label2->setFrame({second + 26, 3, textWidth, 16});
  }

  std::vector<std::string> children() const {
    std::vector<std::string> listed;
    for (int index = 0; index < strip.childCount(); ++index) {
      const QAccessibleInterface* child = strip.child(index);
      EXPECT_EQ(strip.indexOfChild(child), index);
      listed.push_back(child->text(QAccessible::Name).toStdString() + " | " +
                       child->text(QAccessible::Description).toStdString());
    }
    return listed;
  }

  std::shared_ptr<View> item = std::make_shared<View>(Rect(0, 0, 200, 22));
  std::shared_ptr<View> carrier = std::make_shared<View>(Rect(0, 0, 800, 22));
  std::shared_ptr<ImageView> image1 = std::make_shared<ImageView>(), image2 = std::make_shared<ImageView>();
  QtTextMeasurer measurer;
  std::shared_ptr<TextField> label1 = TextField::labelWithString("", measurer),
                             label2 = TextField::labelWithString("", measurer);
  StatusBarAccessible strip{"Status strip",
                            [this] { return std::vector<LayerTree::Placement>{{item.get(), {50.0, 0.0}}}; },
                            [] { return QRect(1000, 0, 250, 22); }, record};
};

TEST_F(StatusBarAccessibleTest, ListsThePictureAndTheWholeLineOfTheCopyInViewOnly) {
  strip.contentChanged();
  EXPECT_EQ(children(), (std::vector<std::string>{"Track artwork | Track artwork", "A line far too long to fit | "}));
  EXPECT_EQ(strip.child(0)->role(), QAccessible::Graphic);
  EXPECT_EQ(strip.child(1)->role(), QAccessible::StaticText);
  EXPECT_EQ(strip.child(0)->rect(), QRect(1050, 0, 22, 22));
  EXPECT_EQ(strip.child(1)->rect(), QRect(1076, 3, 174, 16)) << "read whole, but placed where it shows";
  EXPECT_FALSE(strip.child(1)->state().focusable);

  show(systemSymbolImage("music.note", "Music Note"), "Short", 30.0);
  strip.contentChanged();
  EXPECT_EQ(children(), (std::vector<std::string>{"Music Note | Music Note", "Short | ", "Music Note | Music Note"}))
      << "the second copy's picture, starting at x = 191, is in view";
}

TEST_F(StatusBarAccessibleTest, TellsWhatChangedAndNothingWhenNothingDid) {
  strip.contentChanged();
  std::vector<std::string> expected{"created Track artwork", "created A line far too long to fit"};
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  expected.push_back("announcement A line far too long to fit");
#endif
  EXPECT_EQ(heard, expected);

  heard.clear();
  strip.contentChanged();
  EXPECT_TRUE(heard.empty());

  show(std::make_shared<Artwork>(), "Another line far too long", 300.0);
  strip.contentChanged();
  expected = {"name Another line far too long"};
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  expected.push_back("announcement Another line far too long");
#endif
  EXPECT_EQ(heard, expected) << "a new picture of the same kind says nothing new";

  heard.clear();
  show(systemSymbolImage("music.note", "Music Note"), "Another line far too long", 300.0);
  strip.contentChanged();
  EXPECT_EQ(heard, (std::vector<std::string>{"name Music Note", "description Music Note"}));

  heard.clear();
  for (const auto& view : {image1, image2}) view->setImage(nullptr);
  strip.contentChanged();
  EXPECT_EQ(heard, std::vector<std::string>{"destroyed "}) << "a picture gone is no object any more";
  EXPECT_EQ(strip.childCount(), 1);
}

}  // namespace
}  // namespace platform
