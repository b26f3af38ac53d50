#include "platform/statusbar/wayland/sway_bar.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t subscribeTo = 2;
constexpr std::uint32_t getOutputs = 3;
constexpr std::uint32_t getBarConfig = 6;
constexpr std::uint32_t barConfigUpdate = 0x80000004;
// sway answers at once; a compositor that does not is not waited for.
constexpr int answerTimeout = 500;

}  // namespace

// One connection to sway's IPC socket, closed with it.
class SwayIpc {
 public:
  struct Message {
    std::uint32_t type;
    QByteArray payload;
  };

  explicit SwayIpc(const QByteArray& path) : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_ < 0 || path.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) close();
  }
  ~SwayIpc() { close(); }
  SwayIpc(const SwayIpc&) = delete;
  SwayIpc& operator=(const SwayIpc&) = delete;

  int descriptor() const { return socket_; }

  // sway's answer to the message of `type` with `payload`; none when it
  // gives none. Events that come before it are passed over: the answer
  // already tells what they would.
  std::optional<QByteArray> ask(std::uint32_t type, const QByteArray& payload = {}) {
    if (!send(type, payload)) return std::nullopt;
    for (std::optional<Message> answer = receive(); answer; answer = receive()) {
      if (answer->type == type) return std::move(answer->payload);
    }
    return std::nullopt;
  }

  // Whether something has arrived, or the connection has ended.
  bool hasArrived() const {
    pollfd readable{socket_, POLLIN, 0};
    return socket_ >= 0 && ::poll(&readable, 1, 0) == 1;
  }

  // The next message; none once the connection has ended, which it then is.
  std::optional<Message> receive() {
    const std::optional<QByteArray> header = read(sizeof magic + 8);
    if (!header || std::memcmp(header->constData(), magic, sizeof magic) != 0) return closed();
    std::optional<QByteArray> payload = read(qFromLittleEndian<std::uint32_t>(header->constData() + sizeof magic));
    if (!payload) return closed();
    return Message{qFromLittleEndian<std::uint32_t>(header->constData() + sizeof magic + 4), std::move(*payload)};
  }

 private:
  bool send(std::uint32_t type, const QByteArray& payload) {
    QByteArray message(magic, sizeof magic);
    message.append(8, '\0');
    qToLittleEndian(static_cast<std::uint32_t>(payload.size()), message.data() + sizeof magic);
    qToLittleEndian(type, message.data() + sizeof magic + 4);
    message.append(payload);
    return socket_ >= 0 && ::write(socket_, message.constData(), static_cast<std::size_t>(message.size())) == message.size();
  }
  std::optional<QByteArray> read(std::size_t length) {
    QByteArray data(static_cast<qsizetype>(length), '\0');
    std::size_t got = 0;
    while (got < length) {
      pollfd readable{socket_, POLLIN, 0};
      if (::poll(&readable, 1, answerTimeout) != 1) return std::nullopt;
      const ssize_t count = ::read(socket_, data.data() + got, length - got);
      if (count <= 0) return std::nullopt;
      got += static_cast<std::size_t>(count);
    }
    return data;
  }
  std::nullopt_t closed() {
    close();
    return std::nullopt;
  }
  void close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
  }

  int socket_;
};

namespace {

// "#rrggbb" or "#rrggbbaa", as sway writes colours.
std::optional<QColor> colorNamed(const QString& name) {
  if (!name.startsWith('#') || (name.size() != 7 && name.size() != 9)) return std::nullopt;
  const QColor color(name.left(7));
  return color.isValid() ? std::optional(color) : std::nullopt;
}

// The output sway gives a layer surface that names none: the focused one,
// else the first that is on.
QString stripOutputIn(const QByteArray& outputs) {
  QString first;
  for (const QJsonValue value : QJsonDocument::fromJson(outputs).array()) {
    const QJsonObject output = value.toObject();
    if (!output["active"].toBool(true)) continue;
    if (output["focused"].toBool()) return output["name"].toString();
    if (first.isEmpty()) first = output["name"].toString();
  }
  return first;
}

// Whether `bar` is shown on `output`: a bar that lists no outputs is on every one.
bool shownOn(const QJsonObject& bar, const QString& output) {
  const QJsonArray outputs = bar["outputs"].toArray();
  return outputs.isEmpty() || outputs.contains("*") || outputs.contains(output);
}

}  // namespace

std::optional<SwayBar> barBesideStripIn(std::span<const QByteArray> barConfigs, const QByteArray& outputs) {
  const QString output = stripOutputIn(outputs);
  std::optional<SwayBar> beside;
  for (const QByteArray& config : barConfigs) {
    const QJsonObject bar = QJsonDocument::fromJson(config).object();
    const QString position = bar["position"].toString();
    if ((position != "top" && position != "bottom") || bar["mode"].toString() == "invisible" || !shownOn(bar, output)) {
      continue;
    }
    const SwayBar found{position == "bottom", colorNamed(bar["colors"].toObject()["background"].toString())};
    if (!found.alongBottom) return found;
    if (!beside) beside = found;
  }
  return beside;
}

std::unique_ptr<SwayBarWatch> SwayBarWatch::start() {
  const QByteArray path = qgetenv("SWAYSOCK");
  if (path.isEmpty()) return nullptr;
  auto ipc = std::make_unique<SwayIpc>(path);
  // Listening before asking, so that a bar moved in between is not missed.
  const std::optional<QByteArray> answer = ipc->ask(subscribeTo, R"(["barconfig_update"])");
  if (!answer || !QJsonDocument::fromJson(*answer)["success"].toBool()) return nullptr;
  std::unique_ptr<SwayBarWatch> watch(new SwayBarWatch(std::move(ipc)));
  watch->bar_ = watch->ask();
  return watch;
}

SwayBarWatch::SwayBarWatch(std::unique_ptr<SwayIpc> ipc) : ipc_(std::move(ipc)) {}

SwayBarWatch::~SwayBarWatch() = default;

int SwayBarWatch::descriptor() const { return ipc_->descriptor(); }

std::optional<SwayBar> SwayBarWatch::ask() {
  const std::optional<QByteArray> names = ipc_->ask(getBarConfig);
  if (!names) return std::nullopt;
  std::vector<QByteArray> configs;
  for (const QJsonValue name : QJsonDocument::fromJson(*names).array()) {
    if (const std::optional<QByteArray> config = ipc_->ask(getBarConfig, name.toString().toUtf8())) {
      configs.push_back(*config);
    }
  }
  return barBesideStripIn(configs, ipc_->ask(getOutputs).value_or(QByteArray()));
}

bool SwayBarWatch::update() {
  bool changed = false;
  while (ipc_->hasArrived()) {
    const std::optional<SwayIpc::Message> message = ipc_->receive();
    if (!message) break;
    changed = changed || message->type == barConfigUpdate;
  }
  if (!changed) return false;
  std::optional<SwayBar> bar = ask();
  if (bar == bar_) return false;
  bar_ = std::move(bar);
  return true;
}

}  // namespace platform
