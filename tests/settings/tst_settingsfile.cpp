#include "atomicwrite.h"
#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsFile : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("settings.dat")); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(path());
    }

    void firstReadCreatesAnEmptyFileAndGivesFirstStartValues()
    {
        QString error;
        const Settings s = settingsfile::load(path(), Settings(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(s, Settings());
        QVERIFY(QFile::exists(path()));
        QCOMPARE(QFileInfo(path()).size(), 0);
    }

    void savedValuesReadBack()
    {
        Settings s;
        s.PosFromRight = 3590;
        s.PosTop = 0;
        s.SkinName = QStringLiteral("Silver");
        s.Transparency = 1;
        QString error;
        QVERIFY2(settingsfile::save(path(), s, &error), qPrintable(error));
        QCOMPARE(QFileInfo(path()).size(), 512);
        QCOMPARE(settingsfile::load(path(), Settings()), s);
        // Saving twice writes the same bytes.
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray first = f.readAll();
        f.close();
        QVERIFY(settingsfile::save(path(), s));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), first);
    }

    void failuresAreReportedAndChangeNothing_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("folder that does not exist") << QStringLiteral("missing/settings.dat");
        QTest::newRow("a folder in the file's place") << QStringLiteral("folder");
        QTest::newRow("below a plain file") << QStringLiteral("plain/settings.dat");
    }
    void failuresAreReportedAndChangeNothing()
    {
        QFETCH(QString, where);
        QDir(m_dir.path()).mkpath(QStringLiteral("folder"));
        QVERIFY(writeFileAtomically(m_dir.filePath(QStringLiteral("plain")), "x"));
        const QString target = m_dir.filePath(where);

        QString error;
        Settings start;
        start.SkinName = QStringLiteral("Kept");
        QCOMPARE(settingsfile::load(target, start, &error), start);
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains(QDir::toNativeSeparators(target)), qPrintable(error));

        error.clear();
        QVERIFY(!settingsfile::save(target, Settings(), &error));
        QVERIFY(!error.isEmpty());
    }

    void aNameTooLongForItsRecordIsNotWritten()
    {
        QVERIFY(settingsfile::save(path(), Settings()));
        Settings s;
        s.SkinName = QString(127, u'x');
        QString error;
        QVERIFY(!settingsfile::save(path(), s, &error));
        QVERIFY(error.contains(QStringLiteral("126")));
        QCOMPARE(settingsfile::load(path(), Settings()), Settings());
    }

    void aLongerFileKeepsItsTail()
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(600, '\x11'));
        f.close();
        QVERIFY(settingsfile::save(path(), Settings()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.size(), 600);
        QCOMPARE(bytes.mid(512), QByteArray(88, '\x11'));
        QCOMPARE(settingscodec::decode(bytes), Settings());
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
