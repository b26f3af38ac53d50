#include "tools/mpris-bridge/player_state.h"

#include <QDBusVariant>
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
