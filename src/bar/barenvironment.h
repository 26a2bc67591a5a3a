#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class FileDialogSeam;

// What the user may do when closing while a note cannot be saved.
enum class CloseChoice
{
    TryAgain,
    Rescue,      // keep the text in a rescue file, then close
    KeepOpen,    // keep the bar and its text
    CloseAnyway, // only offered once a rescue file could not be written either
};

// What the bar needs from the world around it.
struct BarEnvironment
{
    QString dataFolder;    // settings.dat and the note files
    QString rescueFolder;  // where notes go that cannot be saved where they belong
    QString toldCopies;    // names the sync tools' copies already told; empty: none kept
    QStringList skinBases; // folders that hold a skins folder
    // Tells the user something went wrong; the default shows a message box.
    std::function<void(const QString &)> report;
    std::chrono::milliseconds tick{10};
    // A save follows this pause in typing; steady typing waits no longer
    // than `autosaveLimit`, and a failing save is tried again this often.
    std::chrono::milliseconds autosaveDelay{2000};
    std::chrono::milliseconds autosaveLimit{30000};
    std::chrono::milliseconds retryInterval{15000};
    // The open and save-as dialogs; the default is Qt's.
    FileDialogSeam *fileDialog = nullptr;
    // The message box of import and export: a fixed text, and the reason.
    std::function<void(const QString &text, const QString &reason)> fileError;
    // Asked when notes cannot be saved on closing. `rescueFailed` tells that
    // the last rescue file could not be written, and lets the user close
    // without saving.
    std::function<CloseChoice(const QString &problem, bool rescueFailed)> askOnClose;
};
