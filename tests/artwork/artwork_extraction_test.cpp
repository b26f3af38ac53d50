#include "app/artwork/artwork_extraction.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string_view>
#include <vector>

#include "artwork_test_support.h"
#include "tagged_audio.h"

namespace {

using sonvetta::testdata::AudioFormat;
using sonvetta::testdata::centreColour;
using sonvetta::testdata::solidPicture;
using sonvetta::testdata::TagEntries;
using sonvetta::testdata::TagField;
using sonvetta::testdata::trackTags;

class ArtworkExtraction : public testing::Test {
 protected:
  platform::ImageRef extract(AudioFormat format, const TagEntries& entries, const std::string& artist = "The Band",
                             const std::string& album = "Album", const std::string& title = "Song") {
    const auto file = fileOf(format);
    sonvetta::testdata::writeTaggedAudio(file, format, entries);
    return sonvetta::extractArtwork(file, artist, album, title, 22);
  }

  std::filesystem::path fileOf(AudioFormat format) const {
    const char* name = format == AudioFormat::m4a ? "track.m4a" : format == AudioFormat::flac ? "track.flac" : "track.mp3";
    return folder_ / name;
  }

  const std::string red_ = solidPicture("red", "PNG");
  const std::string blue_ = solidPicture("blue", "PNG");
  QTemporaryDir temporaryFolder_;
  const std::filesystem::path folder_{temporaryFolder_.path().toStdString()};
};

TEST_F(ArtworkExtraction, MatchingTrackGivesItsPictureAsASquare) {
  const platform::ImageRef image = extract(AudioFormat::mp3ID3v24, trackTags("The Band", "Album", "Song", red_));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->size(), (platform::Size{22, 22}));
  EXPECT_EQ(centreColour(image), QColor(Qt::red));
}

struct MatchCase {
  const char* tagged;
  const char* wanted;
  bool matches;
};

void PrintTo(const MatchCase& matchCase, std::ostream* out) {
  *out << '"' << matchCase.tagged << "\" for \"" << matchCase.wanted << '"';
}

class TitleComparison : public ArtworkExtraction, public testing::WithParamInterface<MatchCase> {};

