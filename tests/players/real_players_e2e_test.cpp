// Real MPRIS players, each playing a small library headless, with the bridge
// and the application: what the application is told (the notifications on
// the bus) and how often it searches (its lines on standard output), through
// play, pause, resume, next and quit. One row of the table for each player:
// how to start it on a list of files; the MPRIS calls that drive it are the
// same for all.
//
// Run on a virtual display and a private bus that admits other users (see
// CMakeLists.txt): as root the players run as the unprivileged user
// "sonvetta-test", for VLC refuses root.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

#include "bridge_process.h"
#include "notification_recorder.h"
#include "platform/notifications/dbus_post.h"
#include "tagged_audio.h"
#include "temporary_folder.h"

namespace {

namespace fs = std::filesystem;
using sonvetta_test::waitUntil;
using namespace std::chrono_literals;

constexpr char kUser[] = "sonvetta-test";
constexpr char kProbe[] = "Probe";
constexpr char kSearchStart[] = "Attempting to find artwork in local Music library...";

// Two minutes of silence in MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz):
// a file of a fraction of a second ends before a player has said a word.
std::string silence() {
  std::string frame(417, '\0');
  frame.replace(0, 4, "\xFF\xFB\x90\x00", 4);
  std::string frames;
  for (int i = 0; i < 120 * 44100 / 1152; ++i) frames += frame;
  return frames;
}

// The library in ~/Music, linked as ~/Music/Music, as the README tells Linux
// users: three tagged tracks with pictures, and one without tags.
class Library {
 public:
  explicit Library(const fs::path& home) : album_(home / "Music" / "Demo Band" / "Hues") {
    fs::create_directories(album_);
    fs::create_directory_symlink(home / "Music", home / "Music" / "Music");
    const std::string frames = silence();
    for (const char* title : {"Red", "Grün", "Blue"}) {
      const fs::path file = album_ / (std::string(kNumbers.at(title)) + " " + title + ".mp3");
      sonvetta::testdata::writeTaggedAudio(file, sonvetta::testdata::AudioFormat::mp3ID3v24,
                                           sonvetta::testdata::trackTags("Demo Band", "Hues", title,
                                                                         sonvetta::testdata::solidPicture("red", "PNG")));
      std::ofstream(file, std::ios::binary | std::ios::app) << frames;
      files_.push_back(file);
    }
    std::ofstream(album_ / "04 No Tags.mp3", std::ios::binary) << frames;
    files_.push_back(album_ / "04 No Tags.mp3");
  }

  const std::vector<fs::path>& files() const { return files_; }
  const fs::path& album() const { return album_; }

 private:
  static inline const std::map<std::string, const char*> kNumbers{{"Red", "01"}, {"Grün", "02"}, {"Blue", "03"}};
  fs::path album_;
  std::vector<fs::path> files_;
};

// What the application is told, one line a notification: the state, the name,
// and for tagged tracks artist and album (players differ on what they make of
// an untagged file besides its name).
std::string lineOf(const platform::Notification& notification) {
  const auto text = [&](const char* key) { return notification.text(key).value_or("-"); };
  std::string line = text("Player State") + " " + text("Name");
  if (line.ends_with(" Red") || line.ends_with(" Grün") || line.ends_with(" Blue")) {
    line += " by " + text("Artist") + " on " + text("Album");
  }
  return line;
}

bool isPlaying(const std::string& line) { return line.starts_with("Playing "); }

std::string playing(const std::string& title) {
  return "Playing " + title + (title == "04 No Tags" ? "" : " by Demo Band on Hues");
}

bool runsAsOtherUser() { return geteuid() == 0; }

// The unprivileged user that players run as under root, made when missing.
bool haveUser() {
  QProcess id;
  id.setStandardOutputFile(QProcess::nullDevice());
  id.start("id", {"-u", kUser});
  if (id.waitForFinished() && id.exitCode() == 0) return true;
  return QProcess::execute("useradd", {"--system", "--no-create-home", "--home-dir", "/nonexistent", "--shell",
                                       "/usr/sbin/nologin", kUser}) == 0;
}

// One player's programs, their home folder and their output, which a failed
// test shows.
class PlayerRun {
 public:
  explicit PlayerRun(const fs::path& home) : home_(home) {
    fs::create_directories(home_ / "runtime");
    fs::permissions(home_ / "runtime", fs::perms::owner_all);
    if (runsAsOtherUser()) QProcess::execute("chown", {"-R", kUser, QString::fromStdString(home_.string())});
  }
  ~PlayerRun() { stop(); }

