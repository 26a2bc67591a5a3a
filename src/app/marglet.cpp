#include "marglet.h"

#include "bar/picturebox.h"
#include "core/alwaysontop.h"
#include "core/desktop.h"
#include "core/twips.h"
#include "core/windowsversiondetect.h"
#include "dialogs/dialogplace.h"
#include "notes/notebook.h"
#include "settings/skins.h"

#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

using WindowsVersionDetect::kFamilyNew;
using WindowsVersionDetect::OSFamily;

MargletApp::MargletApp(BarEnvironment environment, OptionsEnvironment options, QObject *parent)
    : QObject(parent), m_bar(std::make_unique<FrmMargletQK>(std::move(environment))),
      m_optionsEnvironment(std::move(options))
{
    FrmMargletQK *bar = m_bar.get();
    m_optionsEnvironment.settingsPath = bar->settingsPath();
    m_optionsEnvironment.skinBases = bar->environment().skinBases;
    m_optionsEnvironment.barLeft = [bar] { return bar->place().x(); };
    m_optionsEnvironment.barScreen = [this] { return barScreen(); };
    m_optionsEnvironment.enableApplyTimer = [bar] { bar->TmrApplySettings.start(); };
    if (!m_optionsEnvironment.report)
        m_optionsEnvironment.report = bar->environment().report;

    // A monitor unplugged or a new resolution must not leave the bar out of
    // reach: it is placed again by the same rule.
    const auto followScreen = [this, bar](QScreen *screen) {
        if (screen)
            connect(screen, &QScreen::geometryChanged, bar, &FrmMargletQK::placeOnScreen,
                    Qt::UniqueConnection);
        bar->placeOnScreen();
    };
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, followScreen);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::geometryChanged, bar, &FrmMargletQK::placeOnScreen);

    connect(m_bar.get(), &FrmMargletQK::closeClicked, this, &MargletApp::PicClose_Click);
    connect(m_bar.get(), &FrmMargletQK::aboutClicked, this, &MargletApp::CmdAbout_Click);
    connect(m_bar.get(), &FrmMargletQK::optionsClicked, this, &MargletApp::CmdOptions_Click);
}

MargletApp::~MargletApp() = default;

void MargletApp::Form_Load()
{
    FrmMargletQK &bar = *m_bar;
    WindowsVersionDetect::DetectWindowsVersion();
    bar.SkinName = QStringLiteral("Blue");
    bar.LoadSettings();
    bar.ShapeWindow(&bar);
    bar.notes().ActiveNote = 1;
    AlwaysOnTop::SetTopmost(&bar);
    bar.resize(twips::toPixels(2775), bar.height());
    bar.setHeightTwips(255);
    bar.placeOnScreen();
    bar.PicMaxMin->setPicture(bar.loadSkinPicture(SkinSource::kMax));
    bar.ApplySettings();
    if (OSFamily == kFamilyNew && bar.Transparency == 1) {
        bar.motion().Opacity = 80;
        bar.TransparentWindow();
    }
    bar.LoadText();
    bar.setNotepadText(bar.notes().TxtNote01);
}

void MargletApp::closeWindows()
{
    if (m_about)
        m_about->close();
    if (m_options)
        m_options->close();
    m_bar->closeForGood();
    Q_EMIT finished();
}

bool MargletApp::saveOrAsk()
{
    // Closing must never drop edits silently: while a note cannot be
    // written the user may try again, keep the text in a rescue file, or
    // keep the bar (and the text) open.
    NoteBook &notes = m_bar->notes();
    bool rescueFailed = false;
    QString rescueError;
    while (!m_bar->SaveText()) {
        const QString problem =
            rescueFailed
                ? tr("These notes could not be saved where they belong: %1.\n\n%2\n\nTry "
                     "again, keep the bar open, or close without saving them.")
                      .arg(notes.unsavedCaptions(), rescueError)
                : tr("These notes could not be saved where they belong: %1.\n\nTry again, or "
                     "keep their text in a new file in \"%2\" and close.")
                      .arg(notes.unsavedCaptions(),
                           QDir::toNativeSeparators(m_bar->environment().rescueFolder));
        switch (m_bar->environment().askOnClose(problem, rescueFailed)) {
        case CloseChoice::TryAgain:
            continue;
        case CloseChoice::KeepOpen:
            return false;
        case CloseChoice::CloseAnyway:
            return true;
        case CloseChoice::Rescue: {
            QStringList written;
            rescueError.clear();
            if (notes.rescue(&written, &rescueError)) {
                qWarning("marglet: unsaved notes kept in %s",
                         qUtf8Printable(written.join(QStringLiteral(", "))));
                return true;
            }
            rescueFailed = true;
            rescueError = tr("The rescue file could not be written either. %1").arg(rescueError);
            continue;
        }
        }
    }
    return true;
}

void MargletApp::PicClose_Click()
{
    if (saveOrAsk()) {
        m_ended = true;
        closeWindows();
    }
}

bool MargletApp::saveBeforeExit()
{
    NoteBook &notes = m_bar->notes();
    if (m_ended || notes.saveNow())
        return !notes.hasUnsaved();
    // Nobody may be there to ask: what cannot go to its own file goes to a
    // rescue file, and the exit status tells.
    QStringList written;
    QString error;
    if (notes.rescue(&written, &error)) {
        if (!written.isEmpty())
            qWarning("marglet: unsaved notes kept in %s",
                     qUtf8Printable(written.join(QStringLiteral(", "))));
    } else {
        qWarning("marglet: %s", qUtf8Printable(error));
    }
    return false;
}

int MargletApp::exitStatus() const
{
    return m_bar->notes().hasUnsaved() ? 1 : 0;
}

QScreen *MargletApp::barScreen() const
{
    const QRect bar(m_bar->place(), m_bar->size());
    if (QScreen *screen = QGuiApplication::screenAt(bar.center()))
        return screen;
    // A bar placed off every screen still belongs to the primary one.
    return QGuiApplication::primaryScreen();
}

void MargletApp::bringUp(QWidget *dialog)
{
    // Without a parent and as ordinary windows, so that the bar stays in
    // front of them under every window manager; kept out of the taskbar by
    // hand instead. Some managers (openbox) let an ordinary window be
    // minimised whatever it asks; with no taskbar entry, the button that
    // opened it brings it back.
    dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    // Without a window manager the dialog now lies over the bar.
    m_bar->raise();
}

void MargletApp::CmdAbout_Click()
{
    if (!m_about) {
        m_about = new FrmAbout();
        keepOutOfTaskbar(m_about);
        if (const QScreen *screen = barScreen()) {
            const QSize outer = outerSizeBeforeShow(m_about);
            m_about->move(dialogplace::keptWhole(dialogplace::centred(screen->geometry(), outer),
                                                 outer, screen->availableGeometry()));
        }
    }
    bringUp(m_about);
}

void MargletApp::CmdOptions_Click()
{
    // While it is open it is only shown again: not loaded a second time.
    if (!m_options) {
        m_options = new FrmOptions(m_optionsEnvironment);
        keepOutOfTaskbar(m_options);
    }
    bringUp(m_options);
}
