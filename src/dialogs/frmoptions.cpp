#include "frmoptions.h"

#include "core/accessibility.h"
#include "core/designfonts.h"
#include "core/desktop.h"
#include "core/formwidgets.h"
#include "core/message.h"
#include "core/windowsversiondetect.h"
#include "dialogplace.h"
#include "settings/settingsfile.h"
#include "settings/skins.h"
#include "updatecheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

using designfonts::arial;
using formwidgets::button;
using formwidgets::label;
using formwidgets::panel;
using formwidgets::picture;
using WindowsVersionDetect::kFamilyOld;
using WindowsVersionDetect::OSFamily;

FrmOptions::FrmOptions(OptionsEnvironment environment, QWidget *parent)
    : QWidget(parent, dialogWindowType(Qt::Dialog) | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_env(std::move(environment))
{
    if (!m_env.report)
        m_env.report = showWarning;
    if (!m_env.openInBrowser)
        m_env.openInBrowser = [](const QUrl &url) { QDesktopServices::openUrl(url); };

    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("QKS Marglet Options"));
    accessibility::setRole(this, QAccessible::Dialog);
    setWindowIcon(QIcon(QStringLiteral(":/icons/marglet-32.png")));
    setFont(designfonts::formDefault());

    QKNUpdate.setModuleFolder(m_env.moduleFolder);
    TmrUpdate.setTimerType(Qt::PreciseTimer);
    TmrUpdate.setInterval(m_env.firstTick);
    connect(&TmrUpdate, &QTimer::timeout, this, &FrmOptions::TmrUpdate_Timer);

    buildControls();
    // Its height is known before it is placed.
    showAutostart(autostart::read(m_env.autostart));
    describeControls();
    Form_Load();
}

FrmOptions::~FrmOptions() = default;