  void stop() {
    for (auto& process : processes_) {
      process->terminate();
      if (!process->waitForFinished(5000)) process->kill();
      process->waitForFinished();
    }
  }

  // Starts `program` as the player's user, in its home folder.
  QProcess& start(const QString& program, const QStringList& arguments, const QStringList& environment = {}) {
    auto& process = *processes_.emplace_back(std::make_unique<QProcess>());
    QStringList command = {program};
    command += arguments;
    if (runsAsOtherUser()) {
      command = QStringList{"--reuid", kUser, "--regid", kUser, "--init-groups", "--inh-caps=-all"} + command;
      command.prepend("setpriv");
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert("HOME", path());
    variables.insert("XDG_RUNTIME_DIR", path("runtime"));
    for (const QString& variable : environment) variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory(path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(path(QString("output-%1.log").arg(processes_.size())), QIODevice::Append);
    process.start(command.takeFirst(), command);
    process.waitForStarted();
    return process;
  }

  // Runs `program` to its end as above; whether it succeeded.
  bool run(const QString& program, const QStringList& arguments, const QStringList& environment = {}) {
    QProcess& process = start(program, arguments, environment);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  }

  void write(const QString& relative, const std::string& text) {
    fs::create_directories(fs::path(path(relative).toStdString()).parent_path());
    std::ofstream(path(relative).toStdString()) << text;
    if (runsAsOtherUser()) QProcess::execute("chown", {"-R", kUser, path()});
  }

  QString path(const QString& relative = {}) const {
    return QString::fromStdString((home_ / relative.toStdString()).string());
  }

  void printOutput() const {
    for (std::size_t i = 1; i <= processes_.size(); ++i) {
      QFile log(path(QString("output-%1.log").arg(i)));
      if (log.open(QIODevice::ReadOnly)) std::printf("--- player output %zu:\n%s\n", i, log.readAll().right(3000).constData());
    }
  }

 private:
  fs::path home_;
  std::vector<std::unique_ptr<QProcess>> processes_;
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
void startMpd(PlayerRun& run, const std::vector<fs::path>& files) {
  const QString socket = run.path("mpd.socket");
  const fs::path music = files.front().parent_path();
  run.write("mpd.conf", "music_directory \"" + music.string() + "\"\ndb_file \"" + run.path("mpd.db").toStdString() +
                            "\"\nbind_to_address \"" + socket.toStdString() +
                            "\"\naudio_output {\n  type \"null\"\n  name \"null\"\n}\n");
  run.write(".config/mpDris2/mpDris2.conf",
            "[Connection]\nhost = " + socket.toStdString() + "\nmusic_dir = " + music.string() + "\n");
  run.start("mpd", {"--no-daemon", run.path("mpd.conf")});
  const auto mpc = [&](const QStringList& arguments) { return run.run("mpc", QStringList{"-q", "-h", socket} + arguments); };
  waitUntil([&] { return mpc({"status"}); }, 20s);
  mpc({"--wait", "update"});
  for (const fs::path& file : files) mpc({"add", QString::fromStdString(file.filename().string())});
  run.start("mpDris2", {});
}

void startQuodLibet(PlayerRun& run, const std::vector<fs::path>& files) {
  run.write(".config/quodlibet/config",
            "[plugins]\nactive_plugins = mpris\n\n[player]\ngst_pipeline = fakesink sync=true\n");
  run.start("quodlibet", {});
  waitUntil([] { return isOnBus("org.mpris.MediaPlayer2.quodlibet"); }, 30s);
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
  waitUntil([] { return isOnBus("org.mpris.MediaPlayer2.rhythmbox"); }, 30s);
  // It takes URIs only; the rest are queued once it plays the first.
  QStringList uris;
  for (const QString& path : paths(files)) uris.push_back(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
  run.run("rhythmbox-client", {"--no-start", "--play-uri=" + uris.takeFirst()}, settings);
  waitUntil([] {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        "org.mpris.MediaPlayer2.rhythmbox", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get")
        << QString("org.mpris.MediaPlayer2.Player") << QString("PlaybackStatus"));
    return reply.arguments().value(0).value<QDBusVariant>().variant() == "Playing";
  }, 30s);
  if (!uris.isEmpty()) run.run("rhythmbox-client", QStringList{"--no-start", "--enqueue"} + uris, settings);
  // Files new to its library join the queue only once imported, which it
  // begins a moment later; a Next before that finds the queue empty and
  // stops.
  waitUntil([&] {
    return std::all_of(uris.begin(), uris.end(), [](const QString& uri) {
      QDBusMessage lookUp = QDBusMessage::createMethodCall(
          "org.gnome.Rhythmbox3", "/org/gnome/Rhythmbox3/RhythmDB", "org.gnome.Rhythmbox3.RhythmDB", "GetEntryProperties");
      return QDBusConnection::sessionBus().call(lookUp << uri).type() == QDBusMessage::ReplyMessage;
    });
  }, 20s);
}

struct Player {
  const char* name;  // the element after org.mpris.MediaPlayer2
  const char* program;
  std::function<void(PlayerRun&, const std::vector<fs::path>&)> start;
  bool needsPlay;  // it loads the files but waits for Play
};

void PrintTo(const Player& player, std::ostream* out) { *out << player.name; }

const Player kPlayers[] = {
    {"mpv", "mpv",
     [](PlayerRun& run, const std::vector<fs::path>& files) {
       run.start("mpv", QStringList{"--ao=null", "--no-video", "--no-terminal", "--idle=no", "--no-config",
                                    "--script=/usr/lib/mpv-mpris/mpris.so"} +
                            paths(files));
     },
     false},
    {"vlc", "cvlc",
     [](PlayerRun& run, const std::vector<fs::path>& files) {
       run.start("cvlc", QStringList{"--intf", "dummy", "--aout", "dummy", "--no-video", "--control", "dbus",
                                     "--no-loop", "--no-repeat", "--no-random"} +
                             paths(files));
     },
     false},
    {"audacious", "audacious", startAudacious, false},
    {"mpd", "mpDris2", startMpd, true},
    {"quodlibet", "quodlibet", startQuodLibet, false},
    {"strawberry", "strawberry",
     [](PlayerRun& run, const std::vector<fs::path>& files) { run.start("strawberry", QStringList{"-l"} + paths(files)); },
     true},
    {"rhythmbox", "rhythmbox", startRhythmbox, false},
};

class RealPlayers : public testing::Test {
 protected:
  void SetUp() override {
    if (runsAsOtherUser() && !haveUser()) GTEST_SKIP() << "no unprivileged user " << kUser << " to run players as";
    fs::permissions(folder_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    startApplication();
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const auto& run : runs_) run->printOutput();
    }
    runs_.clear();
    app_.kill();
    app_.waitForFinished(5000);
  }

  // The application and the bridge; returns once the application listens,
  // which it shows by searching for a probe track.
  void startApplication() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home_.string()));
    app_.setProcessEnvironment(environment);
    app_.start(SONVETTA, {});
    ASSERT_TRUE(app_.waitForStarted(10000));
    const bool listening = waitUntil(
        [&] {
          platform::postNotification(QDBusConnection::sessionBus(), "com.apple.iTunes.playerInfo",
                                     {{"Player State", "Playing"}, {"Name", kProbe}});
          return waitUntil([&] { return searches() > 0; }, 500ms);
        },
        30s);
    ASSERT_TRUE(listening) << "the application never searched";
    // Players come after it; it reads those already there when it starts.
    bridge_.emplace();
    searchesFrom_ = searches();
  }

