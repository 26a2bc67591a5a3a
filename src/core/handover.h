#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

// A second start of the program on the same notes hands over to the bar that
// already runs there, which then comes forward with the keyboard: starting
// the program again (a launcher, a key bound to it) is how the keyboard
// reaches a bar that otherwise never takes it by itself.
//
// The channel is one per notes folder and user: a socket in the user's
// runtime folder on Linux, a named pipe that only this user may open on
// Windows. It wakes the bar only when a message arrives. What arrives is
// outside input: anything but a well-formed message from this user is
// dropped.
namespace handover {

// The longest message, and the longest launch id in one.
constexpr qsizetype kMaxMessage = 300;
constexpr qsizetype kMaxLaunchId = 255;

// What the launcher that started this process gave it to pass on: its
// startup notification id (DESKTOP_STARTUP_ID) or activation token
// (XDG_ACTIVATION_TOKEN); empty when there is none or it is malformed.
// Read it before the application object exists: Qt's X11 platform takes
// the startup id out of the environment.
QByteArray launchIdFromEnvironment();

// Printable ASCII, 1 to kMaxLaunchId bytes.
bool isLaunchId(QByteArrayView id);
QByteArray encode(QByteArrayView launchId);
// The launch id the message carries (empty for none); nothing when the
// message is not one.
std::optional<QByteArray> decode(QByteArrayView message);
// The X server time of the user's action that a startup id ends with
// ("..._TIME<time>"), if it carries one.
std::optional<quint32> launchTime(QByteArrayView launchId);

// Where the bar that uses `dataFolder` listens, for this user; empty when
// this system gives no place for it (the reason in `why`).
QString endpointFor(const QString &dataFolder, QString *why = nullptr);

enum class Sent
{
    HandedOver,
    NobodyListens, // no bar listens there (none runs, or it was killed)
    Refused,       // something else is there, or it would not take it; `why` says
};
Sent send(const QString &endpoint, QByteArrayView message, QString *why);

} // namespace handover

// The running bar's end of the channel.
class HandOverListener : public QObject
{
    Q_OBJECT
public:
    explicit HandOverListener(QString endpoint, QObject *parent = nullptr);
    ~HandOverListener() override;

    // False, with the reason, when the bar cannot be reached this way.
    bool listen(QString *why);

Q_SIGNALS:
    // A second start asked for the bar; `launchId` as its launcher gave it.
    void requested(const QByteArray &launchId);

private:
    void take(QByteArrayView message);

    struct Channel;
    QString m_endpoint;
    std::unique_ptr<Channel> m_channel;
};
