#include "barclosing.h"

#include "core/message.h"
#include "notes/notebook.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MargletApp", text);
}

CloseChoice askOnClose(const QString &problem, bool rescueFailed)
{
    logMessage(problem);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("QKS Marglet"), problem);
    QPushButton *retry = box.addButton(QMessageBox::tr("&Try Again"), QMessageBox::AcceptRole);
    QPushButton *last =
        rescueFailed
            ? box.addButton(QMessageBox::tr("&Close Without Saving"), QMessageBox::DestructiveRole)
            : box.addButton(QMessageBox::tr("Keep in a &Rescue File and Close"),
                            QMessageBox::ActionRole);
    QPushButton *keep =
        box.addButton(QMessageBox::tr("&Keep the Bar Open"), QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == retry)
        return CloseChoice::TryAgain;
    if (box.clickedButton() == last)
        return rescueFailed ? CloseChoice::CloseAnyway : CloseChoice::Rescue;
    return CloseChoice::KeepOpen;
}

void logWritten(const QStringList &written)
{
    logMessage(QStringLiteral("unsaved notes kept in ") + written.join(QStringLiteral(", ")));
}

} // namespace

BarClosing::BarClosing(NoteBook &notes, const BarEnvironment &environment)
    : m_notes(notes), m_rescueFolder(environment.rescueFolder),
      m_ask(environment.askOnClose ? environment.askOnClose : askOnClose)
{
}

bool BarClosing::saveNow()
{
    return m_notes.saveNow();
}

bool BarClosing::saveOrAsk()
{
    bool rescueFailed = false;
    QString rescueError;
    while (!m_notes.SaveText()) {
        const QString problem =
            rescueFailed
                ? tr("These notes could not be saved where they belong: %1.\n\n%2\n\nTry "
                     "again, keep the bar open, or close without saving them.")
                      .arg(m_notes.unsavedCaptions(), rescueError)
                : tr("These notes could not be saved where they belong: %1.\n\nTry again, or "
                     "keep their text in a new file in \"%2\" and close.")
                      .arg(m_notes.unsavedCaptions(), QDir::toNativeSeparators(m_rescueFolder));
        switch (m_ask(problem, rescueFailed)) {
        case CloseChoice::TryAgain:
            continue;
        case CloseChoice::KeepOpen:
            return false;
        case CloseChoice::CloseAnyway:
            return true;
        case CloseChoice::Rescue: {
            QStringList written;
            rescueError.clear();
            if (m_notes.rescue(&written, &rescueError)) {
                logWritten(written);
                return true;
            }
            rescueFailed = true;
            rescueError = tr("The rescue file could not be written either. %1").arg(rescueError);
            continue;
        }
        }
    }
    return true;
}

bool BarClosing::saveBeforeExit()
{
    if (m_ended || m_notes.saveNow())
        return !m_notes.hasUnsaved();
    // Nobody may be there to ask: what cannot go to its own file goes to a
    // rescue file, and the exit status tells.
    QStringList written;
    QString error;
    if (m_notes.rescue(&written, &error)) {
        if (!written.isEmpty())
            logWritten(written);
    } else {
        logMessage(error);
    }
    return false;
}

int BarClosing::exitStatus() const
{
    return m_notes.hasUnsaved() ? 1 : 0;
}
