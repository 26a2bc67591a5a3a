#pragma once

#include <QAccessible>

class QWidget;

// The platform's side of accessibility.h, one file per platform.
namespace accessibility::platform {

// Tells the platform's assistive tools of changed states that Qt does not
// forward itself.
void stateChanged(QWidget *widget, QAccessible::State changed);

} // namespace accessibility::platform
