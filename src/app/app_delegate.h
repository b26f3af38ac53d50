#pragma once

#include <memory>

#include "app/artwork/artwork_search.h"
#include "app/marquee/marquee_view.h"
#include "platform/application/application.h"
#include "platform/notifications/notification_center.h"
#include "platform/statusbar/status_item.h"

namespace sonvetta {

// The application: one status item showing what the music player plays,
// kept up to date from the players' system-wide notifications.
class AppDelegate final : public platform::ApplicationDelegate {
 public:
  static constexpr double statusItemLength = 200.0;

  // `textMeasurer` lays out the marquee's text and must outlive the delegate.
  AppDelegate(platform::StatusBar& statusBar, std::unique_ptr<platform::DistributedNotificationCenter> notificationCenter,
              std::unique_ptr<ArtworkSearch> artworkSearch, const platform::TextMeasurer& textMeasurer);

  // Puts the marquee into a new status item, subscribes to the players'
  // notifications and shows the not-playing content.
  void applicationDidFinishLaunching() override;

  // Shows what `notification` says the player plays; null means nothing plays.
  void updateMarqueeFromDistributedNotification(const platform::Notification* notification);

 private:
  platform::StatusBar& statusBar_;
  std::unique_ptr<platform::DistributedNotificationCenter> notificationCenter_;
  std::unique_ptr<ArtworkSearch> artworkSearch_;
  const platform::TextMeasurer& textMeasurer_;
  std::shared_ptr<platform::StatusItem> statusBarItem_;
  std::shared_ptr<MarqueeView> marqueeView_;
};

}  // namespace sonvetta
