#include "core/diskfile.h"
#include "settings/settingsfile.h"
#include "settings/skins.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Four 128-byte records from the values' leading bytes.
QByteArray fileOf(const QList<QByteArray> &records)
{
    QByteArray bytes;
    for (const QByteArray &r : records)
        bytes += r + QByteArray(128 - r.size(), '\0');
    return bytes;
}

void writeImage(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::green);
    QVERIFY(image.save(path, "PNG")); // the content decides the format, not the name
}

// A named pipe where a file is expected: opening it for reading would wait
// for a writer for ever. Windows keeps none in its folders.
bool makePipe(const QString &path)
{
#ifdef Q_OS_UNIX
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

} // namespace

Q_DECLARE_METATYPE(Settings)

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void xpStyleBlueWithFadingIsTheDocumentedBytes()
    {
        QByteArray bytes;
        QVERIFY(settingscodec::encode(Settings{3840, 70, QStringLiteral("Blue"), 1}, {}, bytes));
        QCOMPARE(bytes.toHex(' '),
                 fileOf({QByteArray("\0\17", 2), "F", QByteArray("\4\0Blue", 6), "\1"}).toHex(' '));
        // Bytes after the records are kept; the padding is zeroed.
        QVERIFY(settingscodec::encode(Settings{3590, 0, QStringLiteral("Blue"), 0},
                                      QByteArray(520, 'Z'), bytes));
        QCOMPARE(bytes, fileOf({"\6\16", "", QByteArray("\4\0Blue", 6), ""}) + "ZZZZZZZZ");
    }

    void readsOfShortDamagedAndPaddedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Settings>("expected");
        const QByteArray full = fileOf({"\6\16", "", QByteArray("\6\0Silver", 8), "\1"});
        QTest::newRow("empty file keeps every first-start value") << QByteArray() << Settings();
        QTest::newRow("one byte is not yet a value") << full.left(1) << Settings();
        QTest::newRow("cut inside the second record")
            << full.left(129) << Settings{3590, 70, QStringLiteral("Blue"), 0};
        QTest::newRow("last record cut after its value")
            << full.left(386) << Settings{3590, 0, QStringLiteral("Silver"), 1};
        QTest::newRow("last value cut in half")
            << full.left(385) << Settings{3590, 0, QStringLiteral("Silver"), 0};
        QTest::newRow("name cut short by the end")
            << full.left(261) << Settings{3590, 0, QStringLiteral("Sil"), 0};
        QTest::newRow("stored length beyond its record")
            << fileOf({"", "", QByteArray("\xC8\x00", 2) + QByteArray(126, 'n'), ""})
            << Settings{0, 0, QString(126, u'n'), 0};
        QTest::newRow("left-overs of a longer name in the padding")
            << fileOf({"", "", QByteArray("\4\0BlueLeftovers", 15), "\1\0\377"})
            << Settings{0, 0, QStringLiteral("Blue"), 1};
    }
    void readsOfShortDamagedAndPaddedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Settings, expected);
        QCOMPARE(settingscodec::decode(bytes), expected);
    }

    void valuesSurviveTheFile_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::newRow("classic style") << Settings{3590, 0, QStringLiteral("Silver"), 0};
        QTest::newRow("extreme values") << Settings{-32768, 32767, QStringLiteral("Olive"), -1};
        QTest::newRow("name of 126 bytes") << Settings{1, 2, QString(126, u'x'), 1};
        QTest::newRow("code page characters") << Settings{3840, 70, QStringLiteral("Café €™"), 1};
    }
    void valuesSurviveTheFile()
    {
        QFETCH(Settings, settings);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.dat"));
        QString error;
        QCOMPARE(settingsfile::load(path, Settings(), &error), Settings()); // created, empty
        QVERIFY2(error.isEmpty() && QFileInfo(path).size() == 0, qPrintable(error));
        QVERIFY2(settingsfile::save(path, settings, &error), qPrintable(error));
        QCOMPARE(QFileInfo(path).size(), 512);
        QCOMPARE(settingsfile::load(path, Settings()), settings);
    }

    void whatCannotBeStoredIsReportedAndChangesNothing_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("name");
        QTest::newRow("name of 127 bytes") << QStringLiteral("settings.dat") << QString(127, u'x');
        QTest::newRow("name outside the code page")
            << QStringLiteral("settings.dat") << QStringLiteral("Синий");
        QTest::newRow("folder that does not exist")
            << QStringLiteral("missing/settings.dat") << QStringLiteral("Blue");
        QTest::newRow("a folder in the file's place")
            << QStringLiteral("folder") << QStringLiteral("Blue");
#ifdef Q_OS_UNIX
        QTest::newRow("a named pipe in the file's place, which must not hold anything up")
            << QStringLiteral("pipe") << QStringLiteral("Blue");
