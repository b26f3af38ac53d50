#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include "app/vocabulary.h"
#include "fixed_text_measurer.h"
#include "platform/view/image_view.h"
#include "platform/view/text_field.h"

namespace {

using platform::Notification;
using platform::UserInfo;
using namespace sonvetta::vocabulary;

class FakeStatusBar final : public platform::StatusBar {
 public:
  explicit FakeStatusBar(bool withButton) : withButton_(withButton) {}

  std::shared_ptr<platform::StatusItem> statusItem(double length) override {
    auto button = withButton_ ? std::make_shared<platform::View>(platform::Rect(3.0, 1.0, length, 22.0)) : nullptr;
    items.push_back(std::make_shared<platform::StatusItem>(length, button));
    return items.back();
  }

  std::vector<std::shared_ptr<platform::StatusItem>> items;

 private:
  bool withButton_;
};

class FakeNotificationCenter final : public platform::DistributedNotificationCenter {
 public:
  void addObserver(Observer observer, const std::string& name) override {
    observers.emplace_back(name, std::move(observer));
  }

  void post(const Notification& notification) const {
    for (const auto& [name, observer] : observers) {
      if (name == notification.name) observer(notification);
    }
  }

  std::vector<std::pair<std::string, Observer>> observers;
};

class PlainImage final : public platform::Image {
 public:
  platform::Size size() const override { return {22.0, 22.0}; }
  void draw(platform::Canvas&, const platform::Rect&) const override {}
};

struct SearchCall {
  std::string artist, album, title;
  double targetSize;
};

class FakeArtworkSearch final : public sonvetta::ArtworkSearch {
 public:
  platform::ImageRef findArtworkInMusicLibrary(const std::string& artist, const std::string& album,
                                               const std::string& title, double targetSize) override {
    calls.push_back({artist, album, title, targetSize});
    return result;
  }

  std::vector<SearchCall> calls;
  platform::ImageRef result;
};

const std::string musicApp = musicAppNotification;
const std::string spotify = spotifyNotification;

UserInfo playingTrack(const std::string& stateKey) {
  return {{stateKey, playing}, {artistKey, "A"}, {albumKey, "B"}, {titleKey, "C"}};
}

class AppDelegateTest : public testing::Test {
 protected:
  explicit AppDelegateTest(bool withButton = true) : statusBar_(withButton) {
    auto center = std::make_unique<FakeNotificationCenter>();
    auto search = std::make_unique<FakeArtworkSearch>();
    center_ = center.get();
    search_ = search.get();
    delegate_ = std::make_unique<sonvetta::AppDelegate>(statusBar_, std::move(center), std::move(search), measurer_);
    delegate_->applicationDidFinishLaunching();
  }

  platform::View* button() const { return statusBar_.items.at(0)->button(); }
  // What the user sees: the first copy's image and text.
  const platform::View& content() const { return *button()->subviews().at(0)->subviews().at(0); }
  std::string shownText() const {
    return static_cast<const platform::TextField&>(*content().subviews().at(1)).stringValue();
  }
  platform::ImageRef shownImage() const {
    return static_cast<const platform::ImageView&>(*content().subviews().at(0)).image();
  }
  bool showsMusicNote() const { return shownImage() && shownImage()->accessibilityDescription() == "Music Note"; }

  void post(const std::string& name, std::optional<UserInfo> userInfo) {
    center_->post(Notification{name, std::move(userInfo)});
  }

  // Shows a track first, so that a later "Music not playing" is a visible change.
  void showSomeTrack() {
    post(spotify, UserInfo{{spotifyStateKey, playing}, {titleKey, "Earlier"}});
    ASSERT_EQ(shownText(), "Earlier - Unknown Album - Unknown Artist");
  }

