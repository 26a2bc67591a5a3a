#include "frmmargletqk.h"

#include "barclosing.h"
#include "barfocus.h"
#include "barmotion.h"
#include "barnotes.h"
#include "barplacement.h"
#include "barsetup.h"
#include "core/accessibility.h"
#include "core/designfonts.h"
#include "core/desktop.h"
#include "core/formwidgets.h"
#include "core/message.h"
#include "notepad.h"
#include "notes/notebook.h"
#include "notes/notefiles.h"
#include "picturebox.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

using designfonts::sansSerif;

namespace {

const QColor kBarBlue(0x4D, 0x90, 0xFE);

// Line1(0) .. Line1(4), painted front last.
const struct
{
    QPoint from;
    QPoint to;
    QColor color;
} kLines[] = {
    {{7, 48}, {7, 242}, QColor(0xDE, 0xDE, 0xD6)},
    {{176, 241}, {7, 241}, QColor(0xFF, 0xFF, 0xFF)},
    {{177, 48}, {177, 242}, QColor(0xDE, 0xDE, 0xD6)},
    {{177, 47}, {162, 47}, QColor(0x2F, 0x54, 0x8F)},
    {{176, 46}, {160, 46}, QColor(0x4F, 0x88, 0xD6)},
};

template <typename T> T *named(T *control, const char *name)
{
    control->setObjectName(QLatin1StringView(name));
    return control;
}

} // namespace

