#pragma once

#include <QAccessible>

class QWidget;

// What screen readers and other assistive tools are told about the bar and
// its dialogs, beyond what Qt tells them of its own widgets.
namespace accessibility {

// Assistive tools see `widget` in `role`: a window as a frame or a dialog, a
// container as a group or a list of tabs. Qt would call each of them a
// filler.
void setRole(QWidget *widget, QAccessible::Role role);

// Tells assistive tools that the states in `changed` have changed on
// `widget` (its accessible interface already answers with the new ones).
// Qt 6.4 forwards only some changes to the platform (on AT-SPI checked,
// active and enabled; on UI Automation checked and active): an expanded or
// collapsed control is also told in the platform's own terms.
void stateChanged(QWidget *widget, QAccessible::State changed);

// Makes Qt offer the program to a screen reader that starts after it. Qt
// 6.4 on Linux asks once whether assistive tools are wanted and never
// follows a change of that answer; offered from the start, the program is
// there whenever a screen reader comes. Call before the QApplication exists.
void offerToLateScreenReaders();

} // namespace accessibility
