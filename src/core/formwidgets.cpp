#include "formwidgets.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace formwidgets {

QLabel *label(QWidget *parent, const QString &text, const QFont &font, const QRect &geometry,
              const QColor &color, bool wrap)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    l->setFont(font);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(wrap);
    if (color.isValid()) {
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, color);
        l->setPalette(palette);
    }
    if (geometry.isEmpty()) {
        l->move(geometry.topLeft());
        l->adjustSize();
    } else {
        l->setGeometry(geometry);
    }
    return l;
}

QPushButton *button(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *b = new QPushButton(text, parent);
    b->setGeometry(geometry);
    return b;
}

QPushButton *button(QWidget *parent, const QString &text, const QRect &geometry, const QFont &font)
{
    QPushButton *b = button(parent, text, geometry);
    b->setFont(font);
    return b;
}

} // namespace formwidgets
