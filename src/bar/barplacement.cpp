#include "barplacement.h"

#include "core/desktop.h"
#include "core/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

int BarPlacement::heightTwips() const
{
    return twips::fromPixels(m_window.height());
}

int BarPlacement::setHeightTwips(int value)
{
    setSize(QSize(m_window.width(), twips::toPixels(value)));
    return heightTwips();
}

void BarPlacement::setLeftTopTwips(double left, double top)
{
    m_place = QPoint(twips::toPixels(left), twips::toPixels(top));
    m_placed = true;
    setSize(m_window.size());
}

void BarPlacement::placeOnScreen(qint16 posFromRight, qint16 posTop)
{
    // The rule counts from the primary screen's own corner, which need not
    // be the desktop's: a primary monitor on the right starts at x > 0.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    setLeftTopTwips(twips::fromPixels(area.x() + area.width()) - double(posFromRight),
                    twips::fromPixels(area.y()) + double(posTop));
}

void BarPlacement::setSize(QSize size)
{
    QWidget &w = m_window;
    const int oldHeight = w.height();
    if (!w.testAttribute(Qt::WA_WState_Created)) {
        // A place given before the window exists reaches the window manager
        // as the frame's corner (NorthWest gravity); some managers ignore a
        // first position given with Static gravity.
        w.resize(size);
        if (m_placed)
            w.move(m_place);
    } else if (m_placed) {
        // Always the place from the settings, never the position Qt read
        // back: while a manager reparents the window Qt can see the frame's
        // first corner (0,0), and a plain resize would send the bar there.
        w.setGeometry(QRect(m_place, size));
    } else {
        w.resize(size);
    }
    // The same outline, given again for each height.
    if (w.height() != oldHeight)
        giveShapeAgain(&w);
}
