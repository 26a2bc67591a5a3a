#include "alwaysontop.h"

#include "desktop.h"

#include <QWidget>

namespace AlwaysOnTop {

void SetTopmost(QWidget *window)
{
    // A tool window has no taskbar entry; Qt maps the hint to HWND_TOPMOST on
    // Windows and to _NET_WM_STATE_ABOVE on X11.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    keepOutOfTaskbar(window);
    keepAboveWithoutManager(window);
}

} // namespace AlwaysOnTop
