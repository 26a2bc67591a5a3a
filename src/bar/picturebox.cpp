#include "picturebox.h"

#include "core/accessibility.h"

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
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const QAccessible::State own = static_cast<ClickableWidget *>(widget())->accessibleStates();
        state.selectable = own.selectable;
        state.selected = own.selected;
        state.expandable = own.expandable;
        state.expanded = own.expanded;
        state.collapsed = own.collapsed;
        return state;
    }
    QStringList actionNames() const override
    {
        if (!widget()->isEnabled())
            return {};
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (!widget()->isEnabled())
            return;
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

void ClickableWidget::setAccessibleStates(QAccessible::State states)
{
    QAccessible::State changed;
    changed.selected = states.selected != m_states.selected;
    changed.expanded = states.expanded != m_states.expanded;
    changed.collapsed = states.collapsed != m_states.collapsed;
    m_states = states;
    if (!changed.selected && !changed.expanded && !changed.collapsed)
        return;
    accessibility::stateChanged(this, changed);
    if (changed.selected && QAccessible::isActive()) {
        // Told the way item views tell it: AT-SPI hears the selected state
        // change, UI Automation an item selected.
        QAccessibleEvent selection(this, states.selected ? QAccessible::SelectionAdd
                                                         : QAccessible::SelectionRemove);
        QAccessible::updateAccessibility(&selection);
    }
}

void ClickableWidget::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void ClickableWidget::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void ClickableWidget::paintFocus(QPainter &painter)
{
    if (!hasFocus())
        return;
    // White under black dots: seen on any picture a skin may bring.
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(frame);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(frame);
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
    paintFocus(painter);
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
