#include "notesaver.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

NoteSaver::NoteSaver(QString dataFolder, TextOf textOf, std::chrono::milliseconds delay,
                     QObject *parent)
    : QObject(parent), m_dataFolder(std::move(dataFolder)), m_textOf(std::move(textOf))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delay);
    connect(&m_timer, &QTimer::timeout, this, &NoteSaver::saveNow);
}

void NoteSaver::markChanged(int note)
{
    if (note < 1 || note > notefiles::kNoteCount)
        return;
    m_dirty[note - 1] = true;
    m_timer.start();
}

bool NoteSaver::saveNow()
{
    m_timer.stop();
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        const auto i = std::size_t(note - 1);
        if (!m_dirty[i])
            continue;
        QString why;
        if (notefiles::saveNote(notefiles::notePath(m_dataFolder, note), m_textOf(note), &why)) {
            m_dirty[i] = false;
            m_lastFailure[i].clear();
            continue;
        }
        const QString message = QCoreApplication::translate("Notes", "Note %1 was not saved. %2")
                                    .arg(QStringLiteral("%1").arg(note, 2, 10, QChar(u'0')), why);
        // Remembered before it is said, so that a save started from a slot
        // of the signal does not say it again.
        if (message != m_lastFailure[i]) {
            m_lastFailure[i] = message;
            Q_EMIT saveFailed(note, message);
        }
    }
    return !hasUnsaved();
}

bool NoteSaver::hasUnsaved() const
{
    return std::find(m_dirty.begin(), m_dirty.end(), true) != m_dirty.end();
}

bool NoteSaver::isDirty(int note) const
{
    return note >= 1 && note <= notefiles::kNoteCount && m_dirty[std::size_t(note - 1)];
}
