// The players' signal sequences here are those that VLC 3.0, mpv 0.35 with
// mpv-mpris, Audacious 4.2 and mpd 0.23 with mpDris2 send, with their timing.
#include "app/bridge/change_gatherer.h"

#include <gtest/gtest.h>

namespace {

using mpris_bridge::ChangeGatherer;
using mpris_bridge::PlaybackStatus;
using mpris_bridge::PlayerState;
using mpris_bridge::Track;
using Time = ChangeGatherer::Time;

const QString kPlayer = "org.mpris.MediaPlayer2.player";

QVariantMap tagged(const QString& title) {
  return {{"xesam:title", title}, {"xesam:artist", QStringList{"Demo Band"}}, {"xesam:album", "Hues"},
          {"xesam:url", "file:///music/" + title + ".mp3"}};
}
QVariantMap fileOnly(const QString& title) { return {{"xesam:url", "file:///music/" + title + ".mp3"}}; }
// mpv's first word on a track: the file's name as its title.
QVariantMap fileAsTitle(const QString& title) {
  return {{"xesam:title", title + ".mp3"}, {"xesam:url", "file:///music/" + title + ".mp3"}};
}

const Track kRed{"Demo Band", "Hues", "Red", "Red"};
const Track kBlue{"Demo Band", "Hues", "Blue", "Blue"};

struct Said {
  int at;
  QVariantMap properties;
};
struct Posted {
  int at;
  PlayerState state;
  bool operator==(const Posted&) const = default;
};
void PrintTo(const Posted& posted, std::ostream* out) {
  *out << posted.at << " ms: status " << int(posted.state.status) << ", name "
       << posted.state.track.name().value_or("(none)").toStdString();
}

// Plays `script` to one player that was `before`, releasing whatever falls due
// between two signals at the moment it falls due, and returns what went out
// and when.
std::vector<Posted> play(const QVariantMap& before, const std::vector<Said>& script) {
  ChangeGatherer gatherer;
  PlayerState state;
  std::vector<Posted> posted;
  const auto take = [&](Time at, const QVariantMap& properties) {
    mpris_bridge::applyPlayerProperties(state, properties);
    posted.push_back({int(at.count()), state});
  };
  const auto releaseUntil = [&](Time end) {
    while (const auto next = gatherer.nextDue()) {
      if (*next > end) break;
      for (const auto& release : gatherer.due(*next)) take(*next, release.properties);
    }
  };
  if (!before.isEmpty()) {
    gatherer.heard(kPlayer, before, Time{-10000});
    releaseUntil(Time{-1});
    posted.clear();
  }
  for (const Said& said : script) {
    releaseUntil(Time{said.at});
    if (const auto released = gatherer.heard(kPlayer, said.properties, Time{said.at})) {
      take(Time{said.at}, *released);
    }
  }
  releaseUntil(Time::max());
  return posted;
}

const QVariantMap kStopped{{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap{}}};
const QVariantMap kPlayingRed{{"PlaybackStatus", "Playing"}, {"Metadata", tagged("Red")}};

TEST(ChangeGatherer, PostsPlayingOnlyOnceThePlayerHasNamedTheTrack) {
  // Audacious and mpDris2: the status first, the track up to 30 ms later.
  EXPECT_EQ(play(kStopped, {{0, {{"PlaybackStatus", "Playing"}}}, {30, {{"Metadata", tagged("Red")}}}}),
            (std::vector<Posted>{{50, {PlaybackStatus::Playing, kRed}}}));
  // VLC starts with the file alone and gives its tags 200 ms later.
  EXPECT_EQ(play(kStopped, {{0, {{"PlaybackStatus", "Playing"}, {"Metadata", fileOnly("Red")}}},
                            {200, kPlayingRed}}),
            (std::vector<Posted>{{200, {PlaybackStatus::Playing, kRed}}}));
  // mpv names a new track by its file, twice, and has the tags 100 ms later.
  EXPECT_EQ(play(kPlayingRed, {{0, {{"Metadata", fileAsTitle("Blue")}}},
                               {0, {{"Metadata", fileAsTitle("Blue")}}},
                               {100, {{"Metadata", tagged("Blue")}}},
                               {100, {{"Metadata", tagged("Blue")}}}}),
            (std::vector<Posted>{{100, {PlaybackStatus::Playing, kBlue}}, {150, {PlaybackStatus::Playing, kBlue}}}));
}

TEST(ChangeGatherer, HoldsAStopUntilThePlayerPlaysAgain) {
  // VLC on Next, on each of its two names.
  EXPECT_EQ(play(kPlayingRed, {{0, {{"PlaybackStatus", "Stopped"}, {"Metadata", tagged("Blue")}}},
                               {200, {{"PlaybackStatus", "Playing"}, {"Metadata", tagged("Blue")}}}}),
            (std::vector<Posted>{{200, {PlaybackStatus::Playing, kBlue}}}));
  EXPECT_EQ(play(kPlayingRed, {{0, {{"PlaybackStatus", "Stopped"}}},
                               {110, {{"PlaybackStatus", "Playing"}, {"Metadata", tagged("Blue")}}}}),
            (std::vector<Posted>{{110, {PlaybackStatus::Playing, kBlue}}}));
  // A player that stays stopped is posted so, once it has had its time.
  EXPECT_EQ(play(kPlayingRed, {{0, {{"PlaybackStatus", "Stopped"}, {"Metadata", tagged("Blue")}}}}),
            (std::vector<Posted>{{1000, {PlaybackStatus::Stopped, kBlue}}}));
  EXPECT_EQ(play(kPlayingRed, {{0, {{"PlaybackStatus", "Playing"}}}, {10, {{"PlaybackStatus", "Stopped"}}}}),
            (std::vector<Posted>{{1000, {PlaybackStatus::Stopped, kRed}}}));
}

TEST(ChangeGatherer, PostsPausesAndStopsOfAPausedPlayerAtOnce) {
  const QVariantMap paused{{"PlaybackStatus", "Paused"}};
  // mpDris2 repeats the metadata after the status.
  EXPECT_EQ(play(kPlayingRed, {{0, paused}, {1, {{"Metadata", tagged("Red")}}}}),
            (std::vector<Posted>{{0, {PlaybackStatus::Paused, kRed}}, {1, {PlaybackStatus::Paused, kRed}}}));
  EXPECT_EQ(play(kPlayingRed, {{0, paused}, {500, {{"PlaybackStatus", "Stopped"}}}}),
            (std::vector<Posted>{{0, {PlaybackStatus::Paused, kRed}}, {500, {PlaybackStatus::Stopped, kRed}}}));
  // Even while a change is being gathered.
  EXPECT_EQ(play(kPlayingRed, {{0, {{"PlaybackStatus", "Playing"}}}, {10, paused}}),
            (std::vector<Posted>{{10, {PlaybackStatus::Paused, kRed}}}));
}

TEST(ChangeGatherer, NamesUntaggedTracksByTheirFileOnceNoTagsCame) {
  const Track untagged{std::nullopt, std::nullopt, std::nullopt, "No Tags"};
  // VLC and mpDris2 give the URL alone; mpv the file's name as the title.
  for (const QVariantMap& metadata : {fileOnly("No Tags"), fileAsTitle("No Tags")}) {
    EXPECT_EQ(play(kPlayingRed, {{0, {{"Metadata", metadata}}}}),
              (std::vector<Posted>{{1000, {PlaybackStatus::Playing, untagged}}}));
  }
  // Resuming it is no new track: nothing more is coming.
  const QVariantMap pausedUntagged{{"PlaybackStatus", "Paused"}, {"Metadata", fileOnly("No Tags")}};
  EXPECT_EQ(play(pausedUntagged, {{0, {{"PlaybackStatus", "Playing"}}}}),
            (std::vector<Posted>{{50, {PlaybackStatus::Playing, untagged}}}));
}

TEST(ChangeGatherer, GathersEachPlayerApartAndIgnoresWhatItDoesNotRead) {
  ChangeGatherer gatherer;
  EXPECT_EQ(gatherer.heard("a", {{"Volume", 0.5}, {"Position", 1}}, Time{0}), std::nullopt);
  EXPECT_EQ(gatherer.nextDue(), std::nullopt);
  gatherer.heard("b", kPlayingRed, Time{0});
  gatherer.heard("a", kPlayingRed, Time{20});
  gatherer.heard("c", kPlayingRed, Time{30});
  gatherer.forget("c");
  EXPECT_EQ(gatherer.nextDue(), Time{50});
  EXPECT_EQ(gatherer.due(Time{70}), (std::vector<ChangeGatherer::Release>{{"a", kPlayingRed}, {"b", kPlayingRed}}));
  EXPECT_EQ(gatherer.nextDue(), std::nullopt);

  gatherer.heard("a", {{"Metadata", fileOnly("Blue")}}, Time{100});
  EXPECT_EQ(gatherer.releaseAll(), (std::vector<ChangeGatherer::Release>{{"a", {{"Metadata", fileOnly("Blue")}}}}));
  EXPECT_EQ(gatherer.nextDue(), std::nullopt);
}

}  // namespace
