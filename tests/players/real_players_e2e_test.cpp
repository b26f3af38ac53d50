// Real MPRIS players, each playing a small library headless, with the bridge
// and the application: what the application is told (the notifications on
// the bus) and how often it searches (its lines on standard output), through
// play, pause, resume, next and quit. One row of the table for each player:
// how to start it on a list of files; the MPRIS calls that drive it are the
// same for all.
//
// Run on X alone and a private bus that admits other users: as root the
// players run as an unprivileged user (tests/support/unprivileged), for VLC
// refuses root.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>

#include "app/vocabulary.h"
#include "app_under_test.h"
#include "bridge_process.h"
#include "notification_recorder.h"
#include "platform/notifications/dbus_post.h"
#include "program.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using namespace sonvetta::vocabulary;
using namespace sonvetta::testdata;

constexpr char kProbe[] = "Probe";
constexpr char kSearchStart[] = "Attempting to find artwork in local Music library...";

// The files tagged with two artists, "Ann" and "Bob", one of each kind
// whose tags hold several values of a field each their own way.
struct Duet {
  const char* title;
  AudioFormat format;
};
constexpr Duet kDuets[] = {{"Duet ID3v2.3", AudioFormat::mp3ID3v23},
                           {"Duet ID3v2.4", AudioFormat::mp3ID3v24},
                           {"Duet FLAC", AudioFormat::flac},
                           {"Duet MP4", AudioFormat::m4a}};

// The library in ~/Music, linked as ~/Music/Music, as the README tells Linux
// users: three tagged tracks with pictures, the duets with pictures, and one
// without tags, each of two minutes: a file of a fraction of a second ends
// before a player has said a word.
MusicLibrary library() {
  MusicLibrary library;
  for (const char* title : {"Red", "Grün", "Blue"}) {
    library.add({"Demo Band", "Hues", title, solidPicture("red", "PNG")});
  }
  for (const Duet& duet : kDuets) {
    library.add({std::string("Ann\0Bob", 7), "Duets", duet.title, solidPicture("red", "PNG"), duet.format});
  }
  return library.add({"Demo Band", "Hues", "No Tags", std::nullopt, AudioFormat::mp3ID3v24, false})
      .playable(120)
      .linkedAsMusicMusic();
}

constexpr char kUntagged[] = "08 No Tags";

// What the application is told, one line a notification: the state, the name,
// and for tagged tracks artist and album (players differ on what they make of
// an untagged file besides its name).
std::string lineOf(const platform::Notification& notification) {
  const auto text = [&](const char* key) { return notification.text(key).value_or("-"); };
  std::string line = text(musicAppStateKey) + " " + text(titleKey);
  if (line.ends_with(" Red") || line.ends_with(" Grün") || line.ends_with(" Blue") || line.find(" Duet ") != std::string::npos) {
    line += " by " + text(artistKey) + " on " + text(albumKey);
  }
  return line;
}

bool isPlaying(const std::string& line) { return line.starts_with("Playing "); }

std::string playing(const std::string& title) {
  return "Playing " + title + (title == kUntagged ? "" : " by Demo Band on Hues");
}

// One player's programs, their home folder and their output, which a failed
// test shows.
class PlayerRun {
 public:
  explicit PlayerRun(const fs::path& home) : home_(home) {
    fs::create_directories(home_ / "runtime");
    fs::permissions(home_ / "runtime", fs::perms::owner_all);
  }

  void stop() { programs_.clear(); }

  // Starts `program` as the player's user, in its home folder, which that
  // user is given.
  QProcess& start(const QString& program, const QStringList& arguments, const QStringList& environment = {}) {
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert("HOME", path());
    variables.insert("XDG_RUNTIME_DIR", path("runtime"));
    for (const QString& variable : environment) variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    const QString log = path(QString("output-%1.log").arg(programs_.size() + 1));
    const QStringList command = QStringList{path(), "env", "--chdir=" + path(), program} + arguments;
    return programs_.emplace_back(std::make_unique<Program>(UNPRIVILEGED, command, variables, log))->process();
  }

