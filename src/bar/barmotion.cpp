#include "barmotion.h"

#include "barlogic.h"

BarMotion::BarMotion(MotionWindow window, std::chrono::milliseconds tick, QObject *parent)
    : QObject(parent), m_window(std::move(window))
{
    for (QTimer *timer : {&TmrExpand, &TmrSetOpacity}) {
        // Coarse timers run 10 ms ticks late: a slide would take twice as long.
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(tick);
    }
    connect(&TmrExpand, &QTimer::timeout, this, &BarMotion::TmrExpand_Timer);
    connect(&TmrSetOpacity, &QTimer::timeout, this, &BarMotion::TmrSetOpacity_Timer);
    // The fade is on from the start; it settles and sleeps by itself.
    TmrSetOpacity.start();
}

void BarMotion::setFading(bool fading)
{
    m_fading = fading;
}

void BarMotion::PicMaxMin_Click()
{
    // A click during a slide leaves the running timer's phase alone: the
    // slide finishes the way it started.
    if (!TmrExpand.isActive()) {
        TmrExpand.start();
        Q_EMIT slideStarted(Expanded);
    }
    wakeFade();
}

void BarMotion::TmrExpand_Timer()
{
    const barlogic::ExpandTick tick =
        barlogic::expandTick(Expanded, m_window.heightTwips(), m_window.setHeightTwips);
    if (!tick.finished)
        return;
    Expanded = Expanded == 0 ? 1 : 0;
    TmrExpand.stop();
    m_window.showButton(Expanded == 1);
    Q_EMIT slideEnded(Expanded);
}

void BarMotion::TmrSetOpacity_Timer()
{
    if (m_fading) {
        if (const auto value = barlogic::fadeOpacity(m_window.heightPixels())) {
            Opacity = *value;
            TransparentWindow();
        }
    }
    // Once the alpha matches the band of a height that no longer moves,
    // further ticks would change nothing: sleep until a slide or new
    // settings wake the fade again.
    if (!TmrExpand.isActive())
        TmrSetOpacity.stop();
}

void BarMotion::TransparentWindow()
{
    if (m_applied == Opacity)
        return;
    m_applied = Opacity;
    m_window.setAlpha(Opacity);
}

void BarMotion::wakeFade()
{
    if (!TmrSetOpacity.isActive())
        TmrSetOpacity.start();
}
