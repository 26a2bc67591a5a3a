#pragma once

#include <QColor>
#include <QRect>

class QFont;
class QLabel;
class QPushButton;
class QString;
class QWidget;

// The controls the bar and its dialogs lay out at fixed places, as their
// forms were designed, built the same way everywhere.
namespace formwidgets {

// Plain text at a fixed place, never a link or markup. With an empty
// `geometry` it takes the size of its text at the geometry's corner. A
// `color` left invalid keeps the palette's.
QLabel *label(QWidget *parent, const QString &text, const QFont &font, const QRect &geometry,
              const QColor &color = QColor(), bool wrap = false);

// A push button at a fixed place, in the parent's font unless given one.
QPushButton *button(QWidget *parent, const QString &text, const QRect &geometry);
QPushButton *button(QWidget *parent, const QString &text, const QRect &geometry, const QFont &font);

} // namespace formwidgets
