#include "designfonts.h"

#include <QMessageBox>

void showWarning(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("QKS Marglet"), message,
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
