#pragma once

class QWidget;

namespace AlwaysOnTop {

// Keeps a top-level window above ordinary windows and out of the taskbar.
// Call before the window is first shown; the state holds from then on.
void SetTopmost(QWidget *window);

} // namespace AlwaysOnTop
