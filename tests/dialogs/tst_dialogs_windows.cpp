#include "core/windowsversiondetect.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmoptions.h"
#include "settings/settingsfile.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The Options window apart from the update check, its file helpers, and About.
class TestWindows : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir;
    QStringList m_log; // what the dialog told the bar and the user, in order
    QPointer<FrmOptions> m_dialog;

    QString entry(const QString &name) const { return m_dir->filePath(name); }
    FrmOptions &open(const QString &settings = u"settings.dat"_s)
    {
        m_log.clear();
        OptionsEnvironment env;
        env.settingsPath = entry(settings);
        env.skinBases = {m_dir->path()};
        env.enableApplyTimer = [this, file = env.settingsPath] {
            m_log.append(u"timer, %1 bytes"_s.arg(QFileInfo(file).size()));
        };
        env.report = [this](const QString &message) { m_log.append(message); };
        return *(m_dialog = new FrmOptions(env));
    }
    void touch(const QString &name)
    {
        QVERIFY(QDir(m_dir->path()).mkpath(QFileInfo(name).path()));
        QVERIFY(QFile(entry(name)).open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cleanup() { delete m_dialog; }

    void openingFollowsTheStoredValuesAndApplyWritesThem_data()
    {
        QTest::addColumn<Settings>("stored");
        QTest::addColumn<bool>("olderFamily");
        QTest::addColumn<QString>("checked"); // the options selected
        QTest::addColumn<int>("top");         // written by "Apply"; the rest is written as stored
        const QString blue = u"Blue"_s;
        QTest::newRow("the XP position takes its own top")
            << Settings{3840, 50, blue, 0} << false << u"RadXP RadTransOff"_s << 70;
        QTest::newRow("the classic position takes its own top")
            << Settings{3590, 50, blue, 1} << false << u"Rad9x RadTransOn"_s << 0;
        QTest::newRow("an unknown position selects neither and keeps both values")
            << Settings{0, 123, blue, 0} << false << u"RadTransOff"_s << 123;
        QTest::newRow("an unknown fading value selects neither and is kept")
            << Settings{3840, 70, blue, 7} << false << u"RadXP"_s << 70;
        QTest::newRow("a skin not in the list is shown and kept")
            << Settings{3840, 70, u"Gone Away"_s, 0} << false << u"RadXP RadTransOff"_s << 70;
        QTest::newRow("the older family warns instead of offering fading, which is kept")
            << Settings{3840, 70, blue, 1} << true << u"RadXP RadTransOn"_s << 70;
    }
    void openingFollowsTheStoredValuesAndApplyWritesThem()
    {
        QFETCH(Settings, stored);
        QFETCH(bool, olderFamily);
        QFETCH(QString, checked);
        QFETCH(int, top);
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        touch(u"skins/Blue/background.gif"_s);
        if (olderFamily)
            WindowsVersionDetect::setVersionSource([]() -> quint32 { return 0x0A04; });
        FrmOptions &dialog = open();
        WindowsVersionDetect::setVersionSource(nullptr);
        QStringList selected;
        for (const QRadioButton *option : dialog.findChildren<QRadioButton *>()) {
            if (option->isChecked())
                selected.append(option->objectName());
        }
        QCOMPARE(selected.join(u' '), checked);
        QCOMPARE(dialog.CmbSkin->currentText(), stored.SkinName);
        QCOMPARE(dialog.LblTransWarning->isHidden(), !olderFamily);
        QCOMPARE(dialog.RadTransOn->isHidden(), olderFamily);
        QCOMPARE(dialog.RadTransOff->isHidden(), olderFamily);

        // "Apply" writes all four records even when the file has gone meanwhile,
        // and only after enabling the bar's timer.
        QVERIFY(QFile::remove(entry(u"settings.dat"_s)));
        dialog.CmdSave->click();
        QCOMPARE(m_log, QStringList{u"timer, 0 bytes"_s});
        QCOMPARE(QFileInfo(entry(u"settings.dat"_s)).size(), 512);
        stored.PosTop = qint16(top);
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
    }

    void theSkinListHoldsTheFoldersWithABackground_data()
    {
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("listed");
        QTest::newRow("case variants of the folder and marker names count")
            << u"Skins/Olive/Background.gif Skins/Red/BACKGROUND.GIF"_s << u"Olive Red"_s;
        QTest::newRow("folders without the marker are left out")
            << u"skins/Blue/background.gif skins/Empty/close.gif"_s << u"Blue"_s;
        QTest::newRow("no skins folder gives an empty list") << QString() << QString();
    }
    void theSkinListHoldsTheFoldersWithABackground()
    {
        QFETCH(QString, files);
        QFETCH(QString, listed);
        for (const QString &file : files.split(u' ', Qt::SkipEmptyParts))
            touch(file);
        FrmOptions &dialog = open();
        QStringList items;
        for (int i = 0; i < dialog.CmbSkin->count(); ++i)
            items.append(dialog.CmbSkin->itemText(i));
        QCOMPARE(items.join(u' '), listed);
        QCOMPARE(dialog.CmbSkin->currentText(), u"Blue"_s); // the stored name, listed or not
    }

    void closeWritesNothingAndDestroysTheDialog()
    {
        const Settings stored{0, 123, u"Blue"_s, 7};
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        FrmOptions &dialog = open();
        dialog.RadXP->click();
        dialog.RadTransOff->click();
        dialog.CmdCancel->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_dialog.isNull());
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
        QVERIFY(m_log.isEmpty());
    }

    void aSettingsFileThatCannotBeWrittenIsReported()
    {
        touch(u"plain"_s);
        open(u"plain/settings.dat"_s).CmdSave->click();
        QCOMPARE(m_log.size(), 3); // not created on opening, the bar's timer, not saved
        QVERIFY2(m_log[2].contains(u"not saved"_s), qPrintable(m_log[2]));
        QVERIFY(m_dialog); // still open, for another try
    }

    void fileHelpersReadAPath_data()
    {
        QTest::addColumn<QString>("path"); // "~" is a folder holding file.txt and locked.txt
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("a readable file exists") << u"~/file.txt"_s << u"file.txt"_s << true;
        QTest::newRow("a folder is no file and a trailing separator leaves no name")
            << u"~/"_s << QString() << false;
        QTest::newRow("a file that may not be read does not exist")
            << u"~/locked.txt"_s << u"locked.txt"_s << false;
        QTest::newRow("a missing file with both kinds of separator is named by its last part")
            << u"C:\\a/b\\c\\d.txt"_s << u"d.txt"_s << false;
        QTest::newRow("an empty path names no file") << QString() << QString() << false;
    }
    void fileHelpersReadAPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(bool, exists);
        touch(u"file.txt"_s);
        touch(u"locked.txt"_s);
        QFile::setPermissions(entry(u"locked.txt"_s), QFile::WriteOwner);
        if (name == u"locked.txt"_s && QFile(entry(name)).open(QIODevice::ReadOnly))
            QSKIP("This user may read any file.");
        path.replace(u'~', m_dir->path());
        QCOMPARE(FrmOptions::GetFileName(path), name);
        QCOMPARE(FrmOptions::FileExists(path), exists);
    }

    void aboutIsDestroyedByItsCloseButton()
    {
        QPointer<FrmAbout> about = new FrmAbout;
        QTest::mouseClick(about->CmdClose, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_dialogs_windows.moc"
