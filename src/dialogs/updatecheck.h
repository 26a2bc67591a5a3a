#pragma once

#include <QString>
#include <QUrl>

// What one tick of the Options dialog's update timer does, decided from the
// step count and the title last read, so that the sequence can be followed
// without a window or a network.
namespace updatecheck {

inline const QString kCheckCaption = QStringLiteral("Check For Update");
inline const QString kDownloadCaption = QStringLiteral("Download Update");

inline const QString kContacting = QStringLiteral(" Contacting RO Vodadud server...");
inline const QString kAvailable = QStringLiteral(" Update available!");
inline const QString kLatest = QStringLiteral(" You are running the latest version");
inline const QString kUnreachable = QStringLiteral(" Unable to find RO Vodadud server");
inline const QString kDownloading = QStringLiteral(" Downloading Update...");
inline const QString kCannotRun = QStringLiteral(" The update check cannot run");

// The titles the status page answers with; anything else means no answer.
inline const QString kTitleAvailable = QStringLiteral("Update Available");
inline const QString kTitleLatest = QStringLiteral("No Update Available");

// The base address the program was built with.
QString defaultBase();
QUrl statusPage(const QString &base);
QUrl downloadPage(const QString &base);

enum class Action
{
    Nothing,
    Contact,   // show `message` and ask for the status page
    ReadTitle, // keep the title of whatever has arrived by now
    Conclude,  // show `message`, set the button, stop the timer
};

struct Tick
{
    Action action = Action::Nothing;
    QString message;
    bool buttonEnabled = false;
    QString caption;

    friend bool operator==(const Tick &, const Tick &) = default;
};

Tick tick(qint16 step, const QString &title);

// The next step count; it stays at the largest value rather than wrapping
// round to a negative one and starting the sequence again.
qint16 advance(qint16 step);

} // namespace updatecheck
