#include "folders.h"
#include "twips.h"
#include "windowsversiondetect.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace WindowsVersionDetect;

class TestPlatform : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void familyFollowsMajorPlusMinorHundredths_data()
    {
        QTest::addColumn<quint32>("word");
        QTest::addColumn<QString>("family");
        // Low byte major, next byte minor; the high word is build and flags.
        QTest::newRow("5.00") << quint32(0x0005) << kFamilyNew;
        QTest::newRow("4.90") << quint32(0x5A04) << kFamilyOld;
        QTest::newRow("6.02") << quint32(0x0206) << kFamilyNew;
        QTest::newRow("4.10") << quint32(0x0A04) << kFamilyOld;
        QTest::newRow("4.99") << quint32(0x6304) << kFamilyOld;
        QTest::newRow("5.01 with build bits") << quint32(0x0A280105) << kFamilyNew;
        QTest::newRow("4.00 with the 9x bit") << quint32(0xC0000004) << kFamilyOld;
        QTest::newRow("10.00") << quint32(0x000A) << kFamilyNew;
        QTest::newRow("0.00") << quint32(0) << kFamilyOld;
    }
    void familyFollowsMajorPlusMinorHundredths()
    {
        QFETCH(quint32, word);
        QFETCH(QString, family);
        QCOMPARE(familyForVersionWord(word), family);
    }

    void detectionSetsTheSharedValue()
    {
        OSFamily.clear();
        DetectWindowsVersion();
#ifndef Q_OS_WIN
        QCOMPARE(OSFamily, kFamilyNew);
#else
        QVERIFY(OSFamily == kFamilyNew || OSFamily == kFamilyOld);
#endif
    }

    void twipsConvertAtAFixedFifteen_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("pixels");
        QTest::newRow("bar width") << 2775.0 << 185;
        QTest::newRow("xp top") << 70.0 << 5;
        QTest::newRow("classic offset") << 3590.0 << 239;
        QTest::newRow("xp left on 1920") << 28800.0 - 3840 << 1664;
        QTest::newRow("classic left on 1920") << 28800.0 - 3590 << 1681;
        QTest::newRow("off the left edge") << -70.0 << -5;
    }
    void twipsConvertAtAFixedFifteen()
    {
        QFETCH(double, value);
        QFETCH(int, pixels);
        QCOMPARE(twips::toPixels(value), pixels);
    }

    void filesStayBesideTheProgramWhenItsFolderIsWritable()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        const Folders f = chooseFolders(program.path(), user.path());
        QCOMPARE(f.data, program.path());
        QCOMPARE(f.skinBases, QStringList{program.path()});
    }

    void anUnwritableProgramFolderSendsFilesToTheUserFolder()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        const QString userData = QDir(user.path()).filePath(QStringLiteral("share/marglet"));
        const Folders f = chooseFolders(program.path(), userData,
                                        [&](const QString &folder) { return folder != program.path(); });
        QCOMPARE(f.data, userData);
        QVERIFY(QFileInfo(userData).isDir());
        QCOMPARE(f.skinBases, (QStringList{program.path(), userData}));
    }

    void writeProbeTriesRatherThanGuesses()
    {
        QTemporaryDir dir;
        QVERIFY(canWriteIn(dir.path()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList()); // the probe leaves nothing behind
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        // Not even root can create a file below a plain file.
        QVERIFY(!canWriteIn(plain.fileName()));
        QVERIFY(!canWriteIn(dir.filePath(QStringLiteral("missing"))));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
