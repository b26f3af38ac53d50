#include "app/app_delegate.h"

#include "app/vocabulary.h"
#include "platform/image/symbol_image.h"

namespace sonvetta {

using vocabulary::musicAppNotification;
using vocabulary::spotifyNotification;

AppDelegate::AppDelegate(platform::StatusBar& statusBar,
                         std::unique_ptr<platform::DistributedNotificationCenter> notificationCenter,
                         std::unique_ptr<ArtworkSearch> artworkSearch, const platform::TextMeasurer& textMeasurer)
    : statusBar_(statusBar),
      notificationCenter_(std::move(notificationCenter)),
      artworkSearch_(std::move(artworkSearch)),
      textMeasurer_(textMeasurer) {}

void AppDelegate::applicationDidFinishLaunching() {
  statusBarItem_ = statusBar_.statusItem(statusItemLength);
  if (platform::View* button = statusBarItem_->button()) {
    marqueeView_ = std::make_shared<MarqueeView>(button->bounds(), textMeasurer_);
    button->addSubview(marqueeView_);
  }
  const auto handler = [this](const platform::Notification& notification) {
    updateMarqueeFromDistributedNotification(&notification);
  };
  notificationCenter_->addObserver(handler, musicAppNotification);
  notificationCenter_->addObserver(handler, spotifyNotification);
  updateMarqueeFromDistributedNotification(nullptr);
}

void AppDelegate::updateMarqueeFromDistributedNotification(const platform::Notification* notification) {
  // Without a button there is nowhere to show anything, so there is no point
  // in searching for artwork either.
  if (!marqueeView_) return;

  std::string statusText = "Music not playing";
  platform::ImageRef image;
  if (notification && notification->userInfo) {
    const bool fromMusicApp = notification->name == musicAppNotification;
    if (fromMusicApp || notification->name == spotifyNotification) {
      const char* stateKey = fromMusicApp ? vocabulary::musicAppStateKey : vocabulary::spotifyStateKey;
      if (notification->text(stateKey) == vocabulary::playing) {
        const std::string artist = notification->text(vocabulary::artistKey).value_or("Unknown Artist");
        const std::string album = notification->text(vocabulary::albumKey).value_or("Unknown Album");
        const std::string title = notification->text(vocabulary::titleKey).value_or("Unknown Song");
        statusText = title + " - " + album + " - " + artist;
        // Only the Music app's tracks are looked for in the local library.
        if (fromMusicApp) {
          image = artworkSearch_->findArtworkInMusicLibrary(artist, album, title, marqueeView_->bounds().height());
        }
      }
    }
  }
  if (!image) image = platform::systemSymbolImage("music.note", "Music Note");
  marqueeView_->update(image, statusText);
}

}  // namespace sonvetta
