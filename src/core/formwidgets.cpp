#include "formwidgets.h"

#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
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

QWidget *panel(QWidget *parent, const QRect &geometry)
{
    auto *w = new QWidget(parent);
    w->setGeometry(geometry);
    return w;
}

QRadioButton *radio(QWidget *parent, const QString &text, const QRect &geometry, const QFont &font)
{
    auto *r = new QRadioButton(text, parent);
    r->setFont(font);
    r->setGeometry(geometry);
    return r;
}

QLabel *picture(QWidget *parent, const QString &resource, QPoint position)
{
    auto *l = new QLabel(parent);
    const QPixmap pixmap(resource);
    l->setPixmap(pixmap);
    l->setFrameStyle(QFrame::Box | QFrame::Plain);
    l->setLineWidth(1);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(QRect(position, pixmap.size() + QSize(2, 2)));
    return l;
}

} // namespace formwidgets
