#include "app/bridge/player_state.h"

#include <QDBusVariant>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

using mpris_bridge::applyPlayerProperties;
using mpris_bridge::PlaybackStatus;
using mpris_bridge::PlayerState;
using mpris_bridge::Track;

PlayerState applied(const QVariantMap& properties, PlayerState state = {}) {
  applyPlayerProperties(state, properties);
  return state;
}

QVariantMap metadata(const QVariantMap& fields) { return {{"Metadata", fields}}; }

TEST(PlayerProperties, ReadsTheThreeStatusesAndCountsAnythingElseAsStopped) {
  EXPECT_EQ(applied({{"PlaybackStatus", "Playing"}}).status, PlaybackStatus::Playing);
  EXPECT_EQ(applied({{"PlaybackStatus", "Paused"}}).status, PlaybackStatus::Paused);
  const PlayerState playing{PlaybackStatus::Playing, {}};
  for (const QVariant& odd : {QVariant("Stopped"), QVariant("playing"), QVariant(1),
                              QVariant::fromValue(QDBusVariant("Playing")), QVariant()}) {
    EXPECT_EQ(applied({{"PlaybackStatus", odd}}, playing).status, PlaybackStatus::Stopped)
        << odd.typeName();
  }
}

TEST(PlayerProperties, TakesArtistsAlbumAndTitleFromTheMetadata) {
  EXPECT_EQ(applied(metadata({{"xesam:artist", QStringList{"A", "B", "C"}},
                              {"xesam:album", "B"},
                              {"xesam:title", "C"},
                              {"mpris:length", qlonglong{1}}}))
                .track,
            (Track{"A, B, C", "B", "C"}));
  EXPECT_EQ(applied(metadata({{"xesam:artist", QStringList{"Solo"}}})).track,
            (Track{"Solo", std::nullopt, std::nullopt}));
  // Empty texts are what the player said, so they stay.
  EXPECT_EQ(applied(metadata({{"xesam:album", ""}, {"xesam:title", ""}})).track,
            (Track{std::nullopt, "", ""}));
}

TEST(PlayerProperties, LeavesOutFieldsThatAreMissingOrIllTyped) {
  EXPECT_EQ(applied(metadata({})).track, Track{});
  EXPECT_EQ(applied(metadata({{"xesam:artist", QStringList{}},
                              {"xesam:album", QStringList{"B"}},
                              {"xesam:title", 5}}))
                .track,
            Track{});
  EXPECT_EQ(applied(metadata({{"xesam:title", QVariant::fromValue(QDBusVariant("C"))}})).track,
            Track{});
  // A single string for the artists is common enough to be read as one artist.
  EXPECT_EQ(applied(metadata({{"xesam:artist", "A"}})).track.artist, "A");
}

TEST(PlayerProperties, NamesAnUntaggedTrackByItsFileWithoutTheExtension) {
  const auto nameOf = [](const QVariantMap& fields) { return applied(metadata(fields)).track.name(); };
  EXPECT_EQ(nameOf({{"xesam:url", "file:///home/u/Music/01%20Gr%C3%BCn%20%2350%25.mp3"}}), "01 Grün #50%");
  // mpDris2 does not encode its URLs.
  EXPECT_EQ(nameOf({{"xesam:url", "file:///music/04 No Tags.flac"}}), "04 No Tags");
  EXPECT_EQ(nameOf({{"xesam:url", "file:///music/live.2024.ogg"}}), "live.2024");
  EXPECT_EQ(nameOf({{"xesam:url", "file:///music/.hidden"}}), ".hidden");
  EXPECT_EQ(nameOf({{"xesam:url", "http://radio.example/stream"}}), "stream");
  // The file's name as the title is a stand-in (mpv, Strawberry), not a tag.
  const Track standIn = applied(metadata({{"xesam:title", "01 Red.mp3"}, {"xesam:url", "file:///m/01%20Red.mp3"}})).track;
  EXPECT_EQ(standIn.title, std::nullopt);
  EXPECT_EQ(standIn.name(), "01 Red");
  EXPECT_EQ(nameOf({{"xesam:title", "01 Red.mp3 [untitled MP3]"}, {"xesam:url", "file:///m/01%20Red.mp3"}}), "01 Red");
  // A title always wins, even one that begins with the name of a stream;
  // without title and file there is no name.
  EXPECT_EQ(nameOf({{"xesam:title", "Red"}, {"xesam:url", "file:///m/01%20Red.mp3"}}), "Red");
  EXPECT_EQ(nameOf({{"xesam:title", "stream of consciousness"}, {"xesam:url", "http://radio.example/stream"}}),
            "stream of consciousness");
  for (const QVariant& url : {QVariant("file:///"), QVariant(""), QVariant(5), QVariant()}) {
    EXPECT_EQ(nameOf({{"xesam:url", url}}), std::nullopt) << url.toString().toStdString();
  }
}

// A title is dropped only where it is what players give in place of none;
// only an audio file's extension is taken off the file's name shown instead.
TEST(PlayerProperties, NamesATrackByTheRuleForTitlesAndFileNames) {
  const struct {
    const char* title;  // none when null
    const char* file;   // the URL's last component
    const char* name;
  } rows[] = {
      {"01 Red.mp3", "01 Red.mp3", "01 Red"},         {"01 Red.mp3 [untitled MP3]", "01 Red.mp3", "01 Red"},
      {"x.m4a [untitled MPEG-4]", "x.m4a", "x"},      {"a+b (1) [untitled MP3]", "a+b (1)", "a+b (1)"},
      {nullptr, "St. Louis Blues", "St. Louis Blues"}, {nullptr, "Song.FLAC", "Song"},
      {nullptr, "a.opus", "a"},                       {nullptr, "notes.txt", "notes.txt"},
      {nullptr, "a.mp3.part", "a.mp3.part"},          {nullptr, ".mp3", ".mp3"},
      {"jazz [Live]", "jazz", "jazz [Live]"},         {"jazz [untitled]", "jazz", "jazz [untitled]"},
      {"jazz [untitled MP3] B-side", "jazz", "jazz [untitled MP3] B-side"},
      {"ab [untitled MP3]", "a.", "ab [untitled MP3]"}, {"01 RED.MP3", "01 Red.mp3", "01 RED.MP3"},
  };
  for (const auto& row : rows) {
    QVariantMap fields{{"xesam:url", "http://radio.example/" + QString(QUrl::toPercentEncoding(row.file))}};
    if (row.title) fields.insert("xesam:title", row.title);
    EXPECT_EQ(applied(metadata(fields)).track.name().value_or("-").toStdString(), row.name) << row.file;
  }
}

TEST(PlayerProperties, ReplacesOnlyWhatIsGiven) {
  const PlayerState before{PlaybackStatus::Playing, Track{"A", "B", "C"}};
  EXPECT_EQ(applied({{"Volume", 0.5}}, before), before);
  EXPECT_EQ(applied({{"PlaybackStatus", "Paused"}}, before),
            (PlayerState{PlaybackStatus::Paused, Track{"A", "B", "C"}}));
  EXPECT_EQ(applied(metadata({{"xesam:title", "D"}}), before),
            (PlayerState{PlaybackStatus::Playing, Track{std::nullopt, std::nullopt, "D"}}));
  // Metadata that is no dictionary tells nothing about the track.
  EXPECT_EQ(applied({{"Metadata", "C"}}, before).track, Track{});
}

}  // namespace
