// The baseline for a long note: a bare QPlainTextEdit of the note pad's
// place, size and font, in the fastest wrap mode for a line without break
// points (anywhere), inside a window of the expanded bar's size. A click on
// the strip shows the editor, which has held the note since start (expand);
// a click on the first tab's place sets the note's text, on the second's a
// short one (a tab switch). `bare_pad FILE`, the note in UTF-8.
#include "core/designfonts.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QPlainTextEdit>

namespace {

class Window : public QWidget
{
public:
    explicit Window(const QString &note) : m_note(note)
    {
        setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setWindowTitle(QStringLiteral("Bare Pad"));
        setGeometry(1920 - 256, 5, 185, 343);
        m_pad.setParent(this);
        m_pad.setGeometry(8, 48, 169, 193);
        m_pad.setFrameShape(QFrame::NoFrame);
        m_pad.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_pad.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_pad.setFont(designfonts::sansSerif(8.25));
        m_pad.setWordWrapMode(QTextOption::WrapAnywhere);
        m_pad.setPlainText(m_note);
        m_pad.hide();
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        const QPoint at = event->position().toPoint();
        if (at.y() < 17)
            m_pad.show();
        else if (at.y() >= 26 && at.y() < 48)
            m_pad.setPlainText(at.x() < 59 ? m_note : QStringLiteral("short"));
    }

private:
    QString m_note;
    QPlainTextEdit m_pad;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argc > 1 ? argv[1] : ""));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    Window window(QString::fromUtf8(file.readAll()));
    window.show();
    return QApplication::exec();
}
