// Assistive tools on Windows, which Qt reaches through UI Automation.
#include "accessibility.h"

#include "accessibility_p.h"

#include <QWidget>

namespace accessibility::platform {

void stateChanged(QWidget *widget, QAccessible::State changed)
{
    if (!changed.expanded && !changed.collapsed)
        return;
    // Qt 6.4 offers the expand and collapse pattern only to menus, combo
    // boxes and tree items, and raises no event for a button's change; a
    // value told as text is raised as a notification, which screen readers
    // speak.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    if (!accessible)
        return;
    QAccessibleValueChangeEvent event(widget, accessible->state().expanded
                                                  ? QStringLiteral("expanded")
                                                  : QStringLiteral("collapsed"));
    QAccessible::updateAccessibility(&event);
}

} // namespace accessibility::platform

namespace accessibility {

void offerToLateScreenReaders()
{
    // UI Automation asks the program when a tool starts.
}

} // namespace accessibility
