#include "folders.h"
#include "marglet.h"
#include "quitsignals.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSessionManager>

namespace {

// False when another bar holds the lock. A lock that names no owner is
// left by a start that was killed between creating the file and writing
// to it; a live start writes its owner within microseconds, so such a lock
// that has aged a few seconds is nobody's, and must not keep the bar from
// ever starting again.
bool takeRunningLock(QLockFile &lock)
{
    if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.getLockInfo(&pid, &host, &application))
        return false;
    const QFileInfo file(lock.fileName());
    if (file.lastModified().secsTo(QDateTime::currentDateTime()) < 5)
        return false;
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // The bar must sit at an exact screen position and stay on top, which a
    // Wayland session does not grant a client; X11 (or XWayland) does.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("marglet"));
    QApplication::setQuitOnLastWindowClosed(false);

    const Folders folders = systemFolders();

    // A second bar on the same notes would save over the first one's edits;
    // the bar that is already running (and on top) is the one to use.
    QLockFile running(QDir(folders.data).filePath(QStringLiteral(".marglet.lock")));
    running.setStaleLockTime(0); // only a live process holds it
    if (!takeRunningLock(running)) {
        qInfo("marglet: already running for %s", qUtf8Printable(folders.data));
        return 0;
    }
    BarEnvironment environment;
    environment.dataFolder = folders.data;
    environment.skinBases = folders.skinBases;

    MargletApp marglet(environment);
    QObject::connect(&marglet, &MargletApp::finished, &app, &QApplication::quit);

    // Log-out and shut-down: save first, and let the session wait while the
    // user decides about notes that cannot be written.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &marglet,
                     [&marglet](QSessionManager &manager) {
                         if (marglet.saveBeforeExit() || !manager.allowsInteraction())
                             return;
                         const bool saved = marglet.saveOrAsk();
                         manager.release();
                         if (!saved)
                             manager.cancel();
                     });
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &app, [&marglet] {
        marglet.saveBeforeExit();
        QApplication::exit(0);
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &marglet, &MargletApp::saveBeforeExit);

    marglet.Form_Load();
    marglet.bar().show();
    return QApplication::exec();
}
