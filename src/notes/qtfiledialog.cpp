#include "qtfiledialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

std::optional<QString> run(QFileDialog &dialog, const QString &suggestedPath, const QString &filter)
{
    dialog.setDefaultSuffix(QString());
    const QString filters = qtFilter(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilter(filters);
        // The stored filters list text files first: the one to start with.
        dialog.selectNameFilter(filters.section(QStringLiteral(";;"), 0, 0));
    }
    if (!suggestedPath.isEmpty()) {
        const QFileInfo suggested(suggestedPath);
        if (suggested.isDir()) {
            dialog.setDirectory(suggested.absoluteFilePath());
        } else {
            dialog.setDirectory(suggested.absolutePath());
            dialog.selectFile(suggested.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

} // namespace

std::optional<QString> QtFileDialog::openFile(QWidget *parent, const QString &suggestedPath,
                                              const QString &filter)
{
    QFileDialog dialog(parent, QFileDialog::tr("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name that does not exist is taken too: the import then says
    // plainly that the file could not be loaded.
    dialog.setFileMode(QFileDialog::AnyFile);
    return run(dialog, suggestedPath, filter);
}

std::optional<QString> QtFileDialog::saveFile(QWidget *parent, const QString &suggestedPath,
                                              const QString &filter)
{
    QFileDialog dialog(parent, QFileDialog::tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    return run(dialog, suggestedPath, filter);
}
