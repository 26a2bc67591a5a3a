#include "frmoptions.h"

#include "core/designfonts.h"
#include "core/desktop.h"
#include "core/message.h"
#include "core/twips.h"
#include "core/windowsversiondetect.h"
#include "dialogplace.h"
#include "filenames.h"
#include "settings/settingsfile.h"
#include "settings/skins.h"
#include "updatecheck.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

using designfonts::arial;
using WindowsVersionDetect::kFamilyOld;
using WindowsVersionDetect::OSFamily;

namespace {

// The values each position option stands for, in twips.
constexpr qint16 kXpFromRight = 3840;
constexpr qint16 kXpTop = 70;
constexpr qint16 k9xFromRight = 3590;
constexpr qint16 k9xTop = 0;

QWidget *panel(QWidget *parent, const QRect &geometry)
{
    auto *w = new QWidget(parent);
    w->setGeometry(geometry);
    return w;
}

// A label at a fixed place; without a size it takes the size of its text.
QLabel *label(QWidget *parent, const QString &text, const QFont &font, const QRect &geometry,
              bool wrap = false)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(wrap);
    if (geometry.isEmpty()) {
        l->move(geometry.topLeft());
        l->adjustSize();
    } else {
        l->setGeometry(geometry);
    }
    return l;
}

QRadioButton *radio(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *r = new QRadioButton(text, parent);
    r->setFont(arial(8.25));
    r->setGeometry(geometry);
    return r;
}

QLabel *picture(QWidget *parent, const QString &resource, QPoint position)
{
    auto *l = new QLabel(parent);
    const QPixmap pixmap(resource);
    l->setPixmap(pixmap);
    l->setFrameStyle(QFrame::Box | QFrame::Plain);
    l->setLineWidth(1);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(QRect(position, pixmap.size() + QSize(2, 2)));
    return l;
}

QPushButton *button(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *b = new QPushButton(text, parent);
    b->setGeometry(geometry);
    return b;
}

} // namespace

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
    setWindowIcon(QIcon(QStringLiteral(":/icons/marglet-32.png")));
    setFont(designfonts::formDefault());
    setFixedSize(489, 401);

    TmrUpdate.setTimerType(Qt::PreciseTimer);
    TmrUpdate.setInterval(m_env.firstTick);
    connect(&TmrUpdate, &QTimer::timeout, this, &FrmOptions::TmrUpdate_Timer);

    buildControls();
    Form_Load();
}

FrmOptions::~FrmOptions() = default;