  // Runs `program` to its end as above; whether it succeeded.
  bool run(const QString& program, const QStringList& arguments, const QStringList& environment = {}) {
    QProcess& process = start(program, arguments, environment);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  }

  void write(const QString& relative, const std::string& text) {
    fs::create_directories(fs::path(path(relative).toStdString()).parent_path());
    std::ofstream(path(relative).toStdString()) << text;
  }

  QString path(const QString& relative = {}) const {
    return QString::fromStdString((home_ / relative.toStdString()).string());
  }

  void printOutput() const {
    for (std::size_t i = 0; i < programs_.size(); ++i) {
      QFile log(path(QString("output-%1.log").arg(i + 1)));
      const QByteArray output = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
      const QByteArray errors = programs_[i]->process().readAllStandardError();
      std::printf("--- player output %zu:\n%s\n%s\n", i + 1, output.right(3000).constData(),
                  errors.right(3000).constData());
    }
  }

 private:
  fs::path home_;
  std::vector<std::unique_ptr<Program>> programs_;
};

bool isOnBus(const QString& name) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

QStringList paths(const std::vector<fs::path>& files) {
  QStringList list;
  for (const fs::path& file : files) list.push_back(QString::fromStdString(file.string()));
  return list;
}

// Audacious has its MPRIS plugin on from the start; of its outputs none
// finds a sound card, SDL's with its dummy driver aside.
void startAudacious(PlayerRun& run, const std::vector<fs::path>& files) {
  run.start("audacious", QStringList{"-H"} + paths(files), {"SDL_AUDIODRIVER=dummy"});
}

// mpd with a null output, on a socket in its home, and mpDris2 for MPRIS.
// The library's own folder (~/Music) is mpd's: its link to itself is not
// followed.
void startMpd(PlayerRun& run, const std::vector<fs::path>& files) {
  const QString socket = run.path("mpd.socket");
  const fs::path music = files.front().parent_path().parent_path().parent_path();
  run.write("mpd.conf", "music_directory \"" + music.string() + "\"\ndb_file \"" + run.path("mpd.db").toStdString() +
                            "\"\nbind_to_address \"" + socket.toStdString() +
                            "\"\nfollow_inside_symlinks \"no\"\naudio_output {\n  type \"null\"\n  name \"null\"\n}\n");
  run.write(".config/mpDris2/mpDris2.conf",
            "[Connection]\nhost = " + socket.toStdString() + "\nmusic_dir = " + music.string() + "\n");
  run.start("mpd", {"--no-daemon", run.path("mpd.conf")});
  const auto mpc = [&](const QStringList& arguments) { return run.run("mpc", QStringList{"-q", "-h", socket} + arguments); };
  static_cast<void>(QTest::qWaitFor([&] { return mpc({"status"}); }, 20000));
  mpc({"--wait", "update"});
  for (const fs::path& file : files) mpc({"add", QString::fromStdString(file.lexically_relative(music).string())});
  run.start("mpDris2", {});
}

void startQuodLibet(PlayerRun& run, const std::vector<fs::path>& files) {
  run.write(".config/quodlibet/config",
            "[plugins]\nactive_plugins = mpris\n\n[player]\ngst_pipeline = fakesink sync=true\n");
  run.start("quodlibet", {});
  static_cast<void>(QTest::qWaitFor([] { return isOnBus("org.mpris.MediaPlayer2.quodlibet"); }, 30000));
  run.run("quodlibet", {"--play-file=" + QString::fromStdString(files.front().string())});
  for (auto file = files.begin() + 1; file != files.end(); ++file) {
    run.run("quodlibet", {"--enqueue-files=" + QString::fromStdString(file->string())});
  }
}

