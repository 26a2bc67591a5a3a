#pragma once

#include <QList>
#include <QObject>

class QWidget;

// When the bar takes the keyboard. Appearing, sliding or being clicked must
// not take it from the program the user is typing in: the bar takes it only
// when the user clicks into its note pad or picks a note, or starts the
// program again to bring the bar forward.
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
    // The bar has shut: a caret blinking in a note pad nobody can see would
    // wake the program twice a second for nothing, and the next click on
    // the strip must not take the keyboard either.
    void shut(QWidget *pad);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_bar;
    QList<QObject *> m_asksOnPress;
};
