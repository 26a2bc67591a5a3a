#include "frmmargletqk.h"

#include "barlogic.h"
#include "core/designfonts.h"
#include "core/desktop.h"
#include "core/message.h"
#include "core/twips.h"
#include "core/windowsversiondetect.h"
#include "notes/filedialogseam.h"
#include "notes/notebook.h"
#include "notes/notecodec.h"
#include "notes/qtfiledialog.h"
#include "picturebox.h"
#include "settings/settingsfile.h"
#include "settings/skins.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QWindow>

using WindowsVersionDetect::kFamilyNew;
using WindowsVersionDetect::OSFamily;

namespace {

const QColor kBarBlue(0x4D, 0x90, 0xFE);

using designfonts::arial;
using designfonts::sansSerif;

void showFileError(const QString &text, const QString &reason)
{
    qWarning("marglet: %s %s", qUtf8Printable(text), qUtf8Printable(reason));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Marglet QK"), text,
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setInformativeText(reason);
    box.exec();
}

CloseChoice askOnClose(const QString &problem, bool rescueFailed)
{
    qWarning("marglet: %s", qUtf8Printable(problem));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("QKS Marglet"), problem);
    QPushButton *retry = box.addButton(QMessageBox::tr("&Try Again"), QMessageBox::AcceptRole);
    QPushButton *last =
        rescueFailed
            ? box.addButton(QMessageBox::tr("&Close Without Saving"), QMessageBox::DestructiveRole)
            : box.addButton(QMessageBox::tr("Keep in a &Rescue File and Close"),
                            QMessageBox::ActionRole);
    QPushButton *keep =
        box.addButton(QMessageBox::tr("&Keep the Bar Open"), QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == retry)
        return CloseChoice::TryAgain;
    if (box.clickedButton() == last)
        return rescueFailed ? CloseChoice::CloseAnyway : CloseChoice::Rescue;
    return CloseChoice::KeepOpen;
}

struct Line
{
    QPoint from;
    QPoint to;
    QColor color;
};

// Line1(0) .. Line1(4), painted front last.
const Line kLines[] = {
    {{7, 48}, {7, 242}, QColor(0xDE, 0xDE, 0xD6)},
    {{176, 241}, {7, 241}, QColor(0xFF, 0xFF, 0xFF)},
    {{177, 48}, {177, 242}, QColor(0xDE, 0xDE, 0xD6)},
    {{177, 47}, {162, 47}, QColor(0x2F, 0x54, 0x8F)},
    {{176, 46}, {160, 46}, QColor(0x4F, 0x88, 0xD6)},
};

} // namespace

