// What the Options dialog's controls and its update timer do.
#include "frmoptions.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

void FrmOptions::RadXP_Click()
{
    settings.PosFromRight = kXpFromRight;
    settings.PosTop = kXpTop;
}

void FrmOptions::Rad9x_Click()
{
    settings.PosFromRight = k9xFromRight;
    settings.PosTop = k9xTop;
}

void FrmOptions::RadTransOn_Click()
{
    settings.Transparency = 1;
}

void FrmOptions::RadTransOff_Click()
{
    settings.Transparency = 0;
}

void FrmOptions::CmbSkin_Click(const QString &name)
{
    settings.SkinName = name;
}

void FrmOptions::CmdSave_Click()
{
    // The bar's timer fires only once this handler has returned, by which
    // time the file holds the new values.
    if (m_env.enableApplyTimer)
        m_env.enableApplyTimer();
    SaveSettings();
    applyAutostart();
}

void FrmOptions::applyAutostart()
{
    // Only a change the user made is written; the box then shows what the
    // system has, whether the change was taken or not.
    const bool wanted = ChkAutostart->isChecked();
    QString error;
    if (wanted != m_autostartShown && autostart::read(m_env.autostart).on != wanted &&
        !autostart::write(m_env.autostart, wanted, &error))
        m_env.report(error);
    showAutostart(autostart::read(m_env.autostart));
}

void FrmOptions::CmdCancel_Click()
{
    close();
}

void FrmOptions::CmdUpdate_Click()
{
    const QString caption = CmdUpdate->text();
    if (caption == updatecheck::kCheckCaption)
        UpdateStep = 0;
    LblUpdate->show();
    // A timer already running keeps its phase, as enabling it again would.
    if (!TmrUpdate.isActive())
        TmrUpdate.start();
    CmdUpdate->setEnabled(false);
    if (caption == updatecheck::kDownloadCaption) {
        LblUpdate->setText(updatecheck::kDownloading);
        m_env.openInBrowser(updatecheck::downloadPage(m_env.updateBase));
    }
}

void FrmOptions::TmrUpdate_Timer()
{
    TmrUpdate.setInterval(m_env.stepInterval);
    const updatecheck::Tick tick = updatecheck::tick(UpdateStep, LblPageTitle);
    switch (tick.action) {
    case updatecheck::Action::Contact:
        LblUpdate->setText(tick.message);
        if (!QKNUpdate.Navigate(updatecheck::statusPage(m_env.updateBase))) {
            // Not the server's fault: say what is wrong, and let the user
            // try again once the module is back.
            LblUpdate->setText(updatecheck::kCannotRun);
            CmdUpdate->setEnabled(true);
            TmrUpdate.stop();
            m_env.report(QKNUpdate.ModuleProblem());
            return;
        }
        break;
    case updatecheck::Action::ReadTitle:
        LblPageTitle = QKNUpdate.LocationName();
        break;
    case updatecheck::Action::Conclude:
        LblUpdate->setText(tick.message);
        CmdUpdate->setEnabled(tick.buttonEnabled);
        CmdUpdate->setText(tick.caption);
        TmrUpdate.stop();
        break;
    case updatecheck::Action::Nothing:
        break;
    }
    UpdateStep = updatecheck::advance(UpdateStep);
}
