#include "taskbar.h"

void keepOutOfTaskbar(QWidget *)
{
    // A tool window has no taskbar button here already.
}
