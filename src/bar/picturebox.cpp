#include "picturebox.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

void ClickableWidget::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void ClickableWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        Q_EMIT clicked();
}

PictureBox::PictureBox(QWidget *parent, const QRect &geometry, const QColor &background)
    : ClickableWidget(parent), m_background(background)
{
    setGeometry(geometry);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    if (!picture.isNull())
        resize(picture.deviceIndependentSize().toSize());
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (!m_picture.isNull())
        painter.drawPixmap(0, 0, m_picture);
}

CaptionLabel::CaptionLabel(QWidget *parent, const QRect &designed, const QString &text,
                           const QFont &font, const QColor &color)
    : ClickableWidget(parent), m_text(text), m_color(color)
{
    setFont(font);
    setGeometry(designed);
}

void CaptionLabel::fitToText()
{
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(m_text) + 1, metrics.height());
}

void CaptionLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(m_color);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_text);
}
