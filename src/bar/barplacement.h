#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

// The bar's place and size. Heights come in twips and are read back through
// the window's whole pixels; the place is always the one the settings'
// rule gives, never what a window manager made of it.
class BarPlacement
{
public:
    explicit BarPlacement(QWidget &window) : m_window(window) {}

    int heightTwips() const;
    int setHeightTwips(int twips);
    void setLeftTopTwips(double left, double top);
    // Left is the primary screen's right edge less `posFromRight`, Top is the
    // screen's top plus `posTop`, wherever that screen lies on the desktop.
    void placeOnScreen(qint16 posFromRight, qint16 posTop);
    void setSize(QSize size);
    // Where the bar is meant to be, in pixels of the virtual desktop.
    QPoint place() const { return m_place; }

private:
    QWidget &m_window;
    QPoint m_place;
    bool m_placed = false;
};
