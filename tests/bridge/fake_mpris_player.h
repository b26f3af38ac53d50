#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <memory>

class QDBusVirtualObject;

namespace sonvetta_test {

// An MPRIS player on a connection of its own, as a separate program would be:
// it owns org.mpris.MediaPlayer2.<name>, answers for the Player properties
// and announces changes, well-formed or not, when told to.
class FakeMprisPlayer final : public QObject {
  Q_OBJECT
  // Qt answers Get only for the interface the class names, whatever it was
  // registered under.
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(QVariantMap Metadata READ metadata)

 public:
  FakeMprisPlayer(const QString& name, const QString& status, const QVariantMap& metadata = {});
  // Leaves the bus, as a player that quits.
  ~FakeMprisPlayer() override;

  // Sends PropertiesChanged with `changed` exactly as given; the values read
  // back later follow when they have the proper types.
  void change(const QVariantMap& changed);
  // Takes `values` as above, but names them only as invalidated, so that
  // whoever wants them must read them.
  void invalidate(const QVariantMap& values);
  // While refusing, every read is answered with an error, as by a player
  // that is not ready yet.
  void refuseReads(bool refuse);

  // Returns once the player has answered someone reading its properties, or
  // refused to, and the bus has passed the answer on.
  void waitUntilRead();

  QString playbackStatus() const {
    read_ = true;
    return status_;
  }
  QVariantMap metadata() const { return metadata_; }

 private:
  void take(const QVariantMap& values);
  void announce(const QVariantMap& changed, const QStringList& invalidated);

  QString connectionName_;
  QString status_;
  QVariantMap metadata_;
  mutable std::atomic<bool> read_ = false;
  std::unique_ptr<QDBusVirtualObject> refusal_;
};

}  // namespace sonvetta_test
