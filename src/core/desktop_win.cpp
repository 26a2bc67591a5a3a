// The bar and its dialogs among the windows of a Windows desktop.
#include "desktop.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <windows.h>

void keepOutOfTaskbar(QWidget *window)
{
    // The taskbar shows a button for every unowned window that is not a
    // tool window. An owner that is never shown takes the button away and
    // leaves the window ordinary otherwise: the owner is what stays above
    // its owned windows, and it is never seen, so the topmost bar still
    // stays above the dialog. One owner per window, gone with it.
    if (window->windowType() == Qt::Tool)
        return; // a tool window has no button already
    auto *owner = new QWindow;
    owner->setFlags(Qt::Tool | Qt::FramelessWindowHint);
    owner->create();
    QObject::connect(window, &QObject::destroyed, owner, [owner] { delete owner; });
    window->winId();
    window->windowHandle()->setTransientParent(owner);
}

Qt::WindowFlags barWindowType()
{
    // A frameless window that is never activated on its own (the bar is
    // shown without taking the keyboard) is one Wine leaves unmanaged on
    // X11, above nothing in particular; a system menu makes it a managed
    // window that the desktop keeps above. On Windows the menu only adds
    // Alt+Space's Move and Close, which close the bar the usual way.
    return Qt::Tool | Qt::WindowSystemMenuHint;
}

Qt::WindowType dialogWindowType(Qt::WindowType native)
{
    return native;
}

void makeTopmost(QWidget *window)
{
    // The band is a property the system keeps for the window from now on,
    // hidden or shown; the stay-on-top hint keeps Qt from taking it back
    // when it changes the window's flags. Without SWP_NOACTIVATE the call
    // would also make the bar the foreground window, and take the keyboard
    // from the program the user is typing in whenever the bar starts.
    ::SetWindowPos(reinterpret_cast<HWND>(window->winId()), HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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

void takeFocusOnlyWhenGiven(QWidget *)
{
    // The system has no such offer.
}

void bringForward(QWidget *window, const QByteArray &)
{
    // The second start has let this process take the foreground
    // (AllowSetForegroundWindow); without that the system only flashes it.
    const auto hwnd = reinterpret_cast<HWND>(window->winId());
    ::SetForegroundWindow(hwnd);
    window->activateWindow();
}

quintptr foreignFocusWindow()
{
    // Without the system's own windows (an offscreen Qt), no window of the
    // system's is ours, and its word says nothing about the program.
    if (QGuiApplication::platformName() != u"windows")
        return 0;
    HWND window = ::GetForegroundWindow();
    DWORD process = 0;
    if (!window || !::GetWindowThreadProcessId(window, &process) ||
        process == ::GetCurrentProcessId())
        return 0;
    return reinterpret_cast<quintptr>(window);
}

void focusForeignWindow(quintptr window)
{
    // Allowed: the closing dialog is the foreground window, and the user's
    // key or click closed it.
    const auto hwnd = reinterpret_cast<HWND>(window);
    if (::IsWindow(hwnd))
        ::SetForegroundWindow(hwnd);
}
