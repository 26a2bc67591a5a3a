#include "desktop.h"

#include <QWidget>

void keepOutOfTaskbar(QWidget *)
{
    // A tool window has no taskbar button here already.
}

Qt::WindowFlags barWindowType()
{
    return Qt::Tool;
}

Qt::WindowType dialogWindowType(Qt::WindowType native)
{
    return native;
}

void makeTopmost(QWidget *)
{
    // The stay-on-top hint is the whole of it here.
}

void keepAboveWithoutManager(QWidget *)
{
    // The system keeps a topmost window on top by itself.
}

void giveShapeAgain(QWidget *)
{
    // The system keeps the region whole whatever the window's size.
}

QSize outerSizeBeforeShow(QWidget *window)
{
    // The frame is known once the native window exists; asking for its id
    // makes it.
    window->winId();
    return window->frameGeometry().size();
}

void takeFocusOnlyWhenGiven(QWidget *) {}

void bringForward(QWidget *window, const QByteArray &)
{
    window->raise();
    window->activateWindow();
}

quintptr foreignFocusWindow()
{
    return 0;
}

void focusForeignWindow(quintptr)
{
    // The system gives the keyboard back by itself.
}
