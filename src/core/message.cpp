#include "message.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

void logMessage(const QString &message)
{
    qWarning("marglet: %s", qUtf8Printable(message));
}

void showWarning(const QString &message)
{
    logMessage(message);
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("QKS Marglet"), message,
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    // A box still open when the program ends (a log-out, a signal) has no
    // owner to delete it, and a deferred delete would come too late.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, box, [box] { delete box; });
    box->show();
}
