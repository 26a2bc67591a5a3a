#include "updatecheck.h"

#include <limits>

namespace updatecheck {

QString defaultBase()
{
    return QStringLiteral(MARGLET_UPDATE_BASE);
}

QUrl statusPage(const QString &base)
{
    return QUrl(base + QStringLiteral("/update_server/qks/marglet_v1.html"));
}

QUrl downloadPage(const QString &base)
{
    return QUrl(base + QStringLiteral("/update_server/qks/marglet_v1_update.html"));
}

Tick tick(qint16 step, const QString &title)
{
    switch (step) {
    case 0:
        return {Action::Contact, kContacting, false, {}};
    case 1:
        return {Action::ReadTitle, {}, false, {}};
    case 2:
        if (title == kTitleAvailable)
            return {Action::Conclude, kAvailable, true, kDownloadCaption};
        if (title == kTitleLatest)
            return {Action::Conclude, kLatest, false, kCheckCaption};
        return {Action::Conclude, kUnreachable, false, kCheckCaption};
    default:
        return {};
    }
}

qint16 advance(qint16 step)
{
    return step == std::numeric_limits<qint16>::max() ? step : qint16(step + 1);
}

} // namespace updatecheck
