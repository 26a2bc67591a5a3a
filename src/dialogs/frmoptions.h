#pragma once

#include "core/autostart.h"
#include "settings/settingscodec.h"
#include "updatebrowser.h"
#include "updatecheck.h"

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScreen;

// What the Options dialog needs from the world around it.
struct OptionsEnvironment
{
    QString settingsPath;                   // settings.dat
    QStringList skinBases;                  // folders that hold a skins folder
    std::function<int()> barLeft;           // the bar's left edge, in pixels
    std::function<QScreen *()> barScreen;   // the screen that holds the bar
    std::function<void()> enableApplyTimer; // lets the bar pick up saved settings
    // Tells the user something went wrong; the default shows a message box.
    std::function<void(const QString &)> report;
    QString updateBase = updatecheck::defaultBase(); // scheme and host, no trailing slash
    std::chrono::milliseconds firstTick{10};
    std::chrono::milliseconds stepInterval{4000};
    // Shows a page in the user's browser; the default asks the desktop.
    std::function<void(const QUrl &)> openInBrowser;
    // Where the update check's network module lies; empty: the program folder.
    QString moduleFolder;
    // Where the system keeps the start at login.
    autostart::Place autostart = autostart::systemPlace();
};

// The Options dialog: skin, position and fading, stored on "Apply" (the
// start at login too, where the system keeps it), and the check for a newer
// version. It deletes itself when closed, ending any check
// in progress; whether one is open already is the caller's business.
class FrmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit FrmOptions(OptionsEnvironment environment, QWidget *parent = nullptr);
    ~FrmOptions() override;

    // The values each position option stands for, in twips.
    static constexpr qint16 kXpFromRight = 3840;
    static constexpr qint16 kXpTop = 70;
    static constexpr qint16 k9xFromRight = 3590;
    static constexpr qint16 k9xTop = 0;

    // The dialog's own copy of the settings, as "Apply" will store it.
    Settings settings;

    qint16 UpdateStep = 0;
    // The status page's title as read on the second tick of a check.
    QString LblPageTitle;

    QWidget *PicSkinGroup = nullptr;
    QLabel *LblSkin = nullptr;
    QLabel *LblSkinDesc = nullptr;
    QLabel *LblSelectSkin = nullptr;
    QComboBox *CmbSkin = nullptr;

    QWidget *Picture1 = nullptr;
    QLabel *LblPosition = nullptr;
    QLabel *LblPositionDesc = nullptr;
    QRadioButton *RadXP = nullptr;
    QLabel *PicXP = nullptr;
    QRadioButton *Rad9x = nullptr;
    QLabel *Pic9x = nullptr;

    QWidget *PicTransGroup = nullptr;
    QLabel *LblTransparency = nullptr;
    QLabel *LblTransDesc = nullptr;
    QLabel *LblTransWarning = nullptr;
    QRadioButton *RadTransOn = nullptr;
    QRadioButton *RadTransOff = nullptr;

    QPushButton *CmdUpdate = nullptr;
    QLabel *LblUpdate = nullptr;
    QPushButton *CmdCancel = nullptr;
    QPushButton *CmdSave = nullptr;
    QCheckBox *ChkAutostart = nullptr;
    QLabel *LblAutostart = nullptr; // why the box cannot be used, when it cannot

    UpdateBrowser QKNUpdate;
    QTimer TmrUpdate;

    const OptionsEnvironment &environment() const { return m_env; }

    void LoadSettings();
    bool SaveSettings();

    void RadXP_Click();
    void Rad9x_Click();
    void RadTransOn_Click();
    void RadTransOff_Click();
    void CmbSkin_Click(const QString &name);
    void CmdSave_Click();
    void CmdCancel_Click();
    void CmdUpdate_Click();
    void TmrUpdate_Timer();

protected:
    // Escape closes it, as Close does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    // What screen readers are told beyond the captions.
    void describeControls();
    void Form_Load();
    // The box as the system has it, and the window's height to hold it.
    void showAutostart(const autostart::State &state);
    void applyAutostart();

    OptionsEnvironment m_env;
    // Set while the box handles a typed name, which is no choice from the list.
    bool m_typingEnds = false;
    bool m_autostartShown = false; // what the start-at-login box last showed
};
