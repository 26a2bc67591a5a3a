#pragma once

#include "notefiles.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>

// Writes the notes that changed, once typing has paused for a moment and
// whenever asked, as on closing. A note whose write fails stays unsaved and
// is tried again with the next save.
class NoteSaver : public QObject
{
    Q_OBJECT
public:
    // Returns the current text of note 1..3.
    using TextOf = std::function<QString(int note)>;

    NoteSaver(QString dataFolder, TextOf textOf,
              std::chrono::milliseconds delay = std::chrono::milliseconds(2000),
              QObject *parent = nullptr);

    // Starts the delay again: one save after the last of a burst of edits.
    void markChanged(int note);

    // True when nothing is left unsaved.
    bool saveNow();

    bool hasUnsaved() const;
    bool isDirty(int note) const;

Q_SIGNALS:
    // Said once per failure: a note that keeps failing the same way is not
    // reported again on every later attempt.
    void saveFailed(int note, const QString &message);

private:
    QString m_dataFolder;
    TextOf m_textOf;
    QTimer m_timer;
    std::array<bool, notefiles::kNoteCount> m_dirty{};
    std::array<QString, notefiles::kNoteCount> m_lastFailure;
};
