#include "folders.h"
#include "marglet.h"
#include "quitsignals.h"
#include "runninglock.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>

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
    RunningLock running(QDir(folders.data).filePath(QStringLiteral(".marglet.lock")));
    if (!running.tryLock()) {
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
