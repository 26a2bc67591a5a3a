#pragma once

#include <QHash>
#include <QList>
#include <QObject>

class QWidget;

// When the bar takes the keyboard, and where the keyboard may go in it.
// Appearing, sliding or being clicked must not take it from the program the
// user is typing in: the bar takes it only when the user clicks into its
// note pad or picks a note, or starts the program again to bring the bar
// forward. What lies below the strip (the body) is offered to the keyboard
// and to assistive tools only while the bar is open.
class BarFocus : public QObject
{
    Q_OBJECT
public:
    explicit BarFocus(QWidget *bar);

    // Pointing at `control` means typing may be next; with `asksOnPress`
    // a press on it asks for the keyboard as well (a tab asks when picked).
    void watch(QWidget *control, bool asksOnPress);
    void acceptFocus(bool accept);
    // Accepts, and asks for the keyboard with the time of the user's click.
    void allowFocus();
    // Accepts, and asks the desktop to bring the bar forward for a start of
    // the program that `launchId` names (empty when its launcher named none).
    void bring(const QByteArray &launchId);

    // `control` lies below the strip: shown, and reachable with the
    // keyboard, only while the body is.
    void addToBody(QWidget *control);
    // The bar starts to open: the body is shown as the slide uncovers it.
    void opening();
    // The bar has shut: the keyboard moves from the body to `onStrip`, the
    // body is hidden, and the next click on the strip must not take the
    // keyboard. (A caret blinking in a note pad nobody can see would also
    // wake the program twice a second for nothing.)
    void shut(QWidget *onStrip);
    bool bodyShown() const { return m_bodyShown; }
    // The order Tab walks the controls in while the body is shown.
    void setTabOrder(const QList<QWidget *> &order);

    // Ctrl+Tab and Ctrl+Shift+Tab move on from `pad`, where Tab types a tab.
    void letCtrlTabLeave(QWidget *pad);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showBody(QWidget *control);

    QWidget *m_bar;
    QWidget *m_pad = nullptr;
    QList<QObject *> m_asksOnPress;
    QList<QWidget *> m_body;
    QList<QWidget *> m_order;
    bool m_bodyShown = false;
    // The focus policies the hidden body's controls give back when shown.
    QHash<QWidget *, int> m_policies;
};
