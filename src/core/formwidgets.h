#pragma once

#include <QColor>
#include <QRect>

class QFont;
class QLabel;
class QPushButton;
class QRadioButton;
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

// A borderless container at a fixed place; each one groups its option buttons.
QWidget *panel(QWidget *parent, const QRect &geometry);

// An option button at a fixed place.
QRadioButton *radio(QWidget *parent, const QString &text, const QRect &geometry, const QFont &font);

// A picture in a flat one-pixel frame, sized to the picture.
QLabel *picture(QWidget *parent, const QString &resource, QPoint position);

} // namespace formwidgets
