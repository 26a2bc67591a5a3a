#include "picturebox.h"

#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A picture that acts as a button or a tab, as assistive tools see it.
class ClickableAccessible : public QAccessibleWidget
{
public:
    explicit ClickableAccessible(ClickableWidget *widget)
        : QAccessibleWidget(widget, widget->accessibleRole())
    {
    }
    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            Q_EMIT static_cast<ClickableWidget *>(widget())->clicked();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *clickableAccessible(const QString &, QObject *object)
{
    auto *widget = qobject_cast<ClickableWidget *>(object);
    if (!widget || widget->accessibleRole() == QAccessible::NoRole)
        return nullptr;
    return new ClickableAccessible(widget);
}

} // namespace

void ClickableWidget::makeControl(const QString &name, QAccessible::Role role)
{
    static const bool installed = [] {
        QAccessible::installFactory(clickableAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    m_role = role;
    setAccessibleName(name);
    setFocusPolicy(Qt::TabFocus);
}

void ClickableWidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_role != QAccessible::NoRole && !event->isAutoRepeat()) {
            Q_EMIT clicked();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

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
