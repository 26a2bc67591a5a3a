#pragma once

#include <QString>

#include <optional>

class QWidget;

// The file dialogs of import and export, behind a seam so that tests can
// answer them. std::nullopt means the user cancelled.
class FileDialogSeam
{
public:
    virtual ~FileDialogSeam();
    virtual std::optional<QString> openFile(QWidget *parent, const QString &suggestedPath,
                                            const QString &filter) = 0;
    virtual std::optional<QString> saveFile(QWidget *parent, const QString &suggestedPath,
                                            const QString &filter) = 0;
};

// Offers the path chosen last, by either dialog, in place of the suggestion:
// an export usually goes where the last import came from, and the other way
// round.
class LastPathFileDialog : public FileDialogSeam
{
public:
    explicit LastPathFileDialog(FileDialogSeam &dialog) : m_dialog(dialog) {}

    std::optional<QString> openFile(QWidget *parent, const QString &suggestedPath,
                                    const QString &filter) override;
    std::optional<QString> saveFile(QWidget *parent, const QString &suggestedPath,
                                    const QString &filter) override;

private:
    std::optional<QString> remember(std::optional<QString> chosen);
    QString offer(const QString &suggestedPath) const;

    FileDialogSeam &m_dialog;
    QString m_lastPath;
};

// Filters are kept in the old form, "Text files (*.txt)|*.txt|All Files
// (*.*)|*.*": pairs of description and pattern, where several patterns are
// split by ";". Qt wants "Text files (*.txt);;All Files (*.*)".
QString qtFilter(const QString &pipeFilter);
