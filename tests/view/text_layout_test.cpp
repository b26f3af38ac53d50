#include <gtest/gtest.h>

#include <string>

#include "fixed_text_measurer.h"
#include "platform/text/text_line.h"
#include "platform/view/text_field.h"

namespace platform {
namespace {

const FixedTextMeasurer fixedMetrics(7.0, 16.0);

double codePoints(std::string_view text) { return FixedTextMeasurer(1, 1).measure(text, {}).width; }

TEST(FontTest, SizeZeroOrNonsenseGivesTheStandardMenuBarFont) {
  EXPECT_EQ(Font::menuBarFontOfSize(0.0), (Font{.family = "", .size = 13.0}));
  EXPECT_EQ(Font::menuBarFontOfSize(-4.0).size, 13.0);
  EXPECT_EQ(Font::menuBarFontOfSize(15.5).size, 15.5);
}

TEST(TextFieldTest, SizeToFitMeasuresTheTextAsItIsNowAndKeepsTheOrigin) {
  auto label = TextField::labelWithString("héllo", fixedMetrics);
  label->setFrame({3.5, 4.25, 1, 1});
  label->sizeToFit();
  EXPECT_EQ(label->frame(), Rect(3.5, 4.25, 35, 16));
  label->setStringValue("");
  label->sizeToFit();
  EXPECT_EQ(label->frame(), Rect(3.5, 4.25, 0, 16));
}

// A megabyte of text without breaks, in words of two-byte letters, and as
// one letter carrying a megabyte of combining marks: the runs must cover
// every character exactly once, never split one, and find the visible ones.
TEST(TextLineTest, LongTextIsCutIntoRunsThatCoverItExactly) {
  std::string words, combining = "a";
  while (words.size() < 1'000'000) words += "fünf Wörter ";
  while (combining.size() < 1'000'000) combining += "\xCC\x81";
  for (const std::string& text : {std::string(1'000'000, 'x'), words, combining}) {
    const TextLine line(text, {}, fixedMetrics);
    const auto all = line.runsBetween(-1e18, 1e18);
    ASSERT_GT(all.size(), 1000u);
    std::size_t next = 0;
    for (const TextLine::Run& run : all) {
      ASSERT_EQ(run.begin, next);
      ASSERT_EQ(run.width, 7.0 * codePoints(std::string_view(text).substr(run.begin, run.length)));
      next = run.begin + run.length;
    }
    EXPECT_EQ(next, text.size());
    EXPECT_EQ(line.size().width, 7.0 * codePoints(text));

    const auto visible = line.runsBetween(500'000, 500'200);
    ASSERT_FALSE(visible.empty());
    EXPECT_LE(visible.front().x, 500'000);
    EXPECT_GE(visible.back().x + visible.back().width, 500'200);
  }
  EXPECT_EQ(TextLine("Title - Album - Artist", {}, fixedMetrics).runsBetween(-1e9, 1e9).size(), 1u);
}

}  // namespace
}  // namespace platform
