#include "handover.h"

#include <QtGlobal>

#include <algorithm>

namespace {

constexpr QByteArrayView kPrefix = "marglet:bring";

} // namespace

namespace handover {

QByteArray launchIdFromEnvironment()
{
    // A startup id carries the time of the user's action; a token does not.
    for (const char *name : {"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"}) {
        const QByteArray id = qgetenv(name);
        if (isLaunchId(id))
            return id;
    }
    return {};
}

bool isLaunchId(QByteArrayView id)
{
    if (id.isEmpty() || id.size() > kMaxLaunchId)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

QByteArray encode(QByteArrayView launchId)
{
    QByteArray message = kPrefix.toByteArray();
    if (isLaunchId(launchId))
        message += ' ' + launchId.toByteArray();
    return message;
}

std::optional<QByteArray> decode(QByteArrayView message)
{
    if (!message.startsWith(kPrefix))
        return std::nullopt;
    const QByteArrayView rest = message.sliced(kPrefix.size());
    if (rest.isEmpty())
        return QByteArray();
    if (rest.front() != ' ' || !isLaunchId(rest.sliced(1)))
        return std::nullopt;
    return rest.sliced(1).toByteArray();
}

std::optional<quint32> launchTime(QByteArrayView launchId)
{
    const qsizetype at = launchId.lastIndexOf(QByteArrayView("_TIME"));
    if (at < 0)
        return std::nullopt;
    const QByteArrayView digits = launchId.sliced(at + 5);
    if (digits.isEmpty() || digits.size() > 10 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool ok = false;
    const qulonglong time = digits.toULongLong(&ok);
    // Zero is no time: it asks a window manager not to activate.
    if (!ok || time == 0 || time > 0xffffffffULL)
        return std::nullopt;
    return quint32(time);
}

} // namespace handover

void HandOverListener::take(QByteArrayView message)
{
    if (const std::optional<QByteArray> launchId = handover::decode(message))
        Q_EMIT requested(*launchId);
    else
        qWarning("marglet: a message that is no request to come forward was dropped");
}