#endif
        QTest::newRow("below a plain file")
            << QStringLiteral("plain/settings.dat") << QStringLiteral("Blue");
    }
    void whatCannotBeStoredIsReportedAndChangesNothing()
    {
        QFETCH(QString, where);
        QFETCH(QString, name);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("folder"));
        QVERIFY(makePipe(dir.filePath(QStringLiteral("pipe"))));
        QVERIFY(diskfile::replace(dir.filePath(QStringLiteral("plain")), "x"));
        QVERIFY(settingsfile::save(dir.filePath(QStringLiteral("settings.dat")), Settings()));
        const QString path = dir.filePath(where);
        QString error;
        QVERIFY(!settingsfile::save(path, Settings{3590, 0, name, 1}, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QCOMPARE(settingsfile::load(path, Settings(), &error), Settings());
        QCOMPARE(error.isEmpty(), where == QStringLiteral("settings.dat"));
    }

    void aMissingOrBrokenSkinImageFallsBackToTheBuiltInOne_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::newRow("file missing") << QStringLiteral("Green") << QByteArray();
        QTest::newRow("not a picture") << QStringLiteral("Green") << QByteArray("GIF89a broken");
#ifdef Q_OS_UNIX
        QTest::newRow("a named pipe") << QStringLiteral("Green") << QByteArray("<pipe>");
#endif
        // A huge picture would hold its memory for as long as the bar runs.
        QTest::newRow("larger than the bar") << QStringLiteral("Green") << QByteArray("<huge>");
        QTest::newRow("path outside the skins folder")
            << QStringLiteral("../Green") << QByteArray();
        QTest::newRow("absolute path") << QStringLiteral("/etc") << QByteArray();
        QTest::newRow("drive letter") << QStringLiteral("C:Green") << QByteArray();
    }
    void aMissingOrBrokenSkinImageFallsBackToTheBuiltInOne()
    {
        QFETCH(QString, skin);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("skins/Green"));
        const QString max = dir.filePath(QStringLiteral("skins/Green/max.gif"));
        if (content == "<pipe>")
            QVERIFY(makePipe(max));
        else if (content == "<huge>")
            QVERIFY(QImage(536, 20, QImage::Format_RGB32).save(max, "PNG"));
        else if (!content.isEmpty())
            QVERIFY(diskfile::replace(max, content));
        // A real image one level up must never be reached through the name.
        writeImage(dir.filePath(QStringLiteral("Green/max.gif")));
        QString missing;
        const QImage image = SkinSource({dir.path()}).load(skin, SkinSource::kMax, &missing);
        QVERIFY(missing.endsWith(QStringLiteral("max.gif")));
        QVERIFY(!image.isNull());
        QCOMPARE(image, SkinSource::builtIn(SkinSource::kMax));
    }

    void theSkinListHoldsFoldersWithABackgroundFromEveryBaseWhateverTheCase()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        writeImage(program.filePath(QStringLiteral("skins/Blue/background.gif")));
        writeImage(program.filePath(QStringLiteral("skins/NoMarker/close.gif")));
        writeImage(user.filePath(QStringLiteral("Skins/Olive/Background.GIF")));
        writeImage(user.filePath(QStringLiteral("skins/blue/background.gif")));
        // A marker that is a named pipe is no marker, and must not hold the list up.
        QVERIFY(QDir().mkpath(program.filePath(QStringLiteral("skins/Pipe"))));
        QVERIFY(makePipe(program.filePath(QStringLiteral("skins/Pipe/background.gif"))));
        const SkinSource skins({program.path(), user.path()});
        QCOMPARE(skins.skinNames(), (QStringList{QStringLiteral("Blue"), QStringLiteral("Olive")}));
        // Names match without regard to case, however the folders are spelt.
        QString missing;
        QCOMPARE(skins.load(QStringLiteral("OLIVE"), SkinSource::kBackground, &missing).size(),
                 QSize(3, 2));
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        QVERIFY(SkinSource({program.filePath(QStringLiteral("none"))}).skinNames().isEmpty());
    }

    // Only a name the bar can load and settings.dat can hold may be chosen.
    void onlyUsableSkinNamesAreListed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("code page characters") << QStringLiteral("Café €") << true;
        QTest::newRow("126 bytes") << QString(126, u'x') << true;
        QTest::newRow("127 bytes, too long for its record") << QString(127, u'x') << false;
        QTest::newRow("outside the code page") << QStringLiteral("Синий") << false;
        QTest::newRow("a drive letter") << QStringLiteral("C:") << false;
        QTest::newRow("a backslash") << QStringLiteral("a\\b") << false;
        QTest::newRow("a folder above") << QStringLiteral("..") << false;
        QTest::newRow("a path") << QStringLiteral("a/b") << false;
    }
    void onlyUsableSkinNamesAreListed()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(SkinSource::isUsableName(name), usable);
        QTemporaryDir dir;
        if (!QDir(dir.path()).mkpath(QStringLiteral("skins/") + name) || name == u"..")
            return; // this system keeps no such folder
        writeImage(dir.filePath(QStringLiteral("skins/%1/background.gif").arg(name)));
        QCOMPARE(SkinSource({dir.path()}).skinNames().contains(name), usable);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