  // Starts `player` on `files` and waits until its MPRIS name is on the bus.
  PlayerRun& start(const Player& player, const std::vector<fs::path>& files) {
    PlayerRun& run = *runs_.emplace_back(std::make_unique<PlayerRun>(folder_.path() / player.name));
    player.start(run, files);
    EXPECT_TRUE(waitUntil([&] { return isOnBus(busName(player)); }, 30s)) << player.name << " never took its MPRIS name";
    return run;
  }

  // Tells the player `method` until the application is told `line`: a
  // player that has just started may not be ready for it (Strawberry lets a
  // Pause that comes at once pass). Only for Play and Pause, which can be
  // repeated.
  bool insist(const Player& player, const char* method, const std::string& line) {
    return waitUntil(
        [&] {
          call(player, method);
          return waitUntil([&] { return !lines().empty() && lines().back() == line; }, 2s);
        },
        30s);
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
      if (notification.text("Name") != kProbe) lines.push_back(lineOf(notification));
    }
    return lines;
  }

  // Waits until the application was last told `line`.
  bool waitForLine(const std::string& line) {
    return waitUntil([&] { return !lines().empty() && lines().back() == line; }, 30s);
  }

  int searches() {
    output_ += QString::fromUtf8(app_.readAllStandardOutput());
    return static_cast<int>(output_.count(kSearchStart));
  }

  sonvetta::testdata::TemporaryFolder folder_;
  fs::path home_ = folder_.path() / "home";
  Library library_{home_};
  sonvetta_test::NotificationRecorder recorder_{{"com.apple.iTunes.playerInfo"}};
  QProcess app_;
  QString output_;
  std::optional<sonvetta_test::BridgeProcess> bridge_;
  std::vector<std::unique_ptr<PlayerRun>> runs_;
  int searchesFrom_ = 0;
};

