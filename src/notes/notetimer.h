// The one-shot timers that the notes' saving and their following of the
// files wait on, behind a seam: the bar runs on Qt's timers, tests on a
// clock they move on themselves, so that they count ticks, not wall time.
#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class NoteTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Runs `interval` from now, from the start again when it already runs.
    virtual void start(std::chrono::milliseconds interval) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

Q_SIGNALS:
    void timeout();
};

// Makes a timer owned by `parent`.
using NoteTimers = std::function<NoteTimer *(QObject *parent)>;

// Qt's own timers.
NoteTimer *qtNoteTimer(QObject *parent);
