#include "alwaysontop.h"

#include "desktop.h"

#include <QWidget>

namespace AlwaysOnTop {

void SetTopmost(QWidget *window)
{
    // Qt maps the hint to HWND_TOPMOST on Windows and to _NET_WM_STATE_ABOVE
    // on X11, and keeps it through later changes of the window's flags.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    makeTopmost(window);
    keepOutOfTaskbar(window);
    keepAboveWithoutManager(window);
}

} // namespace AlwaysOnTop
