#pragma once

#include "filedialogseam.h"

// The real dialogs. A typed name is taken as typed, without an added
// extension, and picking an existing file to export to replaces it without a
// second question, as users of the old program are used to.
class QtFileDialog : public FileDialogSeam
{
public:
    std::optional<QString> openFile(QWidget *parent, const QString &suggestedPath,
                                    const QString &filter) override;
    std::optional<QString> saveFile(QWidget *parent, const QString &suggestedPath,
                                    const QString &filter) override;
};
