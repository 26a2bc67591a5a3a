#include "barsetup.h"

#include "barlogic.h"
#include "barmotion.h"
#include "barnotes.h"
#include "barplacement.h"
#include "barskin.h"
#include "core/alwaysontop.h"
#include "core/twips.h"
#include "core/windowsversiondetect.h"
#include "notes/notebook.h"
#include "picturebox.h"
#include "settings/settingsfile.h"

#include <QDir>
#include <QGuiApplication>

using WindowsVersionDetect::kFamilyNew;
using WindowsVersionDetect::OSFamily;

BarSetup::BarSetup(const BarEnvironment &environment, BarParts parts)
    : QObject(parts.window), m_dataFolder(environment.dataFolder), m_parts(std::move(parts)),
      m_skin(new BarSkin(environment.skinBases, m_parts.report, this)),
      m_placement(std::make_unique<BarPlacement>(*m_parts.window))
{
    QWidget *bar = m_parts.window;
    MotionWindow window;
    window.heightTwips = [this] { return m_placement->heightTwips(); };
    window.heightPixels = [bar] { return bar->height(); };
    window.setHeightTwips = [this](int twips) { return m_placement->setHeightTwips(twips); };
    window.setAlpha = [bar](quint8 alpha) {
        bar->setWindowOpacity(alpha / 255.0);
        // Without a window manager the change would wait in the client's
        // buffer until some other X event goes out; it changes rarely, so
        // flush it now.
        if (bar->isVisible())
            QGuiApplication::sync();
    };
    window.showButton = [this](bool expanded) { showMaxMin(expanded); };
    m_motion = new BarMotion(std::move(window), environment.tick, this);
    TmrApplySettings.setObjectName(QStringLiteral("TmrApplySettings"));
    TmrApplySettings.setTimerType(Qt::PreciseTimer);
    TmrApplySettings.setInterval(environment.tick);
    connect(&TmrApplySettings, &QTimer::timeout, this, &BarSetup::TmrApplySettings_Timer);
}

BarSetup::~BarSetup() = default;

const QPixmap &BarSetup::background() const
{
    return m_skin->background();
}

QString BarSetup::settingsPath() const
{
    return QDir(m_dataFolder).filePath(QStringLiteral("settings.dat"));
}

void BarSetup::Form_Load()
{
    QWidget *bar = m_parts.window;
    WindowsVersionDetect::DetectWindowsVersion();
    m_settings.SkinName = QStringLiteral("Blue");
    LoadSettings();
    ShapeWindow(bar);
    m_parts.notes->notes().ActiveNote = 1;
    AlwaysOnTop::SetTopmost(bar);
    bar->resize(twips::toPixels(2775), bar->height());
    m_placement->setHeightTwips(255);
    placeOnScreen();
    m_parts.PicMaxMin->setPicture(m_skin->maxMin(0, BarSkin::From::File, m_settings.SkinName));
    ApplySettings();
    if (OSFamily == kFamilyNew && m_settings.Transparency == 1) {
        m_motion->Opacity = 80;
        TransparentWindow();
    }
    m_parts.notes->notes().LoadText();
    m_parts.notes->setNotepadText(m_parts.notes->notes().TxtNote01);
}

void BarSetup::LoadSettings()
{
    QString error;
    m_settings = settingsfile::load(settingsPath(), Settings(), &error);
    if (!error.isEmpty())
        m_parts.report(error);
}

void BarSetup::ShapeWindow(QWidget *window)
{
    if (OSFamily != kFamilyNew)
        return;
    const QRegion region = barlogic::outlineRegion();
    window->setMask(region);
    const QSize size(region.boundingRect().right() + 1, region.boundingRect().bottom() + 1);
    if (window == m_parts.window)
        m_placement->setSize(size);
    else
        window->resize(size);
}

void BarSetup::ApplySettings()
{
    LoadSettings();
    BarMotion &m = *m_motion;
    const qint16 transparency = m_settings.Transparency;
    m.setFading(transparency == 1 && OSFamily == kFamilyNew);
    if (transparency == 0 && OSFamily == kFamilyNew) {
        m.Opacity = 255;
        TransparentWindow();
    }
    if (transparency == 1 && OSFamily == kFamilyNew) {
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

void BarSetup::LoadSkin()
{
    m_skin->LoadSkin(m_settings.SkinName);
    m_parts.window->update();
    m_parts.PicBtnArea->setPicture(m_skin->buttonArea());
    m_parts.PicClose->setPicture(m_skin->close());
}

void BarSetup::TransparentWindow()
{
    m_motion->TransparentWindow();
}

void BarSetup::placeOnScreen()
{
    m_placement->placeOnScreen(m_settings.PosFromRight, m_settings.PosTop);
}

void BarSetup::TmrApplySettings_Timer()
{
    LoadSettings();
    ApplySettings();
    m_parts.PicMaxMin->setPicture(
        m_skin->maxMin(m_motion->Expanded, BarSkin::From::File, m_settings.SkinName));
    TmrApplySettings.stop();
}

void BarSetup::showMaxMin(bool expanded)
{
    m_parts.PicMaxMin->setPicture(m_skin->maxMin(expanded ? 1 : 0, BarSkin::From::Holders));
    m_parts.PicMaxMin->setAccessibleName(expanded ? tr("Collapse") : tr("Expand"));
    QAccessible::State state;
    state.expandable = true;
    state.expanded = expanded;
    state.collapsed = !expanded;
    m_parts.PicMaxMin->setAccessibleStates(state);
}
