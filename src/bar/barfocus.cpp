#include "barfocus.h"

#include "core/desktop.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

BarFocus::BarFocus(QWidget *bar) : QObject(bar), m_bar(bar)
{
    // Once the user has left the bar, a click on its strip must not take
    // the keyboard away from the program they went to.
    bar->installEventFilter(this);
}

void BarFocus::watch(QWidget *control, bool asksOnPress)
{
    if (asksOnPress)
        m_asksOnPress.append(control);
    control->installEventFilter(this);
}

void BarFocus::acceptFocus(bool accept)
{
    QWindow *window = m_bar->windowHandle();
    if (window && window->flags().testFlag(Qt::WindowDoesNotAcceptFocus) == accept)
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
}

void BarFocus::allowFocus()
{
    acceptFocus(true);
    // For managers that give no focus on a click (or when there is no manager).
    if (m_bar->windowHandle() && !m_bar->isActiveWindow())
        m_bar->activateWindow();
}

void BarFocus::bring(const QByteArray &launchId)
{
    acceptFocus(true);
    bringForward(m_bar, launchId);
}

void BarFocus::shut(QWidget *pad)
{
    if (pad && pad->hasFocus())
        pad->clearFocus();
    acceptFocus(false);
}

bool BarFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar) {
        if (event->type() == QEvent::ActivationChange && !m_bar->isActiveWindow())
            acceptFocus(false);
        return false;
    }
    // From the pointer's arrival on, the window accepts the keyboard, so that
    // the click that follows is one every window manager answers with the
    // focus (KWin ignores a request made after it has handled the click on a
    // window that refused it). Leaving without clicking takes that back.
    switch (event->type()) {
    case QEvent::Enter:
        acceptFocus(true);
        break;
    case QEvent::Leave:
        if (!m_bar->isActiveWindow())
            acceptFocus(false);
        break;
    case QEvent::MouseButtonPress:
        if (m_asksOnPress.contains(watched))
            allowFocus();
        break;
    default:
        break;
    }
    return false;
}
