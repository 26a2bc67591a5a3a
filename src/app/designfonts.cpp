#include "designfonts.h"

#include <QMessageBox>

void showWarning(const QString &message)
{
    // Also where a session's messages are kept: a box can be closed unread.
    qWarning("marglet: %s", qUtf8Printable(message));
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("QKS Marglet"), message,
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