// Rhythmbox with its MPRIS plugin alone: the others want services that a
// test's bus does not have (a notification daemon, for one). Without a sound
// card its sink falls back to one that plays to nothing.
void startRhythmbox(PlayerRun& run, const std::vector<fs::path>& files) {
  run.write(".config/glib-2.0/settings/keyfile",
            "[org/gnome/rhythmbox/plugins]\nactive-plugins=['mpris']\nseen-plugins=['android','artsearch','audiocd',"
            "'audioscrobbler','daap','dbus-media-server','fmradio','generic-player','grilo','im-status','ipod',"
            "'iradio','listenbrainz','lyrics','magnatune','mpris','mtpdevice','notification','power-manager',"
            "'python-console','rb','rblirc','replaygain','webremote']\n");
  const QStringList settings = {"GSETTINGS_BACKEND=keyfile"};
  run.start("rhythmbox", {}, settings);
  static_cast<void>(QTest::qWaitFor([] { return isOnBus("org.mpris.MediaPlayer2.rhythmbox"); }, 30000));
  // It takes URIs only; the rest are queued once it plays the first.
  QStringList uris;
  for (const QString& path : paths(files)) uris.push_back(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
  run.run("rhythmbox-client", {"--no-start", "--play-uri=" + uris.takeFirst()}, settings);
  static_cast<void>(QTest::qWaitFor([] {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        "org.mpris.MediaPlayer2.rhythmbox", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get")
        << QString("org.mpris.MediaPlayer2.Player") << QString("PlaybackStatus"));
    return reply.arguments().value(0).value<QDBusVariant>().variant() == "Playing";
  }, 30000));
  if (!uris.isEmpty()) run.run("rhythmbox-client", QStringList{"--no-start", "--enqueue"} + uris, settings);
  // Files new to its library join the queue only once imported, which it
  // begins a moment later; a Next before that finds the queue empty and
  // stops.
  static_cast<void>(QTest::qWaitFor([&] {
    return std::all_of(uris.begin(), uris.end(), [](const QString& uri) {
      QDBusMessage lookUp = QDBusMessage::createMethodCall(
          "org.gnome.Rhythmbox3", "/org/gnome/Rhythmbox3/RhythmDB", "org.gnome.Rhythmbox3.RhythmDB", "GetEntryProperties");
      return QDBusConnection::sessionBus().call(lookUp << uri).type() == QDBusMessage::ReplyMessage;
    });
  }, 20000));
}

struct Player {
  const char* name;  // the element after org.mpris.MediaPlayer2
  const char* program;
  std::function<void(PlayerRun&, const std::vector<fs::path>&)> start;
  bool needsPlay;  // it loads the files but waits for Play
  // The artist the application is told for each of kDuets, in whichever of
  // the ways players name two artists: the bridge joins a list by ", ";
  // players that read the tags through TagLib send one text, its values
  // joined by a space, or for an MP4 file by ", "; some read only the first
  // value of an mp3's frame, or join FLAC's comments themselves.
  std::array<const char*, std::size(kDuets)> duetArtists;
};

void PrintTo(const Player& player, std::ostream* out) { *out << player.name; }

const Player kPlayers[] = {
    {"mpv", "mpv",
     [](PlayerRun& run, const std::vector<fs::path>& files) {
       run.start("mpv", QStringList{"--ao=null", "--no-video", "--no-terminal", "--idle=no", "--no-config",
                                    "--script=/usr/lib/mpv-mpris/mpris.so"} +
                            paths(files));
     },
     false, {"Ann", "Ann", "Ann;Bob", "Ann"}},
    {"vlc", "cvlc",
     [](PlayerRun& run, const std::vector<fs::path>& files) {
       run.start("cvlc", QStringList{"--intf", "dummy", "--aout", "dummy", "--no-video", "--control", "dbus",
                                     "--no-loop", "--no-repeat", "--no-random"} +
                             paths(files));
     },
     false, {"Ann Bob", "Ann Bob", "Ann Bob", "Ann, Bob"}},
    {"audacious", "audacious", startAudacious, false, {"Ann", "Ann", "Ann, Bob", "Ann"}},
    {"mpd", "mpDris2", startMpd, true, {"Ann, Bob", "Ann, Bob", "Ann, Bob", "Ann"}},
    {"quodlibet", "quodlibet", startQuodLibet, false, {"Ann, Bob", "Ann, Bob", "Ann, Bob", "Ann, Bob"}},
    {"strawberry", "strawberry",
     [](PlayerRun& run, const std::vector<fs::path>& files) { run.start("strawberry", QStringList{"-l"} + paths(files)); },
     true, {"Ann Bob", "Ann Bob", "Ann Bob", "Ann, Bob"}},
    {"rhythmbox", "rhythmbox", startRhythmbox, false, {"Ann", "Ann", "Ann", "Ann"}},
};

