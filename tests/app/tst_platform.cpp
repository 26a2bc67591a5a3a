#include "folders.h"
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
        QTest::newRow("5.01 with build bits") << quint32(0x0A280105) << kFamilyNew;
        QTest::newRow("4.00 with the 9x bit") << quint32(0xC0000004) << kFamilyOld;
    }
    void familyFollowsMajorPlusMinorHundredths()
    {
        QFETCH(quint32, word);
        QFETCH(QString, family);
        QCOMPARE(familyForVersionWord(word), family);
    }

    void anUnwritableProgramFolderSendsFilesToTheUserFolder()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        QCOMPARE(chooseFolders(program.path(), user.path()).data, program.path());
        const QString userData = QDir(user.path()).filePath(QStringLiteral("share/marglet"));
        const Folders f = chooseFolders(program.path(), userData, [&](const QString &folder) {
            return folder != program.path();
        });
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
