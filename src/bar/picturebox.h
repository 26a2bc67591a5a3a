#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <QAccessible>

// A widget that reports a left click released over it.
class ClickableWidget : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Makes the widget a control that keyboards and screen readers can use:
    // reached with Tab (a mouse click still leaves the focus where it is),
    // pressed with Space or Return, and told as `name` in `role`.
    void makeControl(const QString &name, QAccessible::Role role);
    QAccessible::Role accessibleRole() const { return m_role; }
    // What assistive tools are told besides the widget's own states (a tab
    // that is selected, a button that expands something); a change is told
    // to them as it happens.
    void setAccessibleStates(QAccessible::State states);
    QAccessible::State accessibleStates() const { return m_states; }

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // A control with the keyboard shows it with a dotted frame.
    void paintFocus(QPainter &painter);

private:
    bool m_pressed = false;
    QAccessible::Role m_role = QAccessible::NoRole;
    QAccessible::State m_states;
};

// A borderless box that shows a picture at its top-left corner over a plain
// background colour, sizes itself to each picture it is given and reports
// clicks.
class PictureBox : public ClickableWidget
{
    Q_OBJECT
public:
    PictureBox(QWidget *parent, const QRect &geometry, const QColor &background);

    void setPicture(const QPixmap &picture);
    const QPixmap &picture() const { return m_picture; }
    QColor background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
    QColor m_background;
};

// A label that is only text on its container's surface, sized to its text.
// Clicks on it are reported, for captions that stand for what lies under them.
// It starts at its designed size: measuring text loads the font database,
// which the bar would rather do after its window is on screen.
class CaptionLabel : public ClickableWidget
{
    Q_OBJECT
public:
    CaptionLabel(QWidget *parent, const QRect &designed, const QString &text, const QFont &font,
                 const QColor &color);

    void fitToText();

    QString text() const { return m_text; }
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QColor m_color;
};
