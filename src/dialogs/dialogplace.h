#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the bar's dialogs open, in pixels of the virtual desktop. `screen`
// is the screen that holds the bar; `outer` is the dialog's size with its
// frame as far as it is known.
namespace dialogplace {

// Options: centred across on half the bar's distance from the screen's left
// edge, and down the screen, the halves taken in twips.
QPoint options(const QRect &screen, int barLeft, const QSize &outer);

// About: centred on the screen.
QPoint centred(const QRect &screen, const QSize &outer);

// Moved the least that keeps the whole dialog on `area` (its top-left corner
// when it is larger), so that no part opens off a small screen.
QPoint keptWhole(QPoint topLeft, const QSize &outer, const QRect &area);

} // namespace dialogplace
