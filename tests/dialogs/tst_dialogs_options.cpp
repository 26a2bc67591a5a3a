#include "frmoptions.h"
#include "settingsfile.h"
#include "windowsversiondetect.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace WindowsVersionDetect;

namespace {

quint32 windows98()
{
    return 0x0A04;
}

Settings stored(qint16 right, qint16 top, const QString &skin, qint16 transparency)
{
    Settings s;
    s.PosFromRight = right;
    s.PosTop = top;
    s.SkinName = skin;
    s.Transparency = transparency;
    return s;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GIF89a");
}

QWidget *nextFocus(QWidget *w)
{
    do
        w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus || w->focusProxy());
    return w;
}

} // namespace

Q_DECLARE_METATYPE(Settings)

class TestOptions : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_reports;
    QStringList m_log;
    QPointer<FrmOptions> m_dialog;

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("settings.dat")); }

    OptionsEnvironment environment()
    {
        OptionsEnvironment env;
        env.settingsPath = settingsPath();
        env.skinBases = {m_dir.path()};
        env.barLeft = [] { return 1664; };
        env.enableApplyTimer = [this] { m_log.append(QStringLiteral("timer")); };
        env.report = [this](const QString &message) { m_reports.append(message); };
        env.updateBase = QStringLiteral("http://127.0.0.1:9");
        env.openInBrowser = [](const QUrl &) { QFAIL("No page may be opened here."); };
        return env;
    }

    FrmOptions &open(OptionsEnvironment env)
    {
        m_dialog = new FrmOptions(std::move(env));
        return *m_dialog;
    }
    FrmOptions &open() { return open(environment()); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_reports.clear();
        m_log.clear();
    }
    void cleanup()
    {
        delete m_dialog;
        setVersionSource(nullptr);
    }

    void opensWithItsCaptionSizeAndQuietControls()
    {
        FrmOptions &dialog = open();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("QKS Marglet Options"));
        QCOMPARE(dialog.size(), QSize(489, 401));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        const Qt::WindowFlags flags = dialog.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(dialog.LblTransWarning->isHidden());
        QCOMPARE(dialog.LblTransWarning->text(), QStringLiteral("OS Version Warning"));
        QVERIFY(dialog.LblUpdate->isHidden());
        QVERIFY(dialog.LblUpdate->text().isEmpty());
        QCOMPARE(dialog.CmdUpdate->text(), QStringLiteral("Check For Update"));
        QVERIFY(dialog.CmdUpdate->isEnabled());
        QVERIFY(!dialog.TmrUpdate.isActive());
        QVERIFY(dialog.CmbSkin->isEditable());
        QCOMPARE(dialog.PicXP->size(), QSize(261, 28));
        QCOMPARE(dialog.Pic9x->size(), QSize(261, 28));
        QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(u'\n')));
        // The captions fit their buttons with the fonts this machine has.
        for (const QPushButton *b : {dialog.CmdUpdate, dialog.CmdCancel, dialog.CmdSave})
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width() - 6,
                     qPrintable(b->text()));
    }

    void controlsSitAtTheirDesignPlaces_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("panel"); // empty: the window itself
        QTest::addColumn<QRect>("geometry");
        const QString window;
        const QString skin = QStringLiteral("PicSkinGroup");
        const QString position = QStringLiteral("Picture1");
        const QString fading = QStringLiteral("PicTransGroup");
        QTest::newRow("the skin panel") << skin << window << QRect(8, 8, 473, 97);
        QTest::newRow("the skin description")
            << QStringLiteral("LblSkinDesc") << skin << QRect(0, 24, 465, 49);
        QTest::newRow("the skin box")
            << QStringLiteral("CmbSkin") << skin << QRect(312, 72, 153, 21);
        QTest::newRow("the position panel") << position << window << QRect(8, 112, 473, 129);
        QTest::newRow("the XP option")
            << QStringLiteral("RadXP") << position << QRect(8, 64, 153, 17);
        QTest::newRow("the XP picture")
            << QStringLiteral("PicXP") << position << QRect(160, 64, 261, 28);
        QTest::newRow("the classic option")
            << QStringLiteral("Rad9x") << position << QRect(8, 96, 153, 17);
        QTest::newRow("the classic picture")
            << QStringLiteral("Pic9x") << position << QRect(160, 96, 261, 28);
        QTest::newRow("the fading panel") << fading << window << QRect(8, 248, 473, 113);
        QTest::newRow("the fading warning")
            << QStringLiteral("LblTransWarning") << fading << QRect(72, 64, 321, 41);
        QTest::newRow("the fading on option")
            << QStringLiteral("RadTransOn") << fading << QRect(96, 88, 113, 17);
        QTest::newRow("the fading off option")
            << QStringLiteral("RadTransOff") << fading << QRect(232, 88, 137, 17);
        QTest::newRow("the update button")
            << QStringLiteral("CmdUpdate") << window << QRect(8, 368, 113, 25);
        QTest::newRow("the update message")
            << QStringLiteral("LblUpdate") << window << QRect(128, 372, 177, 17);
        QTest::newRow("the close button")
            << QStringLiteral("CmdCancel") << window << QRect(312, 368, 81, 25);
        QTest::newRow("the apply button")
            << QStringLiteral("CmdSave") << window << QRect(400, 368, 81, 25);
    }
    void controlsSitAtTheirDesignPlaces()
    {
        QFETCH(QString, control);
        QFETCH(QString, panel);
        QFETCH(QRect, geometry);
        FrmOptions &dialog = open();
        const QWidget *widget = dialog.findChild<QWidget *>(control);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), panel);
        QCOMPARE(widget->geometry(), geometry);
    }

    void eachPanelIsAGroupOfItsOwn()
    {
        FrmOptions &dialog = open();
        dialog.RadTransOn->click();
        dialog.Rad9x->click();
        QVERIFY(dialog.RadTransOn->isChecked());
        QVERIFY(!dialog.RadXP->isChecked());
        dialog.RadXP->click();
        QVERIFY(!dialog.Rad9x->isChecked());
        QCOMPARE(dialog.PosFromRight, 3840);
        QCOMPARE(dialog.PosTop, 70);
        QCOMPARE(dialog.Transparency, 1);
    }

    void focusStartsOnApplyAndMovesInDesignOrder()
    {
        FrmOptions &dialog = open();
        QCOMPARE(dialog.focusWidget(), dialog.CmdSave);
        const QList<QWidget *> order = {dialog.CmdSave,     dialog.CmdCancel,  dialog.CmdUpdate,
                                        dialog.RadTransOff, dialog.RadTransOn, dialog.CmbSkin,
                                        dialog.RadXP,       dialog.Rad9x};
        for (qsizetype i = 0; i + 1 < order.size(); ++i)
            QCOMPARE(nextFocus(order[i]), order[i + 1]);
    }

    void theDialogIsCentredOnTheBarsLeftEdge()
    {
        FrmOptions &dialog = open();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect outer = dialog.frameGeometry();
        const int screenHeight = QGuiApplication::primaryScreen()->geometry().height();
        QVERIFY2(qAbs(outer.left() + outer.width() / 2.0 - 832) <= 1,
                 qPrintable(QStringLiteral("%1 %2 %3 %4")
                                .arg(outer.left())
                                .arg(outer.top())
                                .arg(outer.width())
                                .arg(outer.height())));
        QVERIFY2(qAbs(outer.top() + outer.height() / 2.0 - screenHeight / 2.0) <= 1,
                 qPrintable(QString::number(outer.top())));
    }

    void openingFollowsTheStoredValues_data()
    {
        QTest::addColumn<Settings>("before");
        QTest::addColumn<quint32>("version"); // 0: this system's
        QTest::addColumn<QString>("checked"); // the options selected, in design order
        QTest::addColumn<Settings>("after");  // what "Apply" writes without other changes
        const QString blue = QStringLiteral("Blue");
        QTest::newRow("the XP position takes its own top")
            << stored(3840, 50, blue, 0) << 0u << QStringLiteral("RadXP RadTransOff")
            << stored(3840, 70, blue, 0);
        QTest::newRow("the classic position takes its own top")
            << stored(3590, 50, blue, 1) << 0u << QStringLiteral("Rad9x RadTransOn")
            << stored(3590, 0, blue, 1);
        QTest::newRow("an unknown position selects neither and keeps both values")
            << stored(0, 123, blue, 0) << 0u << QStringLiteral("RadTransOff")
            << stored(0, 123, blue, 0);
        QTest::newRow("an unknown fading value selects neither and is kept")
            << stored(3840, 70, blue, 7) << 0u << QStringLiteral("RadXP")
            << stored(3840, 70, blue, 7);
        QTest::newRow("a skin not in the list is shown and kept")
            << stored(3840, 70, QStringLiteral("Gone Away"), 0) << 0u
            << QStringLiteral("RadXP RadTransOff")
            << stored(3840, 70, QStringLiteral("Gone Away"), 0);
        QTest::newRow("on the older family fading is kept as stored")
            << stored(3840, 70, blue, 1) << 0x0A04u << QStringLiteral("RadXP RadTransOn")
            << stored(3840, 70, blue, 1);
        QTest::newRow("on the older family an unknown fading value is kept")
            << stored(3590, 0, blue, 7) << 0x0A04u << QStringLiteral("Rad9x")
            << stored(3590, 0, blue, 7);
    }
    void openingFollowsTheStoredValues()
    {
        QFETCH(Settings, before);
        QFETCH(quint32, version);
        QFETCH(QString, checked);
        QFETCH(Settings, after);
        QVERIFY(settingsfile::save(settingsPath(), before));
        touch(m_dir.filePath(QStringLiteral("skins/Blue/background.gif")));
        if (version)
            setVersionSource(windows98);

        FrmOptions &dialog = open();
        QStringList selected;
        for (const QRadioButton *option :
             {dialog.RadXP, dialog.Rad9x, dialog.RadTransOn, dialog.RadTransOff}) {
            if (option->isChecked())
                selected.append(option->objectName());
        }
        QCOMPARE(selected.join(u' '), checked);
        QCOMPARE(dialog.CmbSkin->currentText(), before.SkinName);

        dialog.CmdSave->click();
        QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(u'\n')));
        QCOMPARE(settingsfile::load(settingsPath(), Settings()), after);
    }

    void theOlderFamilyShowsAWarningInsteadOfTheFadingOptions()
    {
        setVersionSource(windows98);
        FrmOptions &dialog = open();
        QVERIFY(!dialog.LblTransWarning->isHidden());
        QCOMPARE(dialog.LblTransWarning->text(),
                 QStringLiteral("Transparency effects have been disabled as they are not "
                                "supported by your version of Windows"));
        QVERIFY(dialog.RadTransOn->isHidden());
        QVERIFY(dialog.RadTransOff->isHidden());
        QCOMPARE(dialog.LblTransWarning->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    }

    void theSkinListHoldsTheFoldersWithABackground_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("storedSkin");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("folders holding the marker are listed, the stored one shown")
            << QStringList{QStringLiteral("skins/Blue/background.gif"),
                           QStringLiteral("skins/Green/background.gif")}
            << QStringLiteral("Green")
            << QStringList{QStringLiteral("Blue"), QStringLiteral("Green")};
        QTest::newRow("case variants of the folder and marker names count")
            << QStringList{QStringLiteral("Skins/Olive/Background.gif"),
                           QStringLiteral("Skins/Red/BACKGROUND.GIF")}
            << QStringLiteral("Blue")
            << QStringList{QStringLiteral("Olive"), QStringLiteral("Red")};
        QTest::newRow("folders without the marker are left out")
            << QStringList{QStringLiteral("skins/Blue/background.gif"),
                           QStringLiteral("skins/Empty/close.gif")}
            << QStringLiteral("Blue") << QStringList{QStringLiteral("Blue")};
        QTest::newRow("an empty skins folder gives an empty list")
            << QStringList{QStringLiteral("skins/")} << QStringLiteral("Blue") << QStringList();
        QTest::newRow("no skins folder gives an empty list")
            << QStringList() << QStringLiteral("Blue") << QStringList();
    }
    void theSkinListHoldsTheFoldersWithABackground()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, storedSkin);
        QFETCH(QStringList, listed);
        for (const QString &file : files) {
            if (file.endsWith(u'/'))
                QDir(m_dir.path()).mkpath(file);
            else
                touch(m_dir.filePath(file));
        }
        QVERIFY(settingsfile::save(settingsPath(), stored(3840, 70, storedSkin, 0)));
        FrmOptions &dialog = open();
        QStringList items;
        for (int i = 0; i < dialog.CmbSkin->count(); ++i)
            items.append(dialog.CmbSkin->itemText(i));
        QCOMPARE(items, listed);
        QCOMPARE(dialog.CmbSkin->currentText(), storedSkin);
        QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(u'\n')));
    }

    void onlyChoosingFromTheListChangesTheSkin()
    {
        touch(m_dir.filePath(QStringLiteral("skins/Blue/background.gif")));
        touch(m_dir.filePath(QStringLiteral("skins/Green/background.gif")));
        FrmOptions &dialog = open();
        QCOMPARE(dialog.SkinName, QStringLiteral("Blue"));
        dialog.CmbSkin->lineEdit()->selectAll();
        QTest::keyClicks(dialog.CmbSkin->lineEdit(), QStringLiteral("Typed"));
        QCOMPARE(dialog.CmbSkin->currentText(), QStringLiteral("Typed"));
        QCOMPARE(dialog.SkinName, QStringLiteral("Blue"));
        QTest::keyClick(dialog.CmbSkin->lineEdit(), Qt::Key_Return);
        QCOMPARE(dialog.CmbSkin->count(), 2);
        QCOMPARE(dialog.SkinName, QStringLiteral("Blue"));

        dialog.CmbSkin->setCurrentIndex(0);
        QTest::keyClick(dialog.CmbSkin, Qt::Key_Down);
        QCOMPARE(dialog.SkinName, QStringLiteral("Green"));
        dialog.CmdSave->click();
        QCOMPARE(settingsfile::load(settingsPath(), Settings()).SkinName, QStringLiteral("Green"));
    }

    void applyLetsTheBarKnowBeforeWritingTheFourRecords()
    {
        QVERIFY(settingsfile::save(settingsPath(), stored(3840, 50, QStringLiteral("Blue"), 0)));
        OptionsEnvironment env = environment();
        env.enableApplyTimer = [this] {
            m_log.append(QStringLiteral("timer, top %1")
                             .arg(settingsfile::load(settingsPath(), Settings()).PosTop));
        };
        FrmOptions &dialog = open(env);
        dialog.CmdSave->click();
        QCOMPARE(m_log, QStringList{QStringLiteral("timer, top 50")});
        const QByteArray first = fileBytes(settingsPath());
        QCOMPARE(first.size(), 512);
        QCOMPARE(settingsfile::load(settingsPath(), Settings()).PosTop, 70);

        dialog.CmdSave->click();
        QCOMPARE(fileBytes(settingsPath()), first);
        QVERIFY(m_dialog); // Apply leaves the dialog open
    }

    void applyWritesTheFourRecordsOverAFileThatWasMissing()
    {
        FrmOptions &dialog = open();
        QCOMPARE(fileBytes(settingsPath()).size(), 0); // created empty on opening
        dialog.Rad9x->click();
        dialog.RadTransOn->click();
        dialog.CmdSave->click();
        QCOMPARE(fileBytes(settingsPath()).size(), 512);
        QCOMPARE(settingsfile::load(settingsPath(), Settings()),
                 stored(3590, 0, QStringLiteral("Blue"), 1));
        QCOMPARE(m_log, QStringList{QStringLiteral("timer")});
    }

    void closeWritesNothingAndDestroysTheDialog()
    {
        QVERIFY(settingsfile::save(settingsPath(), stored(0, 123, QStringLiteral("Blue"), 7)));
        const QByteArray before = fileBytes(settingsPath());
        FrmOptions &dialog = open();
        dialog.show();
        dialog.RadXP->click();
        dialog.RadTransOff->click();
        QTest::mouseClick(dialog.CmdCancel, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_dialog.isNull());
        QCOMPARE(fileBytes(settingsPath()), before);
        QVERIFY(m_log.isEmpty());
    }

    void theCloseBoxDestroysTheDialogToo()
    {
        FrmOptions &dialog = open();
        dialog.show();
        QVERIFY(dialog.close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_dialog.isNull());
    }

    void aSettingsFileThatCannotBeWrittenIsReported()
    {
        QFile blocker(m_dir.filePath(QStringLiteral("plain")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        OptionsEnvironment env = environment();
        env.settingsPath = m_dir.filePath(QStringLiteral("plain/settings.dat"));
        FrmOptions &dialog = open(env);
        QCOMPARE(m_reports.size(), 1); // it could not be created either
        dialog.CmdSave->click();
        QCOMPARE(m_log, QStringList{QStringLiteral("timer")});
        QCOMPARE(m_reports.size(), 2);
        QVERIFY2(m_reports.last().contains(QStringLiteral("not saved")),
                 qPrintable(m_reports.last()));
        QVERIFY(m_dialog); // still open, for another try
    }
};

QTEST_MAIN(TestOptions)
#include "tst_dialogs_options.moc"