void FrmOptions::buildControls()
{
    const QFont heading = arial(14.25);
    const QFont text = arial(9.75);
    const QFont option = arial(8.25);
    const auto radio = formwidgets::radio;

    PicSkinGroup = panel(this, QRect(8, 8, 473, 97));
    LblSkin = label(PicSkinGroup, QStringLiteral("Marglet Skin"), heading, QRect(0, 0, 233, 25));
    LblSkinDesc = label(PicSkinGroup,
                        QStringLiteral("You can adjust the look of Marglet to better match your "
                                       "current Windows theme. Select the skin you would like to "
                                       "use from the options below."),
                        text, QRect(0, 24, 465, 49), {}, true);
    LblSelectSkin =
        label(PicSkinGroup, QStringLiteral("Select Skin:"), text, QRect(232, 72, 73, 17));
    CmbSkin = new QComboBox(PicSkinGroup);
    // When typing ends the box chooses a listed name that matches what was
    // typed; only a choice from the list may change the skin. Connected
    // before the box connects its own handler, these two run around it.
    auto *edit = new QLineEdit;
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_typingEnds = true; });
    CmbSkin->setLineEdit(edit);
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_typingEnds = false; });
    CmbSkin->setCompleter(nullptr);
    // Typing a name and pressing Enter must not grow the list.
    CmbSkin->setInsertPolicy(QComboBox::NoInsert);
    CmbSkin->setGeometry(312, 72, 153, 21);

    Picture1 = panel(this, QRect(8, 112, 473, 129));
    LblPosition = label(Picture1, QStringLiteral("Marglet Position"), heading, QRect(0, 0, 0, 0));
    LblPositionDesc = label(Picture1,
                            QStringLiteral("Choose the position of the Marglet window. The best "
                                           "position will vary depending on your current Windows "
                                           "visual style."),
                            text, QRect(0, 24, 465, 49), {}, true);
    RadXP = radio(Picture1, QStringLiteral(" Windows XP Style"), QRect(8, 64, 153, 17), option);
    PicXP = picture(Picture1, QStringLiteral(":/images/pic_xp.gif"), QPoint(160, 64));
    Rad9x =
        radio(Picture1, QStringLiteral(" Windows Classic Style"), QRect(8, 96, 153, 17), option);
    Pic9x = picture(Picture1, QStringLiteral(":/images/pic_9x.gif"), QPoint(160, 96));

    PicTransGroup = panel(this, QRect(8, 248, 473, 113));
    LblTransparency = label(PicTransGroup, QStringLiteral("Use Transparency Effect?"), heading,
                            QRect(0, 0, 0, 0));
    LblTransDesc = label(PicTransGroup,
                         QStringLiteral("Would you like the Marglet to fade when minimised? "
                                        "Transparency is only available in Windows 2000 and "
                                        "Windows XP."),
                         text, QRect(0, 24, 449, 49), {}, true);
    LblTransWarning = label(PicTransGroup, QStringLiteral("OS Version Warning"), text,
                            QRect(72, 64, 321, 41), QColor(255, 0, 0), true);
    LblTransWarning->hide();
    RadTransOn =
        radio(PicTransGroup, QStringLiteral("Use Transparency"), QRect(96, 88, 113, 17), option);
    RadTransOff = radio(PicTransGroup, QStringLiteral("Don't Use Transparency"),
                        QRect(232, 88, 137, 17), option);

    CmdUpdate = button(this, updatecheck::kCheckCaption, QRect(8, 368, 113, 25));
    LblUpdate = label(this, QString(), arial(8.25), QRect(128, 372, 177, 17));
    LblUpdate->setAutoFillBackground(true);
    {
        QPalette palette = LblUpdate->palette();
        palette.setColor(QPalette::Window, QColor(222, 237, 254));
        LblUpdate->setPalette(palette);
    }
    LblUpdate->hide();
    CmdCancel = button(this, QStringLiteral("Close"), QRect(312, 368, 81, 25));
    CmdSave = button(this, QStringLiteral("Apply"), QRect(400, 368, 81, 25));
    // Below the designed controls, which keep their places, with the reason
    // it cannot be used beside it: the window grows by one row of 21 pixels,
    // and still fits whole with its frame on a 640 x 480 screen that has a
    // taskbar.
    ChkAutostart = new QCheckBox(autostart::caption(), this);
    ChkAutostart->setFont(option);
    ChkAutostart->adjustSize();
    ChkAutostart->setGeometry(8, 400, ChkAutostart->width(), 17);
    const int reasonLeft = ChkAutostart->geometry().right() + 12;
    LblAutostart =
        label(this, QString(), option, QRect(reasonLeft, 400, 481 - reasonLeft, 17), {}, true);
    LblAutostart->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // Named as the rest of the program and its scripted tests know them.
    QWidget *const named[] = {
        PicSkinGroup,  LblSkin,         LblSkinDesc,  LblSelectSkin,   CmbSkin,      Picture1,
        LblPosition,   LblPositionDesc, RadXP,        PicXP,           Rad9x,        Pic9x,
        PicTransGroup, LblTransparency, LblTransDesc, LblTransWarning, RadTransOn,   RadTransOff,
        CmdUpdate,     LblUpdate,       CmdCancel,    CmdSave,         ChkAutostart, LblAutostart};
    const QStringList names =
        QStringLiteral("PicSkinGroup LblSkin LblSkinDesc LblSelectSkin CmbSkin Picture1 "
                       "LblPosition LblPositionDesc RadXP PicXP Rad9x Pic9x PicTransGroup "
                       "LblTransparency LblTransDesc LblTransWarning RadTransOn RadTransOff "
                       "CmdUpdate LblUpdate CmdCancel CmdSave ChkAutostart LblAutostart")
            .split(u' ');
    for (qsizetype i = 0; i < names.size(); ++i)
        named[i]->setObjectName(names[i]);

    // Tab walks the controls as they are read, top to bottom and left to
    // right; "Apply" has the focus when the dialog opens, and Tab goes on
    // from it to the box below the buttons, or around to the top.
    QWidget *const tabOrder[] = {CmbSkin,   RadXP,     Rad9x,   RadTransOn,  RadTransOff,
                                 CmdUpdate, CmdCancel, CmdSave, ChkAutostart};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    CmdSave->setFocus();

    // Selecting an option in code runs its click steps too, as the opening
    // steps rely on.
    const auto onSelect = [this](QRadioButton *option, void (FrmOptions::*click)()) {
        connect(option, &QRadioButton::toggled, this, [this, click](bool checked) {
            if (checked)
                (this->*click)();
        });
    };
    onSelect(RadXP, &FrmOptions::RadXP_Click);
    onSelect(Rad9x, &FrmOptions::Rad9x_Click);
    onSelect(RadTransOn, &FrmOptions::RadTransOn_Click);
    onSelect(RadTransOff, &FrmOptions::RadTransOff_Click);
    connect(CmbSkin, &QComboBox::textActivated, this, [this](const QString &name) {
        if (!m_typingEnds)
            CmbSkin_Click(name);
    });
    connect(CmdSave, &QPushButton::clicked, this, &FrmOptions::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FrmOptions::CmdCancel_Click);
    connect(CmdUpdate, &QPushButton::clicked, this, &FrmOptions::CmdUpdate_Click);
}

