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

    void readsOfShortDamagedAndPaddedFiles()
    {
        const QByteArray full = fileOf({"\6\16", "", QByteArray("\6\0Silver", 8), "\1"});
        const std::tuple<const char *, QByteArray, Settings> rows[] = {
            {"one byte is not yet a value", full.left(1), Settings()},
            {"cut inside the second record", full.left(129), {3590, 70, u"Blue"_s, 0}},
            {"last record cut after its value", full.left(386), {3590, 0, u"Silver"_s, 1}},
            {"name cut short by the end", full.left(261), {3590, 0, u"Sil"_s, 0}},
            {"stored length beyond its record",
             fileOf({"", "", QByteArray("\xC8\x00", 2) + QByteArray(126, 'n'), ""}),
             {0, 0, QString(126, u'n'), 0}},
            {"left-overs of a longer name in the padding",
             fileOf({"", "", QByteArray("\4\0BlueLeftovers", 15), "\1\0\377"}),
             {0, 0, u"Blue"_s, 1}},
        };
        for (const auto &[name, bytes, expected] : rows) {
            const auto row = nameOnFailure(name);
            QCOMPARE(settingscodec::decode(bytes), expected);
        }
    }

    void valuesSurviveTheFileOrTheFailureIsReported()
    {
        const QString file = u"settings.dat"_s;
        const std::tuple<const char *, QString, Settings> rows[] = {
            {"extreme values", file, {-32768, 32767, u"Olive"_s, -1}},
            {"name of 126 bytes", file, {1, 2, QString(126, u'x'), 1}},
            {"code page characters", file, {3840, 70, u"Café €™"_s, 1}},
            {"folder that does not exist", u"missing/settings.dat"_s, {3590, 0, u"Blue"_s, 1}},
            {"a folder in the file's place", u"folder"_s, {3590, 0, u"Blue"_s, 1}},
        };
        for (const auto &[name, where, settings] : rows) {
            const auto row = nameOnFailure(name);
            QTemporaryDir dir;
            QDir(dir.path()).mkdir(u"folder"_s);
            const QString path = dir.filePath(where);
            const bool works = where == file;
            QString loadError, saveError;
            QCOMPARE(settingsfile::load(path, Settings(), &loadError),
                     Settings()); // created, empty
            QCOMPARE(loadError.isEmpty(), works);
            QCOMPARE(QFileInfo(path).isFile() && QFileInfo(path).size() == 0, works);
            QCOMPARE(settingsfile::save(path, settings, &saveError), works);
            QCOMPARE(saveError.isEmpty(), works);
            QVERIFY(!works || QFileInfo(path).size() == 512);
            QCOMPARE(settingsfile::load(path, Settings()), works ? settings : Settings());
        }
    }

    void aMissingOrBrokenSkinImageFallsBackToTheBuiltInOne()
    {
        // What skins/Green/max.gif holds; empty: no file at all.
        const std::tuple<const char *, QString, QByteArray> rows[] = {
            {"file missing", u"Green"_s, {}},
            {"not a picture", u"Green"_s, "GIF89a broken"},
            // A huge picture would hold its memory for as long as the bar runs.
            {"larger than the bar", u"Green"_s, "<huge>"},
            {"path outside the skins folder", u"../Green"_s, {}},
        };
        for (const auto &[name, skin, content] : rows) {
            const auto row = nameOnFailure(name);
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
    void onlyUsableSkinNamesAreListed()
    {
        const std::tuple<const char *, QString, bool> rows[] = {
            {"code page characters", u"Café €"_s, true},
            {"126 bytes", QString(126, u'x'), true},
            {"127 bytes, too long for its record", QString(127, u'x'), false},
            {"outside the code page", u"Синий"_s, false},
            {"a drive letter", u"C:"_s, false},
            {"a backslash", u"a\\b"_s, false},
            {"a folder above", u".."_s, false},
        };
        for (const auto &[why, name, usable] : rows) {
            const auto row = nameOnFailure(why);
            QCOMPARE(SkinSource::isUsableName(name), usable);
            QTemporaryDir dir;
            if (!QDir(dir.path()).mkpath(u"skins/"_s + name) || name == u"..")
                continue; // this system keeps no such folder
            writeImage(dir.filePath(u"skins/%1/background.gif"_s.arg(name)));
            QCOMPARE(SkinSource({dir.path()}).skinNames().contains(name), usable);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
