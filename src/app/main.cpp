#include "bar/barclosing.h"
#include "core/accessibility.h"
#include "core/designfonts.h"
#include "core/folders.h"
#include "core/handover.h"
#include "core/message.h"
#include "core/platformchoice.h"
#include "core/quitsignals.h"
#include "core/runninglock.h"
#include "marglet.h"
#include "notes/notefiles.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QMessageBox>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTimer>

#include <cstdlib>
#include <utility>

namespace {

MargletApp *g_marglet = nullptr;

// Qt's X11 connection ends the process with exit() when the display goes
// away (a crashed X server, some log-outs); no Qt signal runs after it. The
// notes are saved here then: saving needs no display, and nothing may try
// to show a message any more.
void saveAtExit()
{
    if (MargletApp *marglet = std::exchange(g_marglet, nullptr)) {
        marglet->bar().reportToLogOnly();
        marglet->bar().closing().saveBeforeExit();
    }
}

QStringList carriedFiles()
{
    QStringList names{QStringLiteral("settings.dat")};
    for (int note = 1; note <= notefiles::kNoteCount; ++note)
        names.append(notefiles::noteFileName(note));
    return names;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before Qt's X11 platform takes the startup id out of the environment.
    const QByteArray launchId = handover::launchIdFromEnvironment();
    PlatformChoice platform;
#ifdef Q_OS_LINUX
    platform = choosePlatform(qgetenv("QT_QPA_PLATFORM"), !qEnvironmentVariableIsEmpty("DISPLAY"));
    if (!platform.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.platform);
    if (!platform.note.isEmpty())
        logMessage(platform.note);
#endif
    accessibility::offerToLateScreenReaders();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("marglet"));
    QApplication::setQuitOnLastWindowClosed(false);

    const Folders folders = systemFolders(carriedFiles());

    // A second bar on the same notes would save over the first one's edits;
    // the bar that is already running (and on top) is the one to use.
    RunningLock running(QDir(folders.data).filePath(QStringLiteral(".marglet.lock")));
    switch (running.tryLock()) {
    case RunningLock::Result::Acquired:
        break;
    case RunningLock::Result::HeldElsewhere: {
        qInfo("marglet: already running for %s", qUtf8Printable(folders.data));
        // Starting it again is how the user asks for that bar: it comes
        // forward with the keyboard.
        QString why;
        const QString endpoint = handover::endpointFor(folders.data, &why);
        handover::Sent sent = handover::Sent::Refused;
        if (!endpoint.isEmpty())
            sent = handover::send(endpoint, handover::encode(launchId), &why);
        if (sent == handover::Sent::NobodyListens)
            why = QApplication::translate("main", "it does not listen for other starts");
        if (sent != handover::Sent::HandedOver)
            qInfo("marglet: it could not be brought forward: %s", qUtf8Printable(why));
        return 0;
    }
    case RunningLock::Result::Failed: {
        const QString message =
            QApplication::translate("main",
                                    "Marglet cannot make sure that it is the only bar using "
                                    "the notes in \"%1\". %2\n\nIt does not start, so that two "
                                    "bars cannot write over each other's notes.")
                .arg(QDir::toNativeSeparators(folders.data), running.error());
        logMessage(message);
        QMessageBox::warning(nullptr, QStringLiteral("QKS Marglet"), message);
        return 1;
    }
    }
    // At once, so that a start made while this bar is still coming up is
    // answered as soon as it is there.
    QString why;
    HandOverListener handOver(handover::endpointFor(folders.data, &why));
    if (!why.isEmpty() || !handOver.listen(&why))
        qInfo("marglet: starting the program again cannot bring this bar forward: %s",
              qUtf8Printable(why));

    BarEnvironment environment;
    environment.dataFolder = folders.data;
    environment.rescueFolder = folders.user;
    // Kept out of the notes' folder, which a sync tool may carry to a desk
    // where nothing was told yet, and one for each notes folder.
    environment.toldCopies = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                             QStringLiteral("/copies-told-") +
                             QString::fromLatin1(QCryptographicHash::hash(folders.data.toUtf8(),
                                                                          QCryptographicHash::Sha1)
                                                     .toHex()
                                                     .left(12));
    environment.skinBases = folders.skinBases;

    MargletApp marglet(environment);
    FrmMargletQK &bar = marglet.bar();
    BarClosing &closing = bar.closing();
    QObject::connect(&bar, &FrmMargletQK::finished, &app, &QApplication::quit);
    QObject::connect(&handOver, &HandOverListener::requested, &bar, &FrmMargletQK::comeForward);

    // Log-out and shut-down: save first, and let the session wait while the
    // user decides about notes that cannot be written.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &marglet,
                     [&closing](QSessionManager &manager) {
                         if (closing.saveNow())
                             return;
                         if (!manager.allowsInteraction()) {
                             closing.saveBeforeExit();
                             return;
                         }
                         const bool saved = closing.saveOrAsk();
                         manager.release();
                         if (!saved)
                             manager.cancel();
                     });
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app, [&closing] {
        closing.saveBeforeExit();
        QApplication::exit(0);
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &marglet,
                     [&closing] { closing.saveBeforeExit(); });
    g_marglet = &marglet;
    std::atexit(saveAtExit);

    bar.Form_Load();
    bar.show();
    // Told once the bar is there to be seen beside the message.
    QStringList notices = folders.notices;
    if (!platform.warning.isEmpty())
        notices.append(platform.warning);
    for (const QString &notice : std::as_const(notices))
        QTimer::singleShot(0, &marglet, [notice] { showWarning(notice); });
    const int status = QApplication::exec();
    g_marglet = nullptr;
    return status != 0 ? status : closing.exitStatus();
}