void FrmOptions::buildControls()
{
    const QFont heading = arial(14.25);
    const QFont text = arial(9.75);

    PicSkinGroup = panel(this, QRect(8, 8, 473, 97));
    LblSkin = label(PicSkinGroup, QStringLiteral("Marglet Skin"), heading, QRect(0, 0, 233, 25));
    LblSkinDesc = label(PicSkinGroup,
                        QStringLiteral("You can adjust the look of Marglet to better match your "
                                       "current Windows theme. Select the skin you would like to "
                                       "use from the options below."),
                        text, QRect(0, 24, 465, 49), true);
    LblSelectSkin =
        label(PicSkinGroup, QStringLiteral("Select Skin:"), text, QRect(232, 72, 73, 17));
    CmbSkin = new QComboBox(PicSkinGroup);
    CmbSkin->setEditable(true);
    // Typing a name and pressing Enter must not grow the list.
    CmbSkin->setInsertPolicy(QComboBox::NoInsert);
    CmbSkin->setGeometry(312, 72, 153, 21);

    Picture1 = panel(this, QRect(8, 112, 473, 129));
    LblPosition = label(Picture1, QStringLiteral("Marglet Position"), heading, QRect(0, 0, 0, 0));
    LblPositionDesc = label(Picture1,
                            QStringLiteral("Choose the position of the Marglet window. The best "
                                           "position will vary depending on your current Windows "
                                           "visual style."),
                            text, QRect(0, 24, 465, 49), true);
    RadXP = radio(Picture1, QStringLiteral(" Windows XP Style"), QRect(8, 64, 153, 17));
    PicXP = picture(Picture1, QStringLiteral(":/images/pic_xp.gif"), QPoint(160, 64));
    Rad9x = radio(Picture1, QStringLiteral(" Windows Classic Style"), QRect(8, 96, 153, 17));
    Pic9x = picture(Picture1, QStringLiteral(":/images/pic_9x.gif"), QPoint(160, 96));

    PicTransGroup = panel(this, QRect(8, 248, 473, 113));
    LblTransparency = label(PicTransGroup, QStringLiteral("Use Transparency Effect?"), heading,
                            QRect(0, 0, 0, 0));
    LblTransDesc = label(PicTransGroup,
                         QStringLiteral("Would you like the Marglet to fade when minimised? "
                                        "Transparency is only available in Windows 2000 and "
                                        "Windows XP."),
                         text, QRect(0, 24, 449, 49), true);
    LblTransWarning = label(PicTransGroup, QStringLiteral("OS Version Warning"), text,
                            QRect(72, 64, 321, 41), true);
    {
        QPalette palette = LblTransWarning->palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        LblTransWarning->setPalette(palette);
    }
    LblTransWarning->hide();
    RadTransOn = radio(PicTransGroup, QStringLiteral("Use Transparency"), QRect(96, 88, 113, 17));
    RadTransOff =
        radio(PicTransGroup, QStringLiteral("Don't Use Transparency"), QRect(232, 88, 137, 17));

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

    // Named as the rest of the program and its scripted tests know them.
    const std::pair<QWidget *, QString> names[] = {
        {PicSkinGroup, QStringLiteral("PicSkinGroup")},
        {LblSkin, QStringLiteral("LblSkin")},
        {LblSkinDesc, QStringLiteral("LblSkinDesc")},
        {LblSelectSkin, QStringLiteral("LblSelectSkin")},
        {CmbSkin, QStringLiteral("CmbSkin")},
        {Picture1, QStringLiteral("Picture1")},
        {LblPosition, QStringLiteral("LblPosition")},
        {LblPositionDesc, QStringLiteral("LblPositionDesc")},
        {RadXP, QStringLiteral("RadXP")},
        {PicXP, QStringLiteral("PicXP")},
        {Rad9x, QStringLiteral("Rad9x")},
        {Pic9x, QStringLiteral("Pic9x")},
        {PicTransGroup, QStringLiteral("PicTransGroup")},
        {LblTransparency, QStringLiteral("LblTransparency")},
        {LblTransDesc, QStringLiteral("LblTransDesc")},
        {LblTransWarning, QStringLiteral("LblTransWarning")},
        {RadTransOn, QStringLiteral("RadTransOn")},
        {RadTransOff, QStringLiteral("RadTransOff")},
        {CmdUpdate, QStringLiteral("CmdUpdate")},
        {LblUpdate, QStringLiteral("LblUpdate")},
        {CmdCancel, QStringLiteral("CmdCancel")},
        {CmdSave, QStringLiteral("CmdSave")},
    };
    for (const auto &[widget, name] : names)
        widget->setObjectName(name);

    QWidget::setTabOrder(CmdSave, CmdCancel);
    QWidget::setTabOrder(CmdCancel, CmdUpdate);
    QWidget::setTabOrder(CmdUpdate, RadTransOff);
    QWidget::setTabOrder(RadTransOff, RadTransOn);
    QWidget::setTabOrder(RadTransOn, CmbSkin);
    QWidget::setTabOrder(CmbSkin, RadXP);
    QWidget::setTabOrder(RadXP, Rad9x);
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
    connect(CmbSkin, &QComboBox::textActivated, this, &FrmOptions::CmbSkin_Click);
    connect(CmdSave, &QPushButton::clicked, this, &FrmOptions::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FrmOptions::CmdCancel_Click);
    connect(CmdUpdate, &QPushButton::clicked, this, &FrmOptions::CmdUpdate_Click);
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

    if (PosFromRight == kXpFromRight)
        RadXP->setChecked(true);
    else if (PosFromRight == k9xFromRight)
        Rad9x->setChecked(true);

    if (Transparency == 0)
        RadTransOff->setChecked(true);
    else if (Transparency == 1)
        RadTransOn->setChecked(true);

    CmbSkin->setEditText(SkinName);
    CmbSkin->addItems(SkinSource(m_env.skinBases).skinNames());
    // Filling the empty list selects its first entry, which would put
    // another name in the box than the one stored.
    CmbSkin->setCurrentIndex(CmbSkin->findText(SkinName));
    CmbSkin->setEditText(SkinName);
}

void FrmOptions::LoadSettings()
{
    QString error;
    const Settings read = settingsfile::load(m_env.settingsPath, Settings(), &error);
    if (!error.isEmpty())
        m_env.report(error);
    PosFromRight = read.PosFromRight;
    PosTop = read.PosTop;
    SkinName = read.SkinName;
    Transparency = read.Transparency;
}

bool FrmOptions::SaveSettings()
{
    QString error;
    if (settingsfile::save(m_env.settingsPath,
                           Settings{PosFromRight, PosTop, SkinName, Transparency}, &error))
        return true;
    m_env.report(tr("Your settings were not saved.\n\n%1").arg(error));
    return false;
}

void FrmOptions::RadXP_Click()
{
    PosFromRight = kXpFromRight;
    PosTop = kXpTop;
}

void FrmOptions::Rad9x_Click()
{
    PosFromRight = k9xFromRight;
    PosTop = k9xTop;
}

void FrmOptions::RadTransOn_Click()
{
    Transparency = 1;
}

void FrmOptions::RadTransOff_Click()
{
    Transparency = 0;
}

void FrmOptions::CmbSkin_Click(const QString &name)
{
    SkinName = name;
}

void FrmOptions::CmdSave_Click()
{
    // The bar's timer fires only once this handler has returned, by which
    // time the file holds the new values.
    if (m_env.enableApplyTimer)
        m_env.enableApplyTimer();
    SaveSettings();
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
        QKNUpdate.Navigate(updatecheck::statusPage(m_env.updateBase));
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

bool FrmOptions::FileExists(const QString &path)
{
    return filenames::FileExists(path);
}

QString FrmOptions::GetFileName(const QString &path)
{
    return filenames::GetFileName(path);
}