class RealPlayers : public testing::Test {
 protected:
  void SetUp() override {
    if (QProcess::execute(UNPRIVILEGED, {folder_.path(), "true"}) == 77) GTEST_SKIP() << "no unprivileged user";
    session_.enter();
    startApplication();
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& run : runs_) run->printOutput();
    }
    runs_.clear();
  }

  // The application and the bridge; returns once the application listens,
  // which it shows by searching for a probe track.
  void startApplication() {
    app_.emplace(QProcessEnvironment::systemEnvironment(), library());
    // The players, as another user, play the library's files.
    QFile::setPermissions(app_->home(), QFile::permissions(app_->home()) | QFile::ReadOther | QFile::ExeOther);
    const bool listening = QTest::qWaitFor(
        [&] {
          platform::postNotification(QDBusConnection::sessionBus(), musicAppNotification,
                                     {{musicAppStateKey, sonvetta::vocabulary::playing}, {titleKey, kProbe}});
          return QTest::qWaitFor([&] { return searches() > 0; }, 500);
        },
        30000);
    ASSERT_TRUE(listening) << "the application never searched";
    // Players come after it; it reads those already there when it starts.
    bridge_.emplace();
    searchesFrom_ = searches();
  }

  // Starts `player` on `files` and waits until its MPRIS name is on the bus.
  PlayerRun& start(const Player& player, const std::vector<fs::path>& files) {
    PlayerRun& run = *runs_.emplace_back(std::make_unique<PlayerRun>(folder_.filePath(player.name).toStdString()));
    player.start(run, files);
    EXPECT_TRUE(QTest::qWaitFor([&] { return isOnBus(busName(player)); }, 30000))
        << player.name << " never took its MPRIS name";
    return run;
  }

  // Tells the player `method` until the application is told `line`: a
  // player that has just started may not be ready for it (Strawberry lets a
  // Pause that comes at once pass). Only for Play and Pause, which can be
  // repeated.
  bool insist(const Player& player, const char* method, const std::string& line) {
    return QTest::qWaitFor(
        [&] {
          call(player, method);
          return QTest::qWaitFor([&] { return !lines().empty() && lines().back() == line; }, 2000);
        },
        30000);
  }

  // The lines from the first track the application was told about up to
  // line `end`: before it, it is told how the player appeared, stopped.
  std::vector<std::string> toldUntil(std::size_t end) {
    std::vector<std::string> told = lines();
    told.resize(end);
    told.erase(told.begin(), std::find_if(told.begin(), told.end(), isPlaying));
    return told;
  }

  // Quits the player and checks that the application is told, in the end,
  // that nothing plays, and nothing else playing meanwhile.
  void quit(const Player& player, PlayerRun& run, const std::vector<std::string>& trackStates) {
    const std::size_t before = lines().size();
    call(player, "Quit");
    // mpDris2 does not quit; its player goes with it.
    if (std::string(player.name) == "mpd") run.stop();
    EXPECT_TRUE(waitForLine("Stopped -")) << testing::PrintToString(lines());
    const std::vector<std::string> all = lines();
    EXPECT_TRUE(std::none_of(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(), isPlaying))
        << testing::PrintToString(all);
    EXPECT_EQ(toldUntil(before), trackStates);
  }

  static QString busName(const Player& player) { return QString("org.mpris.MediaPlayer2.") + player.name; }

  static void call(const Player& player, const char* method) {
    const bool quit = std::string(method) == "Quit";
    const QDBusMessage message = QDBusMessage::createMethodCall(
        busName(player), "/org/mpris/MediaPlayer2",
        quit ? "org.mpris.MediaPlayer2" : "org.mpris.MediaPlayer2.Player", method);
    QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
  }

  // The lines of what the application was told by the bridge.
  std::vector<std::string> lines() {
    std::vector<std::string> lines;
    for (const auto& notification : recorder_.received()) {
      if (notification.text(titleKey) != kProbe) lines.push_back(lineOf(notification));
    }
    return lines;
  }

  // Waits until the application was last told `line`.
  bool waitForLine(const std::string& line) {
    return QTest::qWaitFor([&] { return !lines().empty() && lines().back() == line; }, 30000);
  }

  int searches() {
    return static_cast<int>(app_->standardOutput().count(kSearchStart));
  }

  // X alone, for the players that want a display.
  Session session_{"xvfb"};
  // The players' homes.
  QTemporaryDir folder_;
  sonvetta_test::NotificationRecorder recorder_{{musicAppNotification}};
  std::optional<AppUnderTest> app_;
  std::optional<sonvetta_test::BridgeProcess> bridge_;
  std::vector<std::unique_ptr<PlayerRun>> runs_;
  int searchesFrom_ = 0;
};

