#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace sonvetta_test {

// An MPRIS player on a connection of its own, as a separate program would be:
// it owns org.mpris.MediaPlayer2.<name>, answers for the Player properties
// and announces changes, well-formed or not, when told to.
class FakeMprisPlayer final : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(QVariantMap Metadata READ metadata)

 public:
  FakeMprisPlayer(const QString& name, const QString& status, const QVariantMap& metadata = {});
  // Leaves the bus, as a player that quits.
  ~FakeMprisPlayer() override;

  // Sends PropertiesChanged with `changed` exactly as given; the values read
  // back later follow when they have the proper types.
  void change(const QVariantMap& changed);

  // Returns once the player has answered someone reading its properties and
  // the bus has passed the answer on.
  void waitUntilRead();

  QString playbackStatus() const {
    read_ = true;
    return status_;
  }
  QVariantMap metadata() const { return metadata_; }

 private:
  QString connectionName_;
  QString status_;
  QVariantMap metadata_;
  mutable bool read_ = false;
};

}  // namespace sonvetta_test