class RealPlayer : public RealPlayers, public testing::WithParamInterface<Player> {};

TEST_P(RealPlayer, TellsEachTrackOnceWithNothingInBetween) {
  const Player& player = GetParam();
  if (QStandardPaths::findExecutable(player.program).isEmpty()) GTEST_SKIP() << player.program << " is not installed";
  PlayerRun& run = start(player, library_.files());
  const bool started = player.needsPlay ? insist(player, "Play", playing("Red")) : waitForLine(playing("Red"));
  ASSERT_TRUE(started) << testing::PrintToString(lines());
  ASSERT_TRUE(insist(player, "Pause", "Paused Red by Demo Band on Hues")) << testing::PrintToString(lines());
  ASSERT_TRUE(insist(player, "Play", playing("Red"))) << testing::PrintToString(lines());
  std::vector<std::string> expected = {playing("Red"), "Paused Red by Demo Band on Hues", playing("Red")};
  for (const char* title : {"Grün", "Blue", "04 No Tags"}) {
    call(player, "Next");
    expected.push_back(playing(title));
    ASSERT_TRUE(waitForLine(playing(title))) << "after Next got " << testing::PrintToString(lines());
  }
  EXPECT_TRUE(waitUntil([&] { return searches() - searchesFrom_ == 5; }, 10s));
  EXPECT_EQ(searches() - searchesFrom_, 5) << "one search for each Playing";
  EXPECT_EQ(output_.count("Artwork found for "), 4) << output_.toStdString();
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
  PlayerRun& mpvRun = start(mpv, {library_.files()[0]});
  ASSERT_TRUE(waitForLine(playing("Red")));
  start(audacious, {library_.files()[2]});
  ASSERT_TRUE(waitForLine(playing("Blue")));
  call(audacious, "Pause");
  ASSERT_TRUE(waitForLine(playing("Red")));
  quit(mpv, mpvRun, {playing("Red"), playing("Blue"), playing("Red")});
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
