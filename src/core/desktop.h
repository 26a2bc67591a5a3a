#pragma once

#include <QByteArray>
#include <QSize>
#include <Qt>

class QWidget;

// How the bar's windows meet the desktop's window manager.

// Asks the window manager to leave the window out of taskbars and pagers.
// Call after the window flags are final; a window not shown yet gets it when
// it is first shown.
void keepOutOfTaskbar(QWidget *window);

// The kind of window for the bar's dialogs. Where a manager stacks a
// program's tool and dialog windows above its always-on-top window (X11
// managers treat them as transient for the whole program), they become
// ordinary windows kept out of the taskbar; elsewhere `native` stays.
Qt::WindowType dialogWindowType(Qt::WindowType native);

// The kind of window for the always-on-top bar: a tool window, out of the
// taskbar. On X11 it is an ordinary window, kept out of the taskbar by its
// state: xfwm4 stacks a tool (utility) window with the program's other
// windows once the program has another one open (a dialog), and so under
// any window raised over them, always-on-top or not.
Qt::WindowFlags barWindowType();

// Puts a window not shown yet in the topmost band of the stacking order,
// where it stays once shown. Where the window system keeps that band by a
// window's state rather than by a call, the stay-on-top hint does it.
void makeTopmost(QWidget *window);

// Without a window manager nothing keeps an always-on-top window on top: the
// window raises itself again whenever another window comes to cover it. Does
// nothing while a window manager runs. Call once; it takes effect when the
// window is first shown.
void keepAboveWithoutManager(QWidget *window);

// Gives the window's outline to the window system again, after a change of
// size. Some X11 managers (mutter) keep a shape clipped to the size the
// window had when the shape was set, and draw a grown window only within it.
void giveShapeAgain(QWidget *window);

// The size a window not shown yet will have with its frame, as far as it can
// be known before it is shown. X11 managers add their frame only once the
// window is mapped, and making the native window early would fix its
// gravity before it is placed: there it is the window's own size.
QSize outerSizeBeforeShow(QWidget *window);

// Has a window that refuses the focus until the user points at it take the
// keyboard only when the window manager gives it, never by itself. Qt offers
// every window to take it by itself (WM_TAKE_FOCUS): a manager that gives
// the focus to a new window then takes a window that refuses it as about to
// be focused, and KWin ignores its later requests to be activated. Call
// once, before the window is first shown.
void takeFocusOnlyWhenGiven(QWidget *window);

// Brings the window forward with the keyboard, as the user asked by starting
// the program again. `launchId` is what the launcher gave that start (a
// startup notification id or an activation token), empty when it gave
// nothing. The window must accept the focus by then.
void bringForward(QWidget *window, const QByteArray &launchId);

// The window of another program that has the keyboard now, or 0 (none has
// it, or one of this program's does): where the keyboard goes back to when a
// dialog that took it from there closes.
quintptr foreignFocusWindow();

// Gives the keyboard back to a window foreignFocusWindow() named, as the
// user's own click on it would, if it is still there.
void focusForeignWindow(quintptr window);