// The file's fingerprint must be the wanted one whenever the file matches,
// or a search that goes by fingerprints would pass the file over.
TEST_P(TitleComparison, IgnoresLetterCaseAndCanonicalFormOnly) {
  const platform::ImageRef image =
      extract(AudioFormat::flac, trackTags("The Band", "Album", GetParam().tagged, red_), "The Band", "Album",
              GetParam().wanted);
  EXPECT_EQ(image != nullptr, GetParam().matches) << GetParam().tagged << " / " << GetParam().wanted;
  EXPECT_EQ(sonvetta::WantedTrack("the band", "ALBUM", GetParam().wanted)
                .admits(*sonvetta::readTrackFingerprint(folder_ / "track.flac")),
            GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Cases, TitleComparison,
                         testing::Values(MatchCase{"THE SONG", "The Song", true},
                                         MatchCase{"Café", "Cafe\u0301", true},
                                         MatchCase{"ÉTÉ", "été", true},
                                         MatchCase{"unknown song", "Unknown Song", true},
                                         MatchCase{"Song ", "Song", false},
                                         MatchCase{"The Song", "Song", false},
                                         MatchCase{"Song", "The Song", false},
                                         MatchCase{"STRASSE", "Straße", false}));

TEST_F(ArtworkExtraction, EveryTextTagMustBePresentAndMatch) {
  EXPECT_EQ(extract(AudioFormat::m4a, trackTags("THE BAND", "ALBUM", "SONG", red_)) != nullptr, true);
  EXPECT_EQ(extract(AudioFormat::m4a, {{TagField::artist, "The Band"}, {TagField::title, "Song"}, {TagField::artwork, red_}}),
            nullptr);
  EXPECT_EQ(sonvetta::readTrackFingerprint(folder_ / "track.m4a"), sonvetta::TrackFingerprint::incomplete());
  EXPECT_EQ(extract(AudioFormat::m4a, trackTags("The Band", "Other Album", "Song", red_)), nullptr);
  EXPECT_EQ(extract(AudioFormat::mp3ID3v23, {{TagField::artist, "The Band"},
                                             {TagField::album, "Album"},
                                             {TagField::title, "Song"},
                                             {TagField::artist, std::nullopt},
                                             {TagField::artwork, red_}}),
            nullptr);
}

TEST_F(ArtworkExtraction, LastPictureThatDecodesWins) {
  TagEntries twoPictures = trackTags("The Band", "Album", "Song", red_);
  twoPictures.push_back({TagField::artwork, blue_});
  EXPECT_EQ(centreColour(extract(AudioFormat::mp3ID3v24, twoPictures)), QColor(Qt::blue));

  twoPictures.back().value = blue_.substr(0, 20);
  EXPECT_EQ(centreColour(extract(AudioFormat::mp3ID3v24, twoPictures)), QColor(Qt::red));

  twoPictures.back().value = "";
  EXPECT_EQ(centreColour(extract(AudioFormat::m4a, twoPictures)), QColor(Qt::red));
}

// Shops sell covers of up to 8000 pixels a side, too large to hold whole as a
// JPEG; a PNG of 5000 pixels a side decodes within the memory allowed.
TEST_F(ArtworkExtraction, LargeCoversGiveTheirPicture) {
  for (const auto& [side, format] : {std::pair{8000, "JPEG"}, std::pair{5000, "PNG"}}) {
    const std::string cover = sonvetta::testdata::encodedPicture(side, side, format);
    const platform::ImageRef image = extract(AudioFormat::m4a, trackTags("The Band", "Album", "Song", cover));
    ASSERT_NE(image, nullptr) << format;
    EXPECT_EQ(image->size(), (platform::Size{22, 22}));
    EXPECT_GT(centreColour(image).blue(), 200) << format;
  }
}

TEST_F(ArtworkExtraction, MatchWithoutUsablePictureGivesNone) {
  EXPECT_EQ(extract(AudioFormat::mp3ID3v24, trackTags("The Band", "Album", "Song")), nullptr);
  EXPECT_EQ(extract(AudioFormat::mp3ID3v24, trackTags("The Band", "Album", "Song", "garbage")), nullptr);
}

// A player's artist text against a file's artist tag of one value or of
// several.
TEST(ArtistNames, AreTheFormsPlayersSend) {
  using Values = std::vector<std::string>;
  const struct {
    Values tagged;
    const char* sent;
    bool names;
  } rows[] = {
      // One value is compared whole, as the other fields are.
      {{"Ann"}, "ann", true}, {{"Ann"}, "Ann, Bob", false}, {{"Ann, Bob"}, "ANN, BOB", true},
      {{"Ann, Bob"}, "Ann", false}, {{"Ann "}, "Ann", false}, {{}, "", false},
      // Of several, the first or the last alone, or all joined.
      {{"Ann", "Bob"}, "Ann, Bob", true}, {{"Ann", "Bob"}, "Ann;Bob", true}, {{"Ann", "Bob"}, "ann; bob", true},
      {{"Ann", "Bob"}, "Ann / Bob", true}, {{"Ann", "Bob"}, "Ann/Bob", true}, {{"Ann", "Bob"}, "Ann & Bob", true},
      {{"Ann", "Bob"}, "Ann Bob", true}, {{"Ann", "Bob"}, "ANN", true}, {{"Ann", "Bob"}, "Bob", true},
      {{"Ann", "Bob", "Cy"}, "Ann, Bob, Cy", true}, {{"Élan", "Bob"}, "E\u0301lan", true},
      // Nothing else: no other order, separator, part or mixture.
      {{"Ann", "Bob"}, "Bob, Ann", false}, {{"Ann", "Bob"}, "Ann,Bob", false}, {{"Ann", "Bob"}, "An", false},
      {{"Ann", "Bob", "Cy"}, "Bob", false}, {{"Ann", "Bob", "Cy"}, "Ann, Bob", false},
      {{"Ann", "Bob", "Cy"}, "Ann, Bob;Cy", false}};
  for (const auto& row : rows) {
    EXPECT_EQ(sonvetta::namesArtist(row.tagged, row.sent), row.names)
        << '"' << row.sent << "\" for " << testing::PrintToString(row.tagged);
  }
}

// A file tagged with two artists, in each way that taggers write them, is
// found for what players send for it, its fingerprint admitted too.
struct TwoArtists {
  AudioFormat format;
  std::string_view artists;  // the tag's values, "\0" between them
  const char* sent;
};

void PrintTo(const TwoArtists& row, std::ostream* out) {
  sonvetta::testdata::PrintTo(row.format, out);
  *out << " for \"" << row.sent << '"';
}

class FileOfTwoArtists : public ArtworkExtraction, public testing::WithParamInterface<TwoArtists> {};

TEST_P(FileOfTwoArtists, IsFoundForTheArtistTextPlayersSend) {
  EXPECT_NE(extract(GetParam().format, trackTags(std::string(GetParam().artists), "Album", "Song", red_),
                    GetParam().sent),
            nullptr);
  EXPECT_TRUE(sonvetta::WantedTrack(GetParam().sent, "Album", "Song")
                  .admits(*sonvetta::readTrackFingerprint(fileOf(GetParam().format))));
}

using namespace std::string_view_literals;
INSTANTIATE_TEST_SUITE_P(Formats, FileOfTwoArtists,
                         testing::Values(TwoArtists{AudioFormat::mp3ID3v24, "Ann\0Bob"sv, "Ann, Bob"},
                                         TwoArtists{AudioFormat::mp3ID3v24, "Ann\0Bob"sv, "Bob"},
                                         TwoArtists{AudioFormat::mp3ID3v23, "Ann\0Bob"sv, "Ann;Bob"},
                                         // The separator ID3v2.3 taggers write is a part of the one text.
                                         TwoArtists{AudioFormat::mp3ID3v23, "Ann/Bob"sv, "Ann/Bob"},
                                         TwoArtists{AudioFormat::flac, "Ann\0Bob"sv, "Ann / Bob"},
                                         TwoArtists{AudioFormat::flac, "Ann\0Bob"sv, "Ann"},
                                         TwoArtists{AudioFormat::m4a, "Ann\0Bob"sv, "Ann Bob"},
                                         TwoArtists{AudioFormat::m4a, "Ann\0Bob"sv, "Bob"}));

}  // namespace
