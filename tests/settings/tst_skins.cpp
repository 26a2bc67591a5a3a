#include "skins.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeImage(const QString &path, QColor color)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(color);
    QVERIFY(image.save(path, "PNG")); // content decides the format, not the name
}

} // namespace

class TestSkins : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namesMatchWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("onDisk");
        QTest::newRow("as the bar writes it") << QStringLiteral("skins/Green/background.gif");
        QTest::newRow("as the dialog writes it") << QStringLiteral("Skins/Green/Background.gif");
        QTest::newRow("all capitals") << QStringLiteral("SKINS/GREEN/BACKGROUND.GIF");
    }
    void namesMatchWithoutRegardToCase()
    {
        QFETCH(QString, onDisk);
        QTemporaryDir dir;
        writeImage(dir.filePath(onDisk), Qt::green);
        const SkinSource skins({dir.path()});
        QString missing;
        const QImage image = skins.load(QStringLiteral("green"), SkinSource::kBackground, &missing);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        QCOMPARE(image.size(), QSize(3, 2));
        QCOMPARE(skins.skinNames(), QStringList{QFileInfo(dir.filePath(onDisk)).dir().dirName()});
    }

    void aMissingOrBrokenImageFallsBackToTheBuiltInOne_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::newRow("file missing") << QStringLiteral("Green") << QByteArray();
        QTest::newRow("not a picture") << QStringLiteral("Green") << QByteArray("GIF89a broken");
        QTest::newRow("skin folder missing") << QStringLiteral("Nowhere") << QByteArray();
        QTest::newRow("path outside the skins folder") << QStringLiteral("../Green") << QByteArray();
        QTest::newRow("absolute path") << QStringLiteral("/etc") << QByteArray();
        QTest::newRow("drive letter") << QStringLiteral("C:Green") << QByteArray();
        QTest::newRow("empty name") << QString() << QByteArray();
    }
    void aMissingOrBrokenImageFallsBackToTheBuiltInOne()
    {
        QFETCH(QString, skin);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("skins/Green"));
        if (!content.isEmpty()) {
            QFile f(dir.filePath(QStringLiteral("skins/Green/max.gif")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        // A real image one level up must never be reached through the name.
        writeImage(dir.filePath(QStringLiteral("Green/max.gif")), Qt::red);

        const SkinSource skins({dir.path()});
        QString missing;
        const QImage image = skins.load(skin, SkinSource::kMax, &missing);
        QVERIFY(!missing.isEmpty());
        QVERIFY2(missing.endsWith(QStringLiteral("max.gif")), qPrintable(missing));
        QCOMPARE(image, SkinSource::builtIn(SkinSource::kMax));
        QVERIFY(!image.isNull());
    }

    void theBuiltInSkinHasAllFiveImages()
    {
        for (const QString &name : {SkinSource::kBackground, SkinSource::kButtonArea,
                                    SkinSource::kClose, SkinSource::kMax, SkinSource::kMin})
            QVERIFY2(!SkinSource::builtIn(name).isNull(), qPrintable(name));
        QCOMPARE(SkinSource::builtIn(SkinSource::kClose).size(), QSize(15, 15));
    }

    void skinListHoldsFoldersWithABackgroundFromEveryBase()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        writeImage(program.filePath(QStringLiteral("skins/Blue/background.gif")), Qt::blue);
        QDir(program.path()).mkpath(QStringLiteral("skins/Empty"));
        writeImage(program.filePath(QStringLiteral("skins/NoMarker/close.gif")), Qt::red);
        writeImage(user.filePath(QStringLiteral("Skins/Olive/Background.GIF")), Qt::green);
        writeImage(user.filePath(QStringLiteral("skins/blue/background.gif")), Qt::blue);
        const SkinSource skins({program.path(), user.path()});
        QCOMPARE(skins.skinNames(), (QStringList{QStringLiteral("Blue"), QStringLiteral("Olive")}));
        QVERIFY(SkinSource({program.filePath(QStringLiteral("none"))}).skinNames().isEmpty());
        // A skin only the user's folder has loads from there.
        QString missing;
        QCOMPARE(skins.load(QStringLiteral("Olive"), SkinSource::kBackground, &missing).pixelColor(0, 0),
                 QColor(Qt::green));
    }
};

QTEST_GUILESS_MAIN(TestSkins)
#include "tst_skins.moc"
