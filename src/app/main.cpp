#include <iostream>

#include "app/app_delegate.h"
#include "app/artwork/library_artwork_search.h"
#include "app/vocabulary.h"
#include "platform/files/home_folder.h"
#include "platform/notifications/dbus_notification_center.h"
#include "platform/text/text_measurer.h"

int main(int argc, char* argv[]) {
  const platform::QtTextMeasurer textMeasurer;
  const auto makeDelegate = [&textMeasurer](platform::StatusBar& statusBar) {
    auto artworkSearch = std::make_unique<sonvetta::LibraryArtworkSearch>(std::cout, platform::homeFolder());
    // So that the first track after login is found as fast as any later one.
    artworkSearch->warmUp();
    return std::make_unique<sonvetta::AppDelegate>(statusBar, std::make_unique<platform::DBusNotificationCenter>(),
                                                   std::move(artworkSearch), textMeasurer);
  };
  return platform::applicationMain(argc, argv, sonvetta::vocabulary::statusBarTitle, makeDelegate);
}
