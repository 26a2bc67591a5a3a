#include "filedialogseam.h"

#include <QStringList>

FileDialogSeam::~FileDialogSeam() = default;

std::optional<QString> LastPathFileDialog::openFile(QWidget *parent, const QString &suggestedPath,
                                                    const QString &filter)
{
    return remember(m_dialog.openFile(parent, offer(suggestedPath), filter));
}

std::optional<QString> LastPathFileDialog::saveFile(QWidget *parent, const QString &suggestedPath,
                                                    const QString &filter)
{
    return remember(m_dialog.saveFile(parent, offer(suggestedPath), filter));
}

std::optional<QString> LastPathFileDialog::remember(std::optional<QString> chosen)
{
    if (chosen && !chosen->isEmpty())
        m_lastPath = *chosen;
    return chosen;
}

QString LastPathFileDialog::offer(const QString &suggestedPath) const
{
    return m_lastPath.isEmpty() ? suggestedPath : m_lastPath;
}

QString qtFilter(const QString &pipeFilter)
{
    const QStringList parts = pipeFilter.split(u'|');
    QStringList filters;
    // A description without its pattern is dropped: Qt would take the
    // description itself for the pattern and show no file at all.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(u';');
        for (QString &pattern : patterns)
            pattern = pattern.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            continue;
        // Qt reads the patterns from the last parentheses of the entry and
        // splits them at spaces, so those must hold the real patterns even
        // when the description shows something else in parentheses.
        const QString shown = QStringLiteral("(%1)").arg(patterns.join(u' '));
        filters.append(description.endsWith(shown) ? description
                       : description.isEmpty()     ? shown
                                                   : description + u' ' + shown);
    }
    return filters.join(QStringLiteral(";;"));
}
