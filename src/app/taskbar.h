#pragma once

class QWidget;

// Asks the window manager to leave the window out of taskbars and pagers.
// Call after the window flags are final and before the window is shown.
void keepOutOfTaskbar(QWidget *window);
