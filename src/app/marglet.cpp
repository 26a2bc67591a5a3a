#include "marglet.h"

#include "alwaysontop.h"
#include "picturebox.h"
#include "skins.h"
#include "twips.h"
#include "windowsversiondetect.h"

#include <QPlainTextEdit>

using WindowsVersionDetect::kFamilyNew;
using WindowsVersionDetect::OSFamily;

MargletApp::MargletApp(BarEnvironment environment, QObject *parent)
    : QObject(parent), m_bar(std::make_unique<FrmMargletQK>(std::move(environment)))
{
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
    bar.ActiveNote = 1;
    AlwaysOnTop::SetTopmost(&bar);
    bar.resize(twips::toPixels(2775), bar.height());
    bar.setHeightTwips(255);
    bar.setLeftTopTwips(double(FrmMargletQK::screenWidthTwips()) - bar.PosFromRight, bar.PosTop);
    bar.PicMaxMin->setPicture(bar.loadSkinPicture(SkinSource::kMax));
    bar.ApplySettings();
    if (OSFamily == kFamilyNew && bar.Transparency == 1) {
        bar.Opacity = 80;
        bar.TransparentWindow();
    }
    bar.TxtNotepad->setPlainText(bar.TxtNote01);
}

void MargletApp::PicClose_Click()
{
    m_bar->close();
    Q_EMIT finished();
}

void MargletApp::CmdAbout_Click()
{
}

void MargletApp::CmdOptions_Click()
{
}
