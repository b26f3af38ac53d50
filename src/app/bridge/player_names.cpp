#include "app/bridge/player_names.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <iterator>

namespace mpris_bridge {
namespace {

constexpr char kPrefix[] = "org.mpris.MediaPlayer2.";
constexpr char kPlayerctldProxy[] = "org.mpris.MediaPlayer2.playerctld";
constexpr char kBrowserMirror[] = "org.mpris.MediaPlayer2.plasma-browser-integration";
// The first name element that the browsers give their own players, each
// followed by an instance element: chromium.instance1234, firefox.instance_1_42.
constexpr std::array kBrowsers{"chromium", "chrome", "firefox"};

// The element after org.mpris.MediaPlayer2, which names the program.
QString programOf(const QString& busName) {
  return busName.sliced(sizeof(kPrefix) - 1).section('.', 0, 0);
}

bool isBrowser(const QString& busName) {
  const QString program = programOf(busName);
  return std::any_of(kBrowsers.begin(), kBrowsers.end(), [&](const char* browser) { return program == browser; });
}

}  // namespace

bool isPlayerName(const QString& busName) {
  return busName.startsWith(kPrefix) && busName.size() > static_cast<qsizetype>(sizeof(kPrefix) - 1);
}

bool isSpotifyClient(const QString& busName) {
  static const QRegularExpression spotify(R"(^org\.mpris\.MediaPlayer2\.spotify(\.instance[0-9]+)?$)");
  return spotify.match(busName).hasMatch();
}

RosterChange PlayerRoster::appeared(const QString& busName) {
  if (!isPlayerName(busName)) return {};
  const std::set<QString> before = players();
  onBus_.insert(busName);
  return changeFrom(before);
}

RosterChange PlayerRoster::vanished(const QString& busName) {
  const std::set<QString> before = players();
  onBus_.erase(busName);
  return changeFrom(before);
}

bool PlayerRoster::counts(const QString& busName) const {
  if (!onBus_.contains(busName) || busName == kPlayerctldProxy) return false;
  return busName != kBrowserMirror || std::none_of(onBus_.begin(), onBus_.end(), isBrowser);
}

std::set<QString> PlayerRoster::players() const {
  std::set<QString> players;
  std::copy_if(onBus_.begin(), onBus_.end(), std::inserter(players, players.end()),
               [this](const QString& name) { return counts(name); });
  return players;
}

RosterChange PlayerRoster::changeFrom(const std::set<QString>& before) const {
  const std::set<QString> after = players();
  RosterChange change;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(change.added));
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(change.removed));
  return change;
}

}  // namespace mpris_bridge
