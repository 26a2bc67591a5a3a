#include "folders.h"
#include "marglet.h"

#include <QApplication>

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
    QApplication::setApplicationDisplayName(QStringLiteral("QKS Marglet"));
    QApplication::setQuitOnLastWindowClosed(false);

    const Folders folders = systemFolders();
    BarEnvironment environment;
    environment.dataFolder = folders.data;
    environment.skinBases = folders.skinBases;

    MargletApp marglet(environment);
    QObject::connect(&marglet, &MargletApp::finished, &app, &QApplication::quit);
    marglet.Form_Load();
    marglet.bar().show();
    return QApplication::exec();
}
