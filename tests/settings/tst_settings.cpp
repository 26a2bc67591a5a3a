#include "settings/settingsfile.h"
#include "settings/skins.h"

#include <QTemporaryDir>

#include "core/testfiles.h"

using namespace Qt::StringLiterals;

namespace {

// Four 128-byte records from the values' leading bytes.
QByteArray fileOf(const QList<QByteArray> &records)
{
    QByteArray bytes;
    for (const QByteArray &r : records)
        bytes += r + QByteArray(128 - r.size(), '\0');
    return bytes;
}

// The content decides the format, not the name.
void writeImage(const QString &path, QSize size = {3, 2})
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(QImage(size, QImage::Format_RGB32).save(path, "PNG"));
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
        QVERIFY(settingscodec::encode(Settings{3840, 70, u"Blue"_s, 1}, {}, bytes));
        QCOMPARE(bytes.toHex(' '),
                 fileOf({QByteArray("\0\17", 2), "F", QByteArray("\4\0Blue", 6), "\1"}).toHex(' '));
        // Bytes after the records are kept; the padding is zeroed.
        QVERIFY(
            settingscodec::encode(Settings{3590, 0, u"Blue"_s, 0}, QByteArray(520, 'Z'), bytes));
        QCOMPARE(bytes, fileOf({"\6\16", "", QByteArray("\4\0Blue", 6), ""}) + "ZZZZZZZZ");
    }

    void readsOfShortDamagedAndPaddedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Settings>("expected");
        const QByteArray full = fileOf({"\6\16", "", QByteArray("\6\0Silver", 8), "\1"});
        QTest::newRow("one byte is not yet a value") << full.left(1) << Settings();
        QTest::newRow("cut inside the second record")
            << full.left(129) << Settings{3590, 70, u"Blue"_s, 0};
        QTest::newRow("last record cut after its value")
            << full.left(386) << Settings{3590, 0, u"Silver"_s, 1};
        QTest::newRow("name cut short by the end")
            << full.left(261) << Settings{3590, 0, u"Sil"_s, 0};
        QTest::newRow("stored length beyond its record")
            << fileOf({"", "", QByteArray("\xC8\x00", 2) + QByteArray(126, 'n'), ""})
            << Settings{0, 0, QString(126, u'n'), 0};
        QTest::newRow("left-overs of a longer name in the padding")
            << fileOf({"", "", QByteArray("\4\0BlueLeftovers", 15), "\1\0\377"})
            << Settings{0, 0, u"Blue"_s, 1};
    }
    void readsOfShortDamagedAndPaddedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Settings, expected);
        QCOMPARE(settingscodec::decode(bytes), expected);
    }

    void valuesSurviveTheFileOrTheFailureIsReported_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<Settings>("settings");
        const QString file = u"settings.dat"_s;
        QTest::newRow("extreme values") << file << Settings{-32768, 32767, u"Olive"_s, -1};
        QTest::newRow("name of 126 bytes") << file << Settings{1, 2, QString(126, u'x'), 1};
        QTest::newRow("code page characters") << file << Settings{3840, 70, u"Café €™"_s, 1};
        QTest::newRow("folder that does not exist")
            << u"missing/settings.dat"_s << Settings{3590, 0, u"Blue"_s, 1};
        QTest::newRow("a folder in the file's place")
            << u"folder"_s << Settings{3590, 0, u"Blue"_s, 1};
    }
    void valuesSurviveTheFileOrTheFailureIsReported()
    {
        QFETCH(QString, where);
        QFETCH(Settings, settings);
        QTemporaryDir dir;
        make(u"folder"_s, dir.filePath(u"folder"_s));
        const QString path = dir.filePath(where);
        const bool works = where == u"settings.dat"_s;
        QString loadError, saveError;
        QCOMPARE(settingsfile::load(path, Settings(), &loadError), Settings()); // created, empty
        QCOMPARE(loadError.isEmpty(), works);
        QCOMPARE(QFileInfo(path).isFile() && QFileInfo(path).size() == 0, works);
        QCOMPARE(settingsfile::save(path, settings, &saveError), works);
        QCOMPARE(saveError.isEmpty(), works);
        QVERIFY(!works || QFileInfo(path).size() == 512);
        QCOMPARE(settingsfile::load(path, Settings()), works ? settings : Settings());
    }

    void aMissingOrBrokenSkinImageFallsBackToTheBuiltInOne_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::newRow("file missing") << u"Green"_s << QByteArray();
        QTest::newRow("not a picture") << u"Green"_s << QByteArray("GIF89a broken");
        // A huge picture would hold its memory for as long as the bar runs.
        QTest::newRow("larger than the bar") << u"Green"_s << QByteArray("<huge>");
        QTest::newRow("path outside the skins folder") << u"../Green"_s << QByteArray();
    }
    void aMissingOrBrokenSkinImageFallsBackToTheBuiltInOne()
    {
        QFETCH(QString, skin);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(u"skins/Green"_s);
        const QString max = dir.filePath(u"skins/Green/max.gif"_s);
        if (content == "<huge>")
            writeImage(max, {536, 20});
        else if (!content.isEmpty())
            put(max, content);
        // A real image one level up must never be reached through the name.
        writeImage(dir.filePath(u"Green/max.gif"_s));
        QString missing;
        QCOMPARE(SkinSource({dir.path()}).load(skin, SkinSource::kMax, &missing),
                 SkinSource::builtIn(SkinSource::kMax));
        QVERIFY(missing.endsWith(u"max.gif"_s));
    }

    void theSkinListHoldsFoldersWithABackgroundFromEveryBaseWhateverTheCase()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        writeImage(program.filePath(u"skins/Blue/background.gif"_s));
        writeImage(program.filePath(u"skins/NoMarker/close.gif"_s));
        writeImage(user.filePath(u"Skins/Olive/Background.GIF"_s));
        writeImage(user.filePath(u"skins/blue/background.gif"_s));
        const SkinSource skins({program.path(), user.path()});
        QCOMPARE(skins.skinNames(), (QStringList{u"Blue"_s, u"Olive"_s}));
        // Names match without regard to case, however the folders are spelt.
        QString missing;
        QCOMPARE(skins.load(u"OLIVE"_s, SkinSource::kBackground, &missing).size(), QSize(3, 2));
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        QVERIFY(SkinSource({program.filePath(u"none"_s)}).skinNames().isEmpty());
    }

    // Only a name the bar can load and settings.dat can hold may be chosen.
    void onlyUsableSkinNamesAreListed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("code page characters") << u"Café €"_s << true;
        QTest::newRow("126 bytes") << QString(126, u'x') << true;
        QTest::newRow("127 bytes, too long for its record") << QString(127, u'x') << false;
        QTest::newRow("outside the code page") << u"Синий"_s << false;
        QTest::newRow("a drive letter") << u"C:"_s << false;
        QTest::newRow("a backslash") << u"a\\b"_s << false;
        QTest::newRow("a folder above") << u".."_s << false;
    }
    void onlyUsableSkinNamesAreListed()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(SkinSource::isUsableName(name), usable);
        QTemporaryDir dir;
        if (!QDir(dir.path()).mkpath(u"skins/"_s + name) || name == u"..")
            return; // this system keeps no such folder
        writeImage(dir.filePath(u"skins/%1/background.gif"_s.arg(name)));
        QCOMPARE(SkinSource({dir.path()}).skinNames().contains(name), usable);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
