#pragma once

#include <QByteArray>
#include <QString>

// Which of Qt's window systems the bar asks for on Linux, and what it says
// about it. The bar must sit at an exact place and stay on top; a Wayland
// window can do neither (the compositor places it and stacks it with the
// others), while an X11 window can, under XWayland too. So X11 is taken
// wherever a display is there, even when the session asks Qt for Wayland.
struct PlatformChoice
{
    QByteArray platform; // for QT_QPA_PLATFORM; empty keeps the session's choice
    QString note;        // one line for the log: why the session's choice was not taken
    QString warning;     // for the user: the bar runs where it cannot work as designed
};

// `requested` is QT_QPA_PLATFORM as the session set it; `x11Display` whether
// DISPLAY names a display.
PlatformChoice choosePlatform(const QByteArray &requested, bool x11Display);
