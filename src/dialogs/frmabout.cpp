#include "frmabout.h"

#include "core/accessibility.h"
#include "core/designfonts.h"
#include "core/desktop.h"
#include "core/formwidgets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

using designfonts::arial;

namespace {

// Plain text on the picture, sized to its text: the picture shows through.
QLabel *caption(QWidget *parent, const QString &name, const QString &text, QPoint position,
                const QFont &font, const QColor &color = Qt::black)
{
    QLabel *l = formwidgets::label(parent, text, font, QRect(position, QSize()), color);
    l->setObjectName(name);
    return l;
}

} // namespace

FrmAbout::FrmAbout(QWidget *parent)
    : QWidget(parent, dialogWindowType(Qt::Tool) | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_background(QStringLiteral(":/images/about.gif"))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About QKS Marglet"));
    // A dialog, whose text screen readers read when it opens.
    accessibility::setRole(this, QAccessible::Dialog);
    setWindowIcon(QIcon(QStringLiteral(":/icons/marglet-32.png")));
    setFont(designfonts::formDefault());
    setFixedSize(249, 167);

    CmdClose = formwidgets::button(this, QStringLiteral("Close"), QRect(176, 136, 65, 25));
    CmdClose->setObjectName(QStringLiteral("CmdClose"));
    CmdClose->setFocus();
    LblAppVersion =
        caption(this, QStringLiteral("LblAppVersion"), QStringLiteral("Version " MARGLET_VERSION),
                {178, 72}, arial(8.25, true));
    LblInfo01 = caption(this, QStringLiteral("LblInfo01"),
                        QStringLiteral("Written by the QKS Marglet team"), {16, 86}, arial(8.25));
    LblInfo02 = caption(this, QStringLiteral("LblInfo02"), QStringLiteral("Qt 6 edition"),
                        {16, 102}, arial(8.25));
    // Only the address, not a link: the box opens nothing by itself.
    LblURL = caption(this, QStringLiteral("LblURL"), QStringLiteral("www.qks-soft.example"),
                     {7, 151}, arial(8.25), QColor(0x00, 0x00, 0xFF));

    connect(CmdClose, &QPushButton::clicked, this, &FrmAbout::CmdClose_Click);
}

FrmAbout::~FrmAbout() = default;

void FrmAbout::CmdClose_Click()
{
    close();
}

void FrmAbout::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        CmdClose_Click();
    else
        QWidget::keyPressEvent(event);
}

void FrmAbout::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawPixmap(0, 0, m_background);
}