class RealPlayer : public RealPlayers, public testing::WithParamInterface<Player> {};

TEST_P(RealPlayer, TellsEachTrackOnceWithNothingInBetween) {
  const Player& player = GetParam();
  if (QStandardPaths::findExecutable(player.program).isEmpty()) GTEST_SKIP() << player.program << " is not installed";
  PlayerRun& run = start(player, app_->tracks());
  const bool started = player.needsPlay ? insist(player, "Play", playing("Red")) : waitForLine(playing("Red"));
  ASSERT_TRUE(started) << testing::PrintToString(lines());
  ASSERT_TRUE(insist(player, "Pause", "Paused Red by Demo Band on Hues")) << testing::PrintToString(lines());
  ASSERT_TRUE(insist(player, "Play", playing("Red"))) << testing::PrintToString(lines());
  std::vector<std::string> expected = {playing("Red"), "Paused Red by Demo Band on Hues", playing("Red")};
  std::vector<std::string> next = {playing("Grün"), playing("Blue")};
  // Each duet's artwork is found, whatever the player makes of its artists.
  const int found = 4 + static_cast<int>(std::size(kDuets));
  for (std::size_t i = 0; i < std::size(kDuets); ++i) {
    next.push_back("Playing " + std::string(kDuets[i].title) + " by " + player.duetArtists[i] + " on Duets");
  }
  next.push_back(playing(kUntagged));
  for (const std::string& line : next) {
    call(player, "Next");
    expected.push_back(line);
    // The track, whatever artist it is told with: quit() compares them all.
    const std::string track = line.substr(0, line.find(" by "));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lines().empty() && lines().back().starts_with(track); }, 30000))
        << "after Next got " << testing::PrintToString(lines());
  }
  const int searched = 1 + static_cast<int>(next.size()) + 1;
  EXPECT_TRUE(QTest::qWaitFor([&] { return searches() - searchesFrom_ == searched; }, 10000));
  EXPECT_EQ(searches() - searchesFrom_, searched) << "one search for each Playing";
  const auto artworkFound = [&] { return static_cast<int>(app_->standardOutput().count("Artwork found for ")); };
  static_cast<void>(QTest::qWaitFor([&] { return artworkFound() == found; }, 10000));
  EXPECT_EQ(artworkFound(), found) << app_->standardOutput().toStdString();
  quit(player, run, expected);
}

INSTANTIATE_TEST_SUITE_P(Players, RealPlayer, testing::ValuesIn(kPlayers),
                         [](const testing::TestParamInfo<Player>& info) { return std::string(info.param.name); });

// The player that starts playing takes over; when it pauses, the other one,
// still playing, is shown again.
TEST_F(RealPlayers, TwoPlayersAtOnce) {
  const Player& mpv = kPlayers[0];
  const Player& audacious = kPlayers[2];
  for (const Player& player : {mpv, audacious}) {
    if (QStandardPaths::findExecutable(player.program).isEmpty()) GTEST_SKIP() << player.program << " is not installed";
  }
  PlayerRun& mpvRun = start(mpv, {app_->tracks()[0]});
  ASSERT_TRUE(waitForLine(playing("Red")));
  start(audacious, {app_->tracks()[2]});
  ASSERT_TRUE(waitForLine(playing("Blue")));
  call(audacious, "Pause");
  ASSERT_TRUE(waitForLine(playing("Red")));
  quit(mpv, mpvRun, {playing("Red"), playing("Blue"), playing("Red")});
}

}  // namespace