void FrmOptions::describeControls()
{
    // Each panel is a group named by its heading and described by the text
    // under it, so that a screen reader entering one says what it is for.
    const struct
    {
        QWidget *group;
        QLabel *heading;
        QLabel *description;
    } groups[] = {{PicSkinGroup, LblSkin, LblSkinDesc},
                  {Picture1, LblPosition, LblPositionDesc},
                  {PicTransGroup, LblTransparency, LblTransDesc}};
    for (const auto &g : groups) {
        accessibility::setRole(g.group, QAccessible::Grouping);
        g.group->setAccessibleName(g.heading->text());
        g.group->setAccessibleDescription(g.description->text());
    }
    LblSelectSkin->setBuddy(CmbSkin);
    // The captions keep their designed leading space; it is not spoken.
    for (QRadioButton *option : {RadXP, Rad9x, RadTransOn, RadTransOff})
        option->setAccessibleName(option->text().trimmed());
    const QString scene = tr("The bar in the title bar of a maximised window, just left of its "
                             "minimise, restore and close buttons, in the %1 look.");
    PicXP->setAccessibleName(tr("Windows XP Style preview"));
    PicXP->setAccessibleDescription(scene.arg(tr("Windows XP")));
    Pic9x->setAccessibleName(tr("Windows Classic Style preview"));
    Pic9x->setAccessibleDescription(scene.arg(tr("Windows Classic")));
}

void FrmOptions::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        CmdCancel_Click();
    else
        QWidget::keyPressEvent(event);
}

void FrmOptions::Form_Load()
{
    // Centred on half the bar's left edge across and down the screen that
    // holds the bar, then kept whole on that screen: on a small screen the
    // rule alone opens it partly off the left edge.
    const QScreen *screen = m_env.barScreen ? m_env.barScreen() : QGuiApplication::primaryScreen();
    const QRect whole = screen ? screen->geometry() : QRect();
    const QRect usable = screen ? screen->availableGeometry() : QRect();
    const int barLeft = m_env.barLeft ? m_env.barLeft() : 0;
    const QSize outer = outerSizeBeforeShow(this);
    move(dialogplace::keptWhole(dialogplace::options(whole, barLeft, outer), outer, usable));

    WindowsVersionDetect::DetectWindowsVersion();
    if (OSFamily == kFamilyOld) {
        LblTransWarning->setText(QStringLiteral("Transparency effects have been disabled as they "
                                                "are not supported by your version of Windows"));
        LblTransWarning->show();
        RadTransOn->hide();
        RadTransOff->hide();
    }

    LoadSettings();

    if (settings.PosFromRight == kXpFromRight)
        RadXP->setChecked(true);
    else if (settings.PosFromRight == k9xFromRight)
        Rad9x->setChecked(true);

    if (settings.Transparency == 0)
        RadTransOff->setChecked(true);
    else if (settings.Transparency == 1)
        RadTransOn->setChecked(true);

    CmbSkin->addItems(SkinSource(m_env.skinBases).skinNames());
    // Filling the empty list selects its first entry, which would put
    // another name in the box than the one stored.
    CmbSkin->setCurrentIndex(CmbSkin->findText(settings.SkinName));
    CmbSkin->setEditText(settings.SkinName);
}

void FrmOptions::LoadSettings()
{
    QString error;
    settings = settingsfile::load(m_env.settingsPath, Settings(), &error);
    if (!error.isEmpty())
        m_env.report(error);
}

void FrmOptions::showAutostart(const autostart::State &state)
{
    m_autostartShown = state.on;
    ChkAutostart->setChecked(state.on);
    ChkAutostart->setEnabled(state.blocked.isEmpty());
    LblAutostart->setText(state.blocked);
    LblAutostart->setHidden(state.blocked.isEmpty());
    // A longer reason than a line is shown whole, the window taller.
    const int height = std::max(17, LblAutostart->heightForWidth(LblAutostart->width()));
    LblAutostart->resize(LblAutostart->width(), height);
    setFixedSize(489, LblAutostart->y() + height + 5);
}

bool FrmOptions::SaveSettings()
{
    QString error;
    if (settingsfile::save(m_env.settingsPath, settings, &error))
        return true;
    m_env.report(tr("Your settings were not saved.\n\n%1").arg(error));
    return false;
}
