#include "platformchoice.h"

#include <QCoreApplication>
#include <QList>

namespace {

// An entry may carry options after a colon ("wayland:option"), and Qt has
// more than one Wayland platform ("wayland-egl").
bool isWayland(const QByteArray &entry)
{
    return entry.startsWith("wayland");
}

} // namespace

PlatformChoice choosePlatform(const QByteArray &requested, bool x11Display)
{
    const QList<QByteArray> entries = requested.split(';');
    const bool asksForWayland = isWayland(entries.first());
    PlatformChoice choice;
    if (requested.isEmpty()) {
        // Without a display Qt would first try X11 and print why it failed.
        choice.platform = x11Display ? QByteArray("xcb;wayland") : QByteArray("wayland");
    } else if (asksForWayland && x11Display) {
        // Wayland stays behind X11, for a display that does not answer.
        choice.platform = "xcb";
        for (const QByteArray &entry : entries) {
            if (entry != "xcb")
                choice.platform += ';' + entry;
        }
        choice.note = QCoreApplication::translate(
                          "platform", "The session asks for Wayland (QT_QPA_PLATFORM=%1); the "
                                      "bar uses X11 (XWayland) instead, since as a Wayland "
                                      "window it could not keep its place or stay on top.")
                          .arg(QString::fromLocal8Bit(requested));
    }
    if (!x11Display && (requested.isEmpty() || asksForWayland)) {
        choice.warning = QCoreApplication::translate(
            "platform",
            "This desktop has no X11 display (XWayland), so the bar runs as a Wayland window. "
            "Wayland does not let it choose its place or stay on top: it may show anywhere, be "
            "covered by other windows and appear in the taskbar.\n\nYour notes are kept as "
            "usual. To have the bar in its place and on top, run it in a session with XWayland.");
    }
    return choice;
}