FrmMargletQK::FrmMargletQK(BarEnvironment environment, QWidget *parent)
    : QWidget(parent, barWindowType() | Qt::FramelessWindowHint), m_env(std::move(environment))
{
    if (!m_env.report)
        m_env.report = showWarning;
    m_notes = new BarNotes(m_env, this);
    m_focus = new BarFocus(this);
    m_closing = std::make_unique<BarClosing>(m_notes->notes(), m_env);
    // The notes say each problem once themselves.
    connect(&m_notes->notes(), &NoteBook::problem, this,
            [this](const QString &message) { m_env.report(message); });
    setWindowTitle(QStringLiteral("QKS Marglet"));
    accessibility::setRole(this, QAccessible::Window);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A window that accepts no focus is one no manager hands it to (see
    // BarFocus). A zero user time (Qt::WA_ShowWithoutActivating) is not
    // used: KWin answers it by marking the bar as demanding attention.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    takeFocusOnlyWhenGiven(this);
    resize(535, 343);
    buildControls();
    // Start-up reads the settings twice; one problem is one message.
    const auto reportOnce = [this](const QString &message) {
        if (!m_reported.contains(message)) {
            m_reported.append(message);
            m_env.report(message);
        }
    };
    m_setup = new BarSetup(m_env, {this, PicMaxMin, PicBtnArea, PicClose, m_notes, reportOnce});
    connect(&m_setup->motion(), &BarMotion::slideStarted, this, &FrmMargletQK::slideStarted);
    connect(&m_setup->motion(), &BarMotion::slideEnded, this, &FrmMargletQK::slideEnded);
    // The bar itself holds the focus until the user clicks into the note
    // pad, so that a bar left alone has no caret blinking in it.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();
}

FrmMargletQK::~FrmMargletQK() = default;

void FrmMargletQK::buildControls()
{
    // Created back to front, so that later controls lie in front. The note
    // pad, rearmost, comes later: see ensureNotepad().
    PicBtnArea =
        named(new PictureBox(this, QRect(7, 242, 171, 93), QColor(0xDE, 0xED, 0xFE)), "PicBtnArea");
    PicClose = named(new PictureBox(this, QRect(169, 1, 15, 15), kBarBlue), "PicClose");
    PicMaxMin = named(new PictureBox(this, QRect(152, 1, 15, 15), kBarBlue), "PicMaxMin");
    PicClose->makeControl(tr("Close"), QAccessible::Button);
    PicMaxMin->makeControl(tr("Expand"), QAccessible::Button);
    QAccessible::State collapsed;
    collapsed.expandable = collapsed.collapsed = true;
    PicMaxMin->setAccessibleStates(collapsed);

    PicActiveTab = QPixmap(QStringLiteral(":/images/tab_active.gif"));
    PicTab = QPixmap(QStringLiteral(":/images/tab_inactive.gif"));
    // The tabs, as assistive tools see them: a list of them, one selected.
    TabStrip = named(new QWidget(this), "TabStrip");
    TabStrip->setGeometry(7, 26, 156, 22);
    accessibility::setRole(TabStrip, QAccessible::PageTabList);
    TabStrip->setAccessibleName(tr("Notes"));
    PicTab01 = buildTab(1, LblNote01);
    PicTab02 = buildTab(2, LblNote02);
    PicTab03 = buildTab(3, LblNote03);

    const auto button = [this](const char *name, const QString &caption, const QRect &geometry) {
        QPushButton *b =
            named(formwidgets::button(this, caption, geometry, designfonts::arial(8.25)), name);
        QPalette palette = b->palette();
        palette.setColor(QPalette::Button, QColor(0xE0, 0xE0, 0xE0));
        b->setPalette(palette);
        return b;
    };
    CmdExport = button("CmdExport", QStringLiteral("Save As Text File"), {16, 252, 153, 20});
    CmdImport = button("CmdImport", QStringLiteral("Load Text File"), {16, 279, 153, 20});
    CmdAbout = button("CmdAbout", QStringLiteral("About"), {95, 306, 74, 19});
    CmdOptions = button("CmdOptions", QStringLiteral("Options"), {16, 306, 74, 19});

    // Labels are drawn on the bar's surface, behind every other control.
    const QFont titleFont = sansSerif(9.75, true);
    const QString title = QStringLiteral("QKS Marglet");
    LblTitleBarShd = named(new CaptionLabel(this, QRect(8, 0, 91, 16), title, titleFont,
                                            palette().color(QPalette::WindowText)),
                           "LblTitleBarShd");
    LblTitleBar = named(new CaptionLabel(this, QRect(9, 0, 91, 16), title, titleFont, Qt::white),
                        "LblTitleBar");
    LblTitleBar->stackUnder(PicBtnArea);
    LblTitleBarShd->stackUnder(LblTitleBar);

    connect(PicTab01, &PictureBox::clicked, this, &FrmMargletQK::PicTab01_Click);
    connect(PicTab02, &PictureBox::clicked, this, &FrmMargletQK::PicTab02_Click);
    connect(PicTab03, &PictureBox::clicked, this, &FrmMargletQK::PicTab03_Click);
    connect(LblNote01, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote01_Click);
    connect(LblNote02, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote02_Click);
    connect(LblNote03, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote03_Click);
    connect(PicClose, &PictureBox::clicked, this, &FrmMargletQK::PicClose_Click);
    connect(PicMaxMin, &PictureBox::clicked, this, &FrmMargletQK::PicMaxMin_Click);
    connect(CmdImport, &QPushButton::clicked, this, &FrmMargletQK::CmdImport_Click);
    connect(CmdExport, &QPushButton::clicked, this, &FrmMargletQK::CmdExport_Click);
    connect(CmdAbout, &QPushButton::clicked, this, &FrmMargletQK::aboutClicked);
    connect(CmdOptions, &QPushButton::clicked, this, &FrmMargletQK::optionsClicked);

    QWidget *const body[] = {TabStrip, PicBtnArea, CmdExport, CmdImport, CmdAbout, CmdOptions};
    for (QWidget *control : body)
        m_focus->addToBody(control);
}

PictureBox *FrmMargletQK::buildTab(int note, CaptionLabel *&caption)
{
    const QString text = notefiles::caption(note);
    auto *tab = new PictureBox(TabStrip, QRect(52 * (note - 1), 0, 52, 22), kBarBlue);
    tab->setObjectName(QStringLiteral("PicTab") + notefiles::twoDigits(note));
    tab->setPicture(note == 1 ? PicActiveTab : PicTab);
    tab->makeControl(text, QAccessible::PageTab);
    QAccessible::State state;
    state.selectable = true;
    state.selected = note == 1;
    tab->setAccessibleStates(state);
    m_focus->watch(tab, false);
    caption = new CaptionLabel(tab, QRect(5, 5, 38, 13), text, sansSerif(8.25), Qt::black);
    caption->setObjectName(QStringLiteral("LblNote") + notefiles::twoDigits(note));
    return tab;
}

void FrmMargletQK::ensureNotepad()
{
    buildNotepad();
    // The note goes in once the pad is wanted: a collapsed bar holds each
    // note once, in its store, and a long one costs nothing at start.
    m_notes->attach(TxtNotepad);
}

void FrmMargletQK::buildNotepad()
{
    if (TxtNotepad)
        return;
    TxtNotepad = named(new NotePad(this), "TxtNotepad");
    TxtNotepad->setGeometry(8, 48, 169, 193);
    TxtNotepad->setFrameShape(QFrame::NoFrame);
    TxtNotepad->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxtNotepad->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TxtNotepad->setFont(sansSerif(8.25));
    QPalette palette = TxtNotepad->palette();
    palette.setColor(QPalette::Text, Qt::black);
    TxtNotepad->setPalette(palette);
    TxtNotepad->stackUnder(PicBtnArea);
    m_focus->watch(TxtNotepad->viewport(), true);
    m_focus->letCtrlTabLeave(TxtNotepad);
    m_focus->addToBody(TxtNotepad);
    // Focus moves through the controls in their design order.
    m_focus->setTabOrder({PicClose, PicMaxMin, PicTab01, PicTab02, PicTab03, TxtNotepad, CmdExport,
                          CmdImport, CmdAbout, CmdOptions});
    nameNotepad();
}

void FrmMargletQK::nameNotepad()
{
    // Screen readers say which note the pad holds, as the tabs show it.
    const qint16 note = m_notes->notes().ActiveNote;
    if (TxtNotepad && note >= 1 && note <= 3)
        TxtNotepad->setAccessibleName(notefiles::caption(note));
}

void FrmMargletQK::finishStartup()
{
    // Reading the icon costs about a millisecond; nothing shows it before
    // the bar is on screen.
    setWindowIcon(QIcon(QStringLiteral(":/icons/marglet-32.png")));
    buildNotepad();
    for (CaptionLabel *label : {LblTitleBarShd, LblTitleBar, LblNote01, LblNote02, LblNote03})
        label->fitToText();
}

void FrmMargletQK::Form_Load()
{
    m_setup->Form_Load();
}

QString FrmMargletQK::settingsPath() const
{
    return m_setup->settingsPath();
}

void FrmMargletQK::reportToLogOnly()
{
    m_env.report = logMessage;
}

void FrmMargletQK::enableApplySettings()
{
    m_setup->TmrApplySettings.start();
}

QPoint FrmMargletQK::place() const
{
    return m_setup->placement().place();
}

void FrmMargletQK::placeOnScreen()
{
    m_setup->placeOnScreen();
}

void FrmMargletQK::PicMaxMin_Click()
{
    ensureNotepad();
    m_setup->motion().PicMaxMin_Click();
}

void FrmMargletQK::slideStarted(qint16 from)
{
    if (from == 0) {
        ensureNotepad();
        m_focus->opening();
    }
}

void FrmMargletQK::slideEnded(qint16 expanded)
{
    if (expanded != 0)
        return;
    m_focus->shut(PicMaxMin);
    if (m_forwardWhenShut)
        comeForward(*std::exchange(m_forwardWhenShut, std::nullopt));
}

void FrmMargletQK::comeForward(const QByteArray &launchId)
{
    BarMotion &motion = m_setup->motion();
    if (motion.TmrExpand.isActive() && motion.Expanded == 1) {
        m_forwardWhenShut = launchId;
        return;
    }
    if (motion.Expanded == 0 && !motion.TmrExpand.isActive())
        PicMaxMin_Click();
    ensureNotepad();
    TxtNotepad->moveCursor(QTextCursor::End);
    TxtNotepad->setFocus(Qt::OtherFocusReason);
    m_focus->bring(launchId);
}

void FrmMargletQK::takeFocusBack(QWidget *control)
{
    if (!isVisible())
        return; // closed meanwhile
    m_focus->allowFocus();
    // A control the bar has hidden since is out of reach: the strip takes it.
    if (control != this && (!isAncestorOf(control) || !control->isVisible()))
        control = PicMaxMin;
    control->setFocus(Qt::OtherFocusReason);
}

void FrmMargletQK::SwitchNote(const qint16 &note)
{
    if (note < 1 || note > 3)
        return;
    PicTab01->setPicture(note == 1 ? PicActiveTab : PicTab);
    PicTab02->setPicture(note == 2 ? PicActiveTab : PicTab);
    PicTab03->setPicture(note == 3 ? PicActiveTab : PicTab);
    const auto mark = [](PictureBox *tab, bool selected) {
        QAccessible::State state = tab->accessibleStates();
        state.selected = selected;
        tab->setAccessibleStates(state);
    };
    // The tab left is told first, so that no moment has two selected.
    PictureBox *const tabs[] = {PicTab01, PicTab02, PicTab03};
    for (int n = 1; n <= 3; ++n) {
        if (n != note)
            mark(tabs[n - 1], false);
    }
    mark(tabs[note - 1], true);
    nameNotepad();
    m_notes->setNotepadText(m_notes->notes().noteStore(note));
}

void FrmMargletQK::selectTab(qint16 note)
{
    // The field first: the switch replaces the pad's text, and the change
    // handler must write that text back to the note it belongs to.
    m_notes->notes().ActiveNote = note;
    ensureNotepad();
    SwitchNote(note);
    // Picking a note is picking what to type into.
    TxtNotepad->setFocus(Qt::MouseFocusReason);
    m_focus->allowFocus();
}

void FrmMargletQK::CmdImport_Click()
{
    // The pad is where an import shows; the note takes the text with it.
    ensureNotepad();
    m_notes->importFile();
}

void FrmMargletQK::CmdExport_Click()
{
    m_notes->exportFile();
}

void FrmMargletQK::PicClose_Click()
{
    if (!m_closing->saveOrAsk())
        return;
    m_closing->end();
    Q_EMIT unloading();
    m_closeForGood = true;
    close();
    Q_EMIT finished();
}

void FrmMargletQK::closeEvent(QCloseEvent *event)
{
    if (m_closeForGood) {
        event->accept();
        return;
    }
    event->ignore();
    // After this close has returned: the sequence ends by closing the window.
    QTimer::singleShot(0, this, &FrmMargletQK::PicClose_Click);
}

void FrmMargletQK::paintEvent(QPaintEvent *)
{
    // What the collapsed bar does not show is built once it is on screen.
    if (!m_finishScheduled) {
        m_finishScheduled = true;
        QTimer::singleShot(0, this, &FrmMargletQK::finishStartup);
    }
    QPainter painter(this);
    painter.fillRect(rect(), kBarBlue);
    painter.drawPixmap(0, 0, m_setup->background());
    for (const auto &line : kLines) {
        painter.setPen(line.color);
        painter.drawLine(line.from, line.to);
    }
}
