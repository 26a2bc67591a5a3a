#include "core/diskfile.h"
#include "core/folders.h"
#include "core/windowsversiondetect.h"

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

    void onlyAFolderThatRefusesWritesSendsFilesToTheUserFolder_data()
    {
        QTest::addColumn<diskfile::FolderAccess>("program");
        QTest::addColumn<bool>("inUserFolder");
        QTest::addColumn<QString>("told"); // a word of the notice, if any
        QTest::newRow("writable") << diskfile::FolderAccess::Writable << false << QString();
        QTest::newRow("full, which a move would not mend: said so")
            << diskfile::FolderAccess::Full << false << QStringLiteral("no room");
        QTest::newRow("refused: the notes come along, and the user is told where")
            << diskfile::FolderAccess::Refused << true << QStringLiteral("kept in");
    }
    void onlyAFolderThatRefusesWritesSendsFilesToTheUserFolder()
    {
        QFETCH(diskfile::FolderAccess, program);
        QFETCH(bool, inUserFolder);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString programFolder = dir.filePath(QStringLiteral("program"));
        const QString userFolder = dir.filePath(QStringLiteral("user/share/marglet"));
        QVERIFY(QDir().mkpath(programFolder));
        QFile note(QDir(programFolder).filePath(QStringLiteral("note02.qkn")));
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("kept") == 4);
        note.close();
        const QStringList carried{QStringLiteral("settings.dat"), QStringLiteral("note02.qkn")};
        const auto probe = [&](const QString &folder, QString *why) {
            *why = QStringLiteral("the reason.");
            return folder == programFolder ? program : diskfile::FolderAccess::Writable;
        };
        const Folders f = chooseFolders(programFolder, userFolder, carried, probe);
        QCOMPARE(f.data, inUserFolder ? userFolder : programFolder);
        QCOMPARE(f.skinBases, inUserFolder ? (QStringList{programFolder, userFolder})
                                           : QStringList{programFolder});
        QCOMPARE(f.notices.size(), told.isEmpty() ? 0 : 1);
        if (!told.isEmpty())
            QVERIFY2(f.notices.first().contains(told), qPrintable(f.notices.first()));
        QFile copied(QDir(userFolder).filePath(QStringLiteral("note02.qkn")));
        QCOMPARE(copied.open(QIODevice::ReadOnly) ? copied.readAll() : QByteArray(),
                 inUserFolder ? QByteArray("kept") : QByteArray());
        if (inUserFolder) {
            QVERIFY(f.notices.first().contains(QDir::toNativeSeparators(userFolder)));
            // Only the first time: later starts find the notes there.
            QVERIFY(chooseFolders(programFolder, userFolder, carried, probe).notices.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
