#include "marglet.h"

#include "alwaysontop.h"
#include "notesaver.h"
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
    bar.LoadText();
    bar.setNotepadText(bar.TxtNote01);
}

QString MargletApp::unsavedNotes() const
{
    QStringList notes;
    for (int note = 1; note <= 3; ++note) {
        if (m_bar->noteSaver().isDirty(note))
            notes.append(QStringLiteral("Note 0%1").arg(note));
    }
    return notes.join(QStringLiteral(", "));
}

void MargletApp::closeWindows()
{
    m_bar->close();
    Q_EMIT finished();
}

bool MargletApp::saveOrAsk()
{
    // Closing must never drop edits silently: while a note cannot be
    // written the user may try again or keep the bar (and the text) open.
    while (!m_bar->SaveText()) {
        const QString problem =
            tr("These notes could not be saved: %1.\n\nTry again, or keep the bar open and "
               "save the text elsewhere with \"Save As Text File\".")
                .arg(unsavedNotes());
        if (!m_bar->environment().retrySave(problem))
            return false;
    }
    return true;
}

void MargletApp::PicClose_Click()
{
    if (saveOrAsk())
        closeWindows();
}

bool MargletApp::saveBeforeExit()
{
    if (m_bar->SaveText())
        return true;
    qWarning("marglet: could not save %s", qUtf8Printable(unsavedNotes()));
    return false;
}

void MargletApp::CmdAbout_Click()
{
}

void MargletApp::CmdOptions_Click()
{
}
