#include "marglet.h"

#include "core/desktop.h"
#include "dialogs/dialogplace.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

MargletApp::MargletApp(BarEnvironment environment, OptionsEnvironment options, QObject *parent)
    : QObject(parent), m_bar(std::make_unique<FrmMargletQK>(std::move(environment))),
      m_optionsEnvironment(std::move(options))
{
    FrmMargletQK *bar = m_bar.get();
    m_optionsEnvironment.settingsPath = bar->settingsPath();
    m_optionsEnvironment.skinBases = bar->environment().skinBases;
    m_optionsEnvironment.barLeft = [bar] { return bar->place().x(); };
    m_optionsEnvironment.barScreen = [this] { return barScreen(); };
    m_optionsEnvironment.enableApplyTimer = [bar] { bar->enableApplySettings(); };
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

    connect(m_bar.get(), &FrmMargletQK::unloading, this, &MargletApp::closeDialogs);
    connect(m_bar.get(), &FrmMargletQK::aboutClicked, this, &MargletApp::CmdAbout_Click);
    connect(m_bar.get(), &FrmMargletQK::optionsClicked, this, &MargletApp::CmdOptions_Click);
}

MargletApp::~MargletApp() = default;

void MargletApp::closeDialogs()
{
    if (m_about)
        m_about->close();
    if (m_options)
        m_options->close();
}

QScreen *MargletApp::barScreen() const
{
    const QRect bar(m_bar->place(), m_bar->size());
    if (QScreen *screen = QGuiApplication::screenAt(bar.center()))
        return screen;
    // A bar placed off every screen still belongs to the primary one.
    return QGuiApplication::primaryScreen();
}

void MargletApp::bringUp(QWidget *dialog, FocusOrigin &origin)
{
    // Shown again while it has the keyboard, it keeps the origin it has.
    if (QApplication::activeWindow() != dialog) {
        // The system's word first: Qt hears that its window lost the
        // keyboard a moment after it happened.
        origin.foreign = foreignFocusWindow();
        QWidget *active = origin.foreign ? nullptr : QApplication::activeWindow();
        origin.control =
            active ? (active->focusWidget() ? active->focusWidget() : active) : nullptr;
    }
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
        m_about->installEventFilter(this);
        keepOutOfTaskbar(m_about);
        if (const QScreen *screen = barScreen()) {
            const QSize outer = outerSizeBeforeShow(m_about);
            m_about->move(dialogplace::keptWhole(dialogplace::centred(screen->geometry(), outer),
                                                 outer, screen->availableGeometry()));
        }
    }
    bringUp(m_about, m_aboutOrigin);
}

void MargletApp::CmdOptions_Click()
{
    // While it is open it is only shown again: not loaded a second time.
    if (!m_options) {
        m_options = new FrmOptions(m_optionsEnvironment);
        m_options->installEventFilter(this);
        keepOutOfTaskbar(m_options);
    }
    bringUp(m_options, m_optionsOrigin);
}

bool MargletApp::eventFilter(QObject *watched, QEvent *event)
{
    // A dialog closed while it has the keyboard gives it back to where it
    // was when the dialog took it, once the dialog is gone: left to itself,
    // the window manager may hand it to nobody (the bar no longer accepts
    // it), and the user would be typing into the desktop.
    if (event->type() == QEvent::Close && static_cast<QWidget *>(watched)->isActiveWindow()) {
        const FocusOrigin origin = watched == m_about ? m_aboutOrigin : m_optionsOrigin;
        QTimer::singleShot(0, this, [this, origin] { giveFocusBack(origin); });
    }
    return false;
}

void MargletApp::giveFocusBack(const FocusOrigin &origin)
{
    if (!origin.control) {
        if (origin.foreign)
            focusForeignWindow(origin.foreign);
        return;
    }
    QWidget *window = origin.control->window();
    if (window == m_bar.get()) {
        m_bar->takeFocusBack(origin.control);
    } else if (window->isVisible()) {
        window->activateWindow();
        origin.control->setFocus(Qt::OtherFocusReason);
    }
}