FrmMargletQK::FrmMargletQK(BarEnvironment environment, QWidget *parent)
    : QWidget(parent, barWindowType() | Qt::FramelessWindowHint), m_env(std::move(environment)),
      m_skins(std::make_unique<SkinSource>(m_env.skinBases))
{
    if (!m_env.report)
        m_env.report = showWarning;
    if (!m_env.fileError)
        m_env.fileError = showFileError;
    if (!m_env.askOnClose)
        m_env.askOnClose = askOnClose;
    if (!m_env.fileDialog) {
        m_ownDialog = std::make_unique<QtFileDialog>();
        m_env.fileDialog = m_ownDialog.get();
    }
    CmnDlgSaveLoad = std::make_unique<LastPathFileDialog>(*m_env.fileDialog);
    NoteBookEnvironment notes;
    notes.dataFolder = m_env.dataFolder;
    notes.rescueFolder = m_env.rescueFolder;
    notes.pause = m_env.autosaveDelay;
    notes.steady = m_env.autosaveLimit;
    notes.retry = m_env.retryInterval;
    m_notes = std::make_unique<NoteBook>(std::move(notes));
    // The notes say each problem once themselves.
    connect(m_notes.get(), &NoteBook::problem, this,
            [this](const QString &message) { m_env.report(message); });
    connect(m_notes.get(), &NoteBook::noteReplaced, this, &FrmMargletQK::showNoteAgain);
    setWindowTitle(QStringLiteral("QKS Marglet"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Appearing, sliding or being clicked must not take the keyboard from
    // the program the user is typing in: the bar takes the focus only when
    // the user clicks into its note pad or picks a note (see allowFocus()).
    // A window that accepts no focus is one no manager hands it to. A zero
    // user time (Qt::WA_ShowWithoutActivating) is not used: KWin answers it
    // by marking the bar as demanding attention.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    resize(535, 343);

    MotionWindow window;
    window.heightTwips = [this] { return heightTwips(); };
    window.heightPixels = [this] { return height(); };
    window.setHeightTwips = [this](int twips) { return setHeightTwips(twips); };
    window.setAlpha = [this](quint8 alpha) {
        setWindowOpacity(alpha / 255.0);
        // Without a window manager the change would wait in the client's
        // buffer until some other X event goes out; it changes rarely, so
        // flush it now.
        if (isVisible())
            QGuiApplication::sync();
    };
    window.showButton = [this](bool expanded) {
        PicMaxMin->setPicture(expanded ? PicMinButton : PicMaxButton);
        PicMaxMin->setAccessibleName(expanded ? tr("Collapse") : tr("Expand"));
    };
    m_motion = std::make_unique<BarMotion>(std::move(window), m_env.tick);
    connect(m_motion.get(), &BarMotion::slideEnded, this, &FrmMargletQK::slideEnded);
    TmrApplySettings.setTimerType(Qt::PreciseTimer);
    TmrApplySettings.setInterval(m_env.tick);
    connect(&TmrApplySettings, &QTimer::timeout, this, &FrmMargletQK::TmrApplySettings_Timer);

    buildControls();
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
    PicBtnArea = new PictureBox(this, QRect(7, 242, 171, 93), QColor(0xDE, 0xED, 0xFE));
    PicClose = new PictureBox(this, QRect(169, 1, 15, 15), kBarBlue);
    PicMaxMin = new PictureBox(this, QRect(152, 1, 15, 15), kBarBlue);

    PicActiveTab = QPixmap(QStringLiteral(":/images/tab_active.gif"));
    PicTab = QPixmap(QStringLiteral(":/images/tab_inactive.gif"));
    PicTab01 = new PictureBox(this, QRect(7, 26, 52, 22), kBarBlue);
    PicTab02 = new PictureBox(this, QRect(59, 26, 52, 22), kBarBlue);
    PicTab03 = new PictureBox(this, QRect(111, 26, 52, 22), kBarBlue);
    PicTab01->setPicture(PicActiveTab);
    PicTab02->setPicture(PicTab);
    PicTab03->setPicture(PicTab);
    const QFont tabFont = sansSerif(8.25);
    const QRect tabCaption(5, 5, 38, 13);
    LblNote01 =
        new CaptionLabel(PicTab01, tabCaption, QStringLiteral("Note 01"), tabFont, Qt::black);
    LblNote02 =
        new CaptionLabel(PicTab02, tabCaption, QStringLiteral("Note 02"), tabFont, Qt::black);
    LblNote03 =
        new CaptionLabel(PicTab03, tabCaption, QStringLiteral("Note 03"), tabFont, Qt::black);
    PicClose->makeControl(tr("Close"), QAccessible::Button);
    PicMaxMin->makeControl(tr("Expand"), QAccessible::Button);
    for (PictureBox *tab : {PicTab01, PicTab02, PicTab03})
        tab->installEventFilter(this);
    PicTab01->makeControl(QStringLiteral("Note 01"), QAccessible::PageTab);
    PicTab02->makeControl(QStringLiteral("Note 02"), QAccessible::PageTab);
    PicTab03->makeControl(QStringLiteral("Note 03"), QAccessible::PageTab);

    const auto button = [this](const QString &caption, const QRect &geometry) {
        auto *b = new QPushButton(caption, this);
        b->setGeometry(geometry);
        b->setFont(arial(8.25));
        QPalette palette = b->palette();
        palette.setColor(QPalette::Button, QColor(0xE0, 0xE0, 0xE0));
        b->setPalette(palette);
        return b;
    };
    CmdExport = button(QStringLiteral("Save As Text File"), QRect(16, 252, 153, 20));
    CmdImport = button(QStringLiteral("Load Text File"), QRect(16, 279, 153, 20));
    CmdAbout = button(QStringLiteral("About"), QRect(95, 306, 74, 19));
    CmdOptions = button(QStringLiteral("Options"), QRect(16, 306, 74, 19));

    // Labels are drawn on the bar's surface, behind every other control.
    const QFont titleFont = sansSerif(9.75, true);
    const QString title = QStringLiteral("QKS Marglet");
    LblTitleBarShd = new CaptionLabel(this, QRect(8, 0, 91, 16), title, titleFont,
                                      palette().color(QPalette::WindowText));
    LblTitleBar = new CaptionLabel(this, QRect(9, 0, 91, 16), title, titleFont, Qt::white);
    LblTitleBar->stackUnder(PicBtnArea);
    LblTitleBarShd->stackUnder(LblTitleBar);

    connect(PicTab01, &PictureBox::clicked, this, &FrmMargletQK::PicTab01_Click);
    connect(PicTab02, &PictureBox::clicked, this, &FrmMargletQK::PicTab02_Click);
    connect(PicTab03, &PictureBox::clicked, this, &FrmMargletQK::PicTab03_Click);
    connect(LblNote01, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote01_Click);
    connect(LblNote02, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote02_Click);
    connect(LblNote03, &CaptionLabel::clicked, this, &FrmMargletQK::LblNote03_Click);
    connect(CmdImport, &QPushButton::clicked, this, &FrmMargletQK::CmdImport_Click);
    connect(CmdExport, &QPushButton::clicked, this, &FrmMargletQK::CmdExport_Click);
    connect(PicClose, &PictureBox::clicked, this, &FrmMargletQK::closeClicked);
    connect(PicMaxMin, &PictureBox::clicked, this, &FrmMargletQK::PicMaxMin_Click);
    connect(CmdAbout, &QPushButton::clicked, this, &FrmMargletQK::aboutClicked);
    connect(CmdOptions, &QPushButton::clicked, this, &FrmMargletQK::optionsClicked);
}

void FrmMargletQK::ensureNotepad()
{
    if (TxtNotepad)
        return;
    TxtNotepad = new QPlainTextEdit(this);
    TxtNotepad->setGeometry(8, 48, 169, 193);
    TxtNotepad->setFrameShape(QFrame::NoFrame);
    TxtNotepad->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxtNotepad->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TxtNotepad->setFont(sansSerif(8.25));
    QPalette palette = TxtNotepad->palette();
    palette.setColor(QPalette::Text, Qt::black);
    TxtNotepad->setPalette(palette);
    TxtNotepad->stackUnder(PicBtnArea);
    // Focus moves through the controls in their design order.
    QWidget *order[] = {PicClose,   PicMaxMin, PicTab01,  PicTab02, PicTab03,
                        TxtNotepad, CmdExport, CmdImport, CmdAbout, CmdOptions};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // It opens on the active note; the change handler is connected after,
    // so that this is no edit of it.
    const qint16 active = m_notes->ActiveNote;
    if (active >= 1 && active <= 3)
        TxtNotepad->setPlainText(m_notes->noteStore(active));
    connect(TxtNotepad->document(), &QTextDocument::contentsChange, this,
            &FrmMargletQK::TxtNotepad_Change);
    TxtNotepad->viewport()->installEventFilter(this);
    TxtNotepad->setVisible(isVisible());
}

void FrmMargletQK::finishStartup()
{
    // Reading the icon costs about a millisecond; nothing shows it before
    // the bar is on screen.
    setWindowIcon(QIcon(QStringLiteral(":/icons/marglet-32.png")));
    ensureNotepad();
    for (CaptionLabel *label : {LblTitleBarShd, LblTitleBar, LblNote01, LblNote02, LblNote03})
        label->fitToText();
}

QString FrmMargletQK::settingsPath() const
{
    return QDir(m_env.dataFolder).filePath(QStringLiteral("settings.dat"));
}

void FrmMargletQK::report(const QString &message)
{
    // Start-up reads the settings twice; one problem is one message.
    if (m_reported.contains(message))
        return;
    m_reported.append(message);
    m_env.report(message);
}

void FrmMargletQK::LoadSettings()
{
    QString error;
    const Settings read = settingsfile::load(settingsPath(), Settings(), &error);
    if (!error.isEmpty())
        report(error);
    PosFromRight = read.PosFromRight;
    PosTop = read.PosTop;
    SkinName = read.SkinName;
    Transparency = read.Transparency;
}

void FrmMargletQK::ShapeWindow(QWidget *window)
{
    if (OSFamily != kFamilyNew)
        return;
    const QRegion region = barlogic::outlineRegion();
    window->setMask(region);
    const QRect box = region.boundingRect();
    if (window == this)
        setBarGeometry(QSize(box.right() + 1, box.bottom() + 1));
    else
        window->resize(box.right() + 1, box.bottom() + 1);
}

void FrmMargletQK::ApplySettings()
{
    LoadSettings();
    BarMotion &m = *m_motion;
    m.setFading(Transparency == 1 && OSFamily == kFamilyNew);
    if (Transparency == 0 && OSFamily == kFamilyNew) {
        m.Opacity = 255;
        TransparentWindow();
    }
    if (Transparency == 1 && OSFamily == kFamilyNew) {
        if (m.Expanded == 0)
            m.Opacity = 80;
        if (m.Expanded == 1)
            m.Opacity = 240;
        TransparentWindow();
    }
    // The value just applied may differ from the fade's band for this height.
    m.wakeFade();
    placeOnScreen();
    LoadSkin();
}

QPixmap FrmMargletQK::loadSkinPicture(const QString &fileName)
{
    QString missing;
    const QImage image = m_skins->load(SkinName, fileName, &missing);
    if (!missing.isEmpty() && !m_reportedMissing.contains(missing)) {
        m_reportedMissing.append(missing);
        // Gathered, so that one skin with several files missing is one message.
        if (m_pendingMissing.isEmpty())
            QTimer::singleShot(0, this, &FrmMargletQK::flushMissingReport);
        m_pendingMissing.append(missing);
    }
    return QPixmap::fromImage(image);
}

void FrmMargletQK::flushMissingReport()
{
    if (m_pendingMissing.isEmpty())
        return;
    const QString files = m_pendingMissing.join(u'\n');
    m_pendingMissing.clear();
    report(tr("These skin images are missing, cannot be read or are larger than the bar:\n%1\n\n"
              "The bar shows its built-in Blue images in their place.")
               .arg(files));
}

void FrmMargletQK::LoadSkin()
{
    m_background = loadSkinPicture(SkinSource::kBackground);
    update();
    PicBtnArea->setPicture(loadSkinPicture(SkinSource::kButtonArea));
    PicClose->setPicture(loadSkinPicture(SkinSource::kClose));
    PicMaxButton = loadSkinPicture(SkinSource::kMax);
    PicMinButton = loadSkinPicture(SkinSource::kMin);
}

void FrmMargletQK::TransparentWindow()
{
    m_motion->TransparentWindow();
}

int FrmMargletQK::heightTwips() const
{
    return twips::fromPixels(height());
}

int FrmMargletQK::setHeightTwips(int value)
{
    setBarGeometry(QSize(width(), twips::toPixels(value)));
    return heightTwips();
}

void FrmMargletQK::setLeftTopTwips(double left, double top)
{
    m_place = QPoint(twips::toPixels(left), twips::toPixels(top));
    m_placed = true;
    setBarGeometry(size());
}

void FrmMargletQK::placeOnScreen()
{
    // The rule counts from the primary screen's own corner, which need not
    // be the desktop's: a primary monitor on the right starts at x > 0.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    setLeftTopTwips(twips::fromPixels(area.x() + area.width()) - double(PosFromRight),
                    twips::fromPixels(area.y()) + double(PosTop));
}

void FrmMargletQK::setBarGeometry(QSize size)
{
    const int oldHeight = height();
    if (!testAttribute(Qt::WA_WState_Created)) {
        // A place given before the window exists reaches the window manager
        // as the frame's corner (NorthWest gravity); some managers ignore a
        // first position given with Static gravity.
        resize(size);
        if (m_placed)
            move(m_place);
    } else if (m_placed) {
        // Always the place from the settings, never the position Qt read
        // back: while a manager reparents the window Qt can see the frame's
        // first corner (0,0), and a plain resize would send the bar there.
        setGeometry(QRect(m_place, size));
    } else {
        resize(size);
    }
    // The same outline, given again for each height.
    if (height() != oldHeight)
        giveShapeAgain(this);
}

void FrmMargletQK::LoadText()
{
    m_notes->LoadText();
}

bool FrmMargletQK::SaveText()
{
    return m_notes->SaveText();
}

bool FrmMargletQK::hasUnsavedNotes() const
{
    return m_notes->hasUnsaved();
}

void FrmMargletQK::SwitchNote(const qint16 &note)
{
    if (note < 1 || note > 3)
        return;
    PicTab01->setPicture(note == 1 ? PicActiveTab : PicTab);
    PicTab02->setPicture(note == 2 ? PicActiveTab : PicTab);
    PicTab03->setPicture(note == 3 ? PicActiveTab : PicTab);
    setNotepadText(m_notes->noteStore(note));
}

QString FrmMargletQK::notepadText() const
{
    const qint16 active = m_notes->ActiveNote;
    if (!TxtNotepad)
        return active >= 1 && active <= 3 ? m_notes->noteStore(active) : QString();
    QString text = TxtNotepad->document()->toRawText();
    notecodec::toLineFeeds(text);
    return text;
}

void FrmMargletQK::setNotepadText(const QString &text)
{
    QString normal = text;
    notecodec::toLineFeeds(normal);
    if (!TxtNotepad) {
        // The pad, once built, opens on the active note.
        m_notes->replaceActive(normal);
        return;
    }
    m_padReplacement = &normal;
    TxtNotepad->setPlainText(normal);
    m_padReplacement = nullptr;
}

void FrmMargletQK::showNoteAgain(int note)
{
    if (note != m_notes->ActiveNote || !TxtNotepad)
        return;
    // New text from the note's file: the caret stays about where it was.
    const int position = TxtNotepad->textCursor().position();
    setNotepadText(m_notes->noteStore(note));
    QTextCursor cursor = TxtNotepad->textCursor();
    cursor.setPosition(std::min(position, TxtNotepad->document()->characterCount() - 1));
    TxtNotepad->setTextCursor(cursor);
}

void FrmMargletQK::TxtNotepad_Change(int position, int removed, int added)
{
    const qint16 active = m_notes->ActiveNote;
    if (active < 1 || active > 3)
        return;
    if (m_padReplacement) {
        m_notes->replaceActive(*m_padReplacement);
        return;
    }
    // Only the edited range is copied: a keystroke in a note of several
    // megabytes costs what the keystroke changed, not the whole note. The
    // document counts its closing paragraph in some changes.
    const QTextDocument *document = TxtNotepad->document();
    const int length = document->characterCount() - 1;
    removed = std::min(removed, int(m_notes->noteStore(active).size()) - position);
    added = std::min(added, length - position);
    if (position >= 0 && removed >= 0 && added >= 0) {
        QTextCursor cursor(TxtNotepad->document());
        cursor.setPosition(position);
        cursor.setPosition(position + added, QTextCursor::KeepAnchor);
        if (m_notes->editActive(position, removed, cursor.selectedText(), length))
            return;
    }
    // Should the document ever report a range that does not add up, take
    // the whole text rather than keep a wrong one.
    m_notes->replaceActive(notepadText());
}

void FrmMargletQK::selectTab(qint16 note)
{
    // The field first: the switch replaces the pad's text, and the change
    // handler must write that text back to the note it belongs to.
    m_notes->ActiveNote = note;
    ensureNotepad();
    SwitchNote(note);
    // Picking a note is picking what to type into.
    TxtNotepad->setFocus(Qt::MouseFocusReason);
    allowFocus();
}

void FrmMargletQK::PicTab01_Click()
{
    selectTab(1);
}
void FrmMargletQK::PicTab02_Click()
{
    selectTab(2);
}
void FrmMargletQK::PicTab03_Click()
{
    selectTab(3);
}
void FrmMargletQK::LblNote01_Click()
{
    selectTab(1);
}
void FrmMargletQK::LblNote02_Click()
{
    selectTab(2);
}
void FrmMargletQK::LblNote03_Click()
{
    selectTab(3);
}

void FrmMargletQK::CmdImport_Click()
{
    const std::optional<QString> path = CmnDlgSaveLoad->openFile(this, QString(), kFileFilter);
    if (!path)
        return;
    // The pad is where an import shows; the note takes the text with it.
    ensureNotepad();
    QString error;
    if (!m_notes->importFile(*path, &error))
        m_env.fileError(tr("Error Loading Text File"), error);
}

void FrmMargletQK::CmdExport_Click()
{
    const std::optional<QString> path = CmnDlgSaveLoad->saveFile(this, QString(), kFileFilter);
    if (!path)
        return;
    QString error;
    if (!m_notes->exportFile(*path, &error))
        m_env.fileError(tr("Error Saving Text File"), error);
}

void FrmMargletQK::PicMaxMin_Click()
{
    ensureNotepad();
    m_motion->PicMaxMin_Click();
}

void FrmMargletQK::slideEnded(qint16 expanded)
{
    // A caret blinking in a note pad nobody can see would wake the program
    // twice a second for nothing; and the next click on the strip must not
    // take the keyboard either.
    if (expanded == 0 && TxtNotepad && TxtNotepad->hasFocus())
        TxtNotepad->clearFocus();
    if (expanded == 0)
        acceptFocus(false);
}

void FrmMargletQK::acceptFocus(bool accept)
{
    QWindow *window = windowHandle();
    if (window && window->flags().testFlag(Qt::WindowDoesNotAcceptFocus) == accept)
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
}

void FrmMargletQK::allowFocus()
{
    acceptFocus(true);
    // Asked with the time of the user's click, for managers that give no
    // focus on a click (or when there is no manager).
    if (windowHandle() && !isActiveWindow())
        activateWindow();
}

void FrmMargletQK::changeEvent(QEvent *event)
{
    // Once the user has left the bar, a click on its strip must not take
    // the keyboard away from the program they went to.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        acceptFocus(false);
    QWidget::changeEvent(event);
}

bool FrmMargletQK::eventFilter(QObject *watched, QEvent *event)
{
    // Pointing at the note pad or a tab means typing may be next: from then
    // on the window accepts the keyboard, so that the click that follows is
    // one every window manager answers with the focus (KWin ignores a
    // request made after it has handled the click on a window that refused
    // it). Leaving without clicking takes that back.
    const bool tab = watched == PicTab01 || watched == PicTab02 || watched == PicTab03;
    if (tab || (TxtNotepad && watched == TxtNotepad->viewport())) {
        switch (event->type()) {
        case QEvent::Enter:
            acceptFocus(true);
            break;
        case QEvent::Leave:
            if (!isActiveWindow())
                acceptFocus(false);
            break;
        case QEvent::MouseButtonPress:
            if (!tab)
                allowFocus(); // a tab asks when it is picked
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMargletQK::TmrApplySettings_Timer()
{
    LoadSettings();
    ApplySettings();
    PicMaxMin->setPicture(
        loadSkinPicture(m_motion->Expanded == 0 ? SkinSource::kMax : SkinSource::kMin));
    TmrApplySettings.stop();
}

void FrmMargletQK::closeForGood()
{
    m_closing = true;
    close();
}

void FrmMargletQK::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    event->ignore();
    // After this close has returned: the sequence ends by closing the window.
    QTimer::singleShot(0, this, [this] { Q_EMIT closeClicked(); });
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
    painter.drawPixmap(0, 0, m_background);
    for (const Line &line : kLines) {
        painter.setPen(line.color);
        painter.drawLine(line.from, line.to);
    }
}