  platform::FixedTextMeasurer measurer_{7.0, 16.0};
  FakeStatusBar statusBar_;
  FakeNotificationCenter* center_ = nullptr;
  FakeArtworkSearch* search_ = nullptr;
  std::unique_ptr<sonvetta::AppDelegate> delegate_;
};

TEST_F(AppDelegateTest, StartUpInstallsTheMarqueeSubscribesAndShowsNothingPlaying) {
  ASSERT_EQ(statusBar_.items.size(), 1u);
  EXPECT_EQ(statusBar_.items[0]->length(), 200.0);
  ASSERT_EQ(button()->subviews().size(), 1u);
  // The marquee takes the button's bounds exactly, not its frame.
  EXPECT_EQ(button()->subviews()[0]->frame(), platform::Rect(0.0, 0.0, 200.0, 22.0));

  ASSERT_EQ(center_->observers.size(), 2u);
  EXPECT_EQ(center_->observers[0].first, musicApp);
  EXPECT_EQ(center_->observers[1].first, spotify);

  EXPECT_EQ(shownText(), "Music not playing");
  EXPECT_TRUE(showsMusicNote());
  EXPECT_TRUE(search_->calls.empty());
}

TEST_F(AppDelegateTest, MusicAppTrackIsShownTitleFirstWithItsArtwork) {
  search_->result = std::make_shared<PlainImage>();
  post(musicApp, playingTrack(musicAppStateKey));

  EXPECT_EQ(shownText(), "C - B - A");
  EXPECT_EQ(shownImage(), search_->result);
  ASSERT_EQ(search_->calls.size(), 1u);
  EXPECT_EQ(search_->calls[0].artist, "A");
  EXPECT_EQ(search_->calls[0].album, "B");
  EXPECT_EQ(search_->calls[0].title, "C");
  EXPECT_EQ(search_->calls[0].targetSize, 22.0);
}

TEST_F(AppDelegateTest, MusicAppTrackWithoutArtworkShowsTheMusicNote) {
  post(musicApp, playingTrack(musicAppStateKey));
  EXPECT_EQ(shownText(), "C - B - A");
  EXPECT_TRUE(showsMusicNote());
}

TEST_F(AppDelegateTest, MissingOrIllTypedTrackFieldsTakeTheirDefaultsAndEmptyTextStays) {
  UserInfo info = playingTrack(musicAppStateKey);
  info.erase(albumKey);
  info[artistKey] = std::nullopt;  // a number, say
  post(musicApp, info);
  EXPECT_EQ(shownText(), "C - Unknown Album - Unknown Artist");
  ASSERT_EQ(search_->calls.size(), 1u);
  EXPECT_EQ(search_->calls[0].artist, "Unknown Artist");
  EXPECT_EQ(search_->calls[0].album, "Unknown Album");

  info = playingTrack(musicAppStateKey);
  info[albumKey] = "";
  post(musicApp, info);
  EXPECT_EQ(shownText(), "C -  - A");
}

TEST_F(AppDelegateTest, SpotifyTrackIsShownWithTheMusicNoteAndNeverSearched) {
  search_->result = std::make_shared<PlainImage>();
  post(spotify, playingTrack(spotifyStateKey));
  EXPECT_EQ(shownText(), "C - B - A");
  EXPECT_TRUE(showsMusicNote());
  EXPECT_TRUE(search_->calls.empty());
}

TEST_F(AppDelegateTest, AnythingButAPlayingStateUnderThePlayersOwnKeyMeansNotPlaying) {
  const std::vector<std::pair<std::string, std::optional<UserInfo>>> notPlaying = {
      {musicApp, std::nullopt},
      {musicApp, UserInfo{{musicAppStateKey, "Paused"}}},
      {musicApp, UserInfo{{musicAppStateKey, "playing"}, {titleKey, "C"}}},
      {musicApp, UserInfo{{musicAppStateKey, std::nullopt}, {titleKey, "C"}}},
      {musicApp, playingTrack(spotifyStateKey)},
      {spotify, playingTrack(musicAppStateKey)},
  };
  for (const auto& [name, userInfo] : notPlaying) {
    SCOPED_TRACE(name);
    showSomeTrack();
    post(name, userInfo);
    EXPECT_EQ(shownText(), "Music not playing");
    EXPECT_TRUE(showsMusicNote());
  }
  EXPECT_TRUE(search_->calls.empty());
}

TEST_F(AppDelegateTest, OtherNotificationsNeverReachTheHandlerAndMeanNotPlayingIfTheyDid) {
  showSomeTrack();
  const Notification other{"com.example.player", playingTrack(musicAppStateKey)};
  center_->post(other);
  EXPECT_EQ(shownText(), "Earlier - Unknown Album - Unknown Artist");

  delegate_->updateMarqueeFromDistributedNotification(&other);
  EXPECT_EQ(shownText(), "Music not playing");
  EXPECT_TRUE(search_->calls.empty());
}

TEST_F(AppDelegateTest, EveryPlayingMusicAppNotificationSearchesAgain) {
  post(musicApp, playingTrack(musicAppStateKey));
  search_->result = std::make_shared<PlainImage>();
  post(musicApp, playingTrack(musicAppStateKey));
  EXPECT_EQ(search_->calls.size(), 2u);
  // The view ignores a repeated text, artwork included.
  EXPECT_TRUE(showsMusicNote());
}

class AppDelegateWithoutButtonTest : public AppDelegateTest {
 protected:
  AppDelegateWithoutButtonTest() : AppDelegateTest(false) {}
};

TEST_F(AppDelegateWithoutButtonTest, StillSubscribesAndIgnoresNotificationsQuietly) {
  ASSERT_EQ(center_->observers.size(), 2u);
  post(musicApp, playingTrack(musicAppStateKey));
  EXPECT_TRUE(search_->calls.empty());
}

}  // namespace
