#include "notetimer.h"

#include <QTimer>

namespace {

class QtNoteTimer : public NoteTimer
{
public:
    explicit QtNoteTimer(QObject *parent) : NoteTimer(parent)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &NoteTimer::timeout);
    }
    void start(std::chrono::milliseconds interval) override { m_timer.start(interval); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer{this};
};

} // namespace

NoteTimer *qtNoteTimer(QObject *parent)
{
    return new QtNoteTimer(parent);
}
