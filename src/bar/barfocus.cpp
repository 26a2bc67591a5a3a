#include "barfocus.h"

#include "core/desktop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
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

void BarFocus::addToBody(QWidget *control)
{
    m_body.append(control);
    showBody(control);
}

void BarFocus::opening()
{
    m_bodyShown = true;
    for (QWidget *control : std::as_const(m_body))
        showBody(control);
    setTabOrder(m_order);
}

void BarFocus::setTabOrder(const QList<QWidget *> &order)
{
    m_order = order;
    // Qt orders only controls that take the focus: the body's, once shown.
    if (m_bodyShown) {
        for (qsizetype i = 1; i < order.size(); ++i)
            QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void BarFocus::shut(QWidget *onStrip)
{
    QWidget *focus = m_bar->focusWidget();
    for (QWidget *control : std::as_const(m_body)) {
        if (focus && (focus == control || control->isAncestorOf(focus)))
            onStrip->setFocus(Qt::OtherFocusReason);
    }
    m_bodyShown = false;
    for (QWidget *control : std::as_const(m_body))
        showBody(control);
    acceptFocus(false);
}

void BarFocus::showBody(QWidget *control)
{
    // Hidden alone, a control could still be pressed or take the keyboard
    // when an assistive tool asks for it, and tools would call it focusable:
    // it is disabled, and takes no focus, until it is shown again.
    QList<QWidget *> controls = control->findChildren<QWidget *>();
    controls.prepend(control);
    for (QWidget *c : std::as_const(controls)) {
        if (m_bodyShown) {
            if (const auto policy = m_policies.find(c); policy != m_policies.end()) {
                c->setFocusPolicy(Qt::FocusPolicy(*policy));
                m_policies.erase(policy);
            }
        } else if (c->focusPolicy() != Qt::NoFocus) {
            m_policies.insert(c, c->focusPolicy());
            c->setFocusPolicy(Qt::NoFocus);
        }
    }
    control->setEnabled(m_bodyShown);
    control->setVisible(m_bodyShown);
}

void BarFocus::letCtrlTabLeave(QWidget *pad)
{
    m_pad = pad;
    pad->installEventFilter(this);
}

bool BarFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar) {
        if (event->type() == QEvent::ActivationChange && !m_bar->isActiveWindow())
            acceptFocus(false);
        return false;
    }
    if (watched == m_pad) {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->modifiers().testFlag(Qt::ControlModifier) ||
            (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab))
            return false;
        // The bar moves the focus on as it does for a plain Tab.
        const bool back = key->key() == Qt::Key_Backtab || key->modifiers() & Qt::ShiftModifier;
        QKeyEvent tab(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab,
                      back ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::sendEvent(m_bar, &tab);
        return true;
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
