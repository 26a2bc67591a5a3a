#include "frmmargletqk.h"
#include "picturebox.h"
#include "settingsfile.h"
#include "windowsversiondetect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace WindowsVersionDetect;
using namespace std::chrono_literals;

namespace {

quint32 windows98()
{
    return 0x0A04;
}

// A bar as start-up leaves it, collapsed, with ticks driven by the test.
struct Bar
{
    QTemporaryDir dir;
    std::unique_ptr<FrmMargletQK> bar;

    explicit Bar(qint16 transparency, std::chrono::milliseconds tick = 1h)
    {
        BarEnvironment env;
        env.dataFolder = dir.path();
        env.skinBases = {QStringLiteral(MARGLET_ASSETS_DIR)};
        env.report = [](const QString &) {};
        env.tick = tick;
        Settings s;
        s.Transparency = transparency;
        settingsfile::save(dir.filePath(QStringLiteral("settings.dat")), s);
        DetectWindowsVersion();
        bar = std::make_unique<FrmMargletQK>(env);
        bar->ShapeWindow(bar.get());
        bar->resize(185, 17);
        bar->ApplySettings();
        bar->PicMaxMin->setPicture(bar->PicMaxButton);
    }
    FrmMargletQK *operator->() { return bar.get(); }

    // Ticks the slide to its end, both timers in turn; returns the number
    // of ticks and keeps each new alpha seen on the way.
    int slide(QList<int> *alphas = nullptr)
    {
        int ticks = 0;
        while (bar->TmrExpand.isActive() && ticks < 100) {
            bar->TmrExpand_Timer();
            bar->TmrSetOpacity_Timer();
            if (alphas && (alphas->isEmpty() || alphas->last() != bar->Opacity))
                alphas->append(bar->Opacity);
            ++ticks;
        }
        return ticks;
    }
};

QImage imageOf(const QPixmap &p)
{
    return p.toImage();
}

} // namespace

class TestBarMotion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { setVersionSource(nullptr); }

    void onlyTheLastTickOfASlideSwapsTheButtonImage()
    {
        Bar bar(0);
        bar->PicMaxMin_Click();
        QVERIFY(bar->TmrExpand.isActive());
        QCOMPARE(bar->Expanded, 0);
        for (int i = 0; i < 26; ++i) {
            bar->TmrExpand_Timer();
            QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(bar->PicMaxButton));
            QCOMPARE(bar->Expanded, 0);
            if (i == 5) // a click during the slide changes nothing
                bar->PicMaxMin_Click();
        }
        bar->TmrExpand_Timer();
        QCOMPARE(bar->height(), 343);
        QCOMPARE(bar->Expanded, 1);
        QVERIFY(!bar->TmrExpand.isActive());
        QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(bar->PicMinButton));

        bar->PicMaxMin_Click();
        QCOMPARE(bar.slide(), 27);
        QCOMPARE(bar->height(), 17);
        QCOMPARE(bar->Expanded, 0);
        QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(bar->PicMaxButton));
    }

    void theAlphaFollowsTheHeightThroughItsBands()
    {
        Bar bar(1);
        QCOMPARE(int(bar->Opacity), 80); // applied settings, collapsed
        bar->TmrSetOpacity_Timer();
        QCOMPARE(int(bar->Opacity), 100);
        QCOMPARE(qRound(bar->windowOpacity() * 255), 100);

        QList<int> seen;
        bar->PicMaxMin_Click();
        bar.slide(&seen);
        QCOMPARE(seen, (QList<int>{100, 118, 136, 154, 175, 193, 205, 223, 240}));
        seen.clear();
        bar->PicMaxMin_Click();
        bar.slide(&seen);
        QCOMPARE(seen, (QList<int>{240, 223, 205, 193, 175, 154, 136, 118, 100}));
        QCOMPARE(qRound(bar->windowOpacity() * 255), 100);
    }

    void applyingSettingsSetsItsValueAndTheFadeCorrectsIt_data()
    {
        QTest::addColumn<qint16>("transparency");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<int>("applied");
        QTest::addColumn<int>("afterTick");
        QTest::newRow("fading, collapsed") << qint16(1) << false << 80 << 100;
        QTest::newRow("fading, expanded") << qint16(1) << true << 240 << 240;
        QTest::newRow("no fading") << qint16(0) << true << 255 << 255;
        QTest::newRow("unknown value leaves the alpha") << qint16(3) << false << 0 << 0;
    }
    void applyingSettingsSetsItsValueAndTheFadeCorrectsIt()
    {
        QFETCH(qint16, transparency);
        QFETCH(bool, expanded);
        QFETCH(int, applied);
        QFETCH(int, afterTick);
        Bar bar(transparency);
        if (expanded) {
            bar->PicMaxMin_Click();
            bar.slide();
        }
        bar->ApplySettings();
        QCOMPARE(int(bar->Opacity), applied);
        QVERIFY(bar->TmrSetOpacity.isActive());
        bar->TmrSetOpacity_Timer();
        QCOMPARE(int(bar->Opacity), afterTick);
    }

    void theOlderFamilyNeverSetsAnAlpha()
    {
        setVersionSource(windows98);
        Bar bar(1);
        QCOMPARE(OSFamily, kFamilyOld);
        bar->PicMaxMin_Click();
        bar.slide();
        bar->ApplySettings();
        bar->TmrSetOpacity_Timer();
        QCOMPARE(int(bar->Opacity), 0);
        QCOMPARE(bar->windowOpacity(), 1.0);
        QVERIFY(bar->mask().isEmpty());
    }

    void settingsAppliedMidSlideShowTheStartingStateUntilTheEnd()
    {
        Bar bar(0);
        bar->PicMaxMin_Click();
        for (int i = 0; i < 5; ++i)
            bar->TmrExpand_Timer();
        bar->TmrApplySettings.start();
        bar->TmrApplySettings_Timer();
        QVERIFY(!bar->TmrApplySettings.isActive());
        QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(bar->PicMaxButton));
        bar.slide();
        QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(bar->PicMinButton));
    }

    void aNewSkinReachesTheButtonForTheBarsState_data()
    {
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QString>("image");
        QTest::newRow("collapsed") << false << QStringLiteral("max.gif");
        QTest::newRow("expanded") << true << QStringLiteral("min.gif");
    }
    void aNewSkinReachesTheButtonForTheBarsState()
    {
        QFETCH(bool, expanded);
        QFETCH(QString, image);
        Bar bar(0);
        if (expanded) {
            bar->PicMaxMin_Click();
            bar.slide();
        }
        Settings olive;
        olive.SkinName = QStringLiteral("Olive");
        QVERIFY(settingsfile::save(bar->settingsPath(), olive));
        bar->TmrApplySettings_Timer();
        const QImage wanted(QStringLiteral(MARGLET_ASSETS_DIR "/skins/Olive/") + image);
        QCOMPARE(imageOf(bar->PicMaxMin->picture()), imageOf(QPixmap::fromImage(wanted)));
        QCOMPARE(bar->SkinName, QStringLiteral("Olive"));
        QCOMPARE(bar->PicTab01->picture().toImage(),
                 bar->PicActiveTab.toImage()); // tabs keep theirs
    }

    void collapsingTakesTheCaretOutOfTheHiddenNotePad()
    {
        Bar bar(0);
        bar->show();
        QVERIFY(QTest::qWaitForWindowActive(bar.bar.get()));
        bar->PicMaxMin_Click();
        bar.slide();
        bar->TxtNotepad->setFocus();
        QVERIFY(bar->TxtNotepad->hasFocus());
        bar->PicMaxMin_Click();
        bar.slide();
        QVERIFY(!bar->TxtNotepad->hasFocus());
    }

    void realTicksComeTenMillisecondsApart()
    {
        Bar bar(1, 10ms);
        QElapsedTimer clock;
        int ticks = 0;
        connect(&bar->TmrExpand, &QTimer::timeout, bar.bar.get(), [&] { ++ticks; });
        clock.start();
        bar->PicMaxMin_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!bar->TmrExpand.isActive(), 3000);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(ticks, 27);
        QVERIFY2(elapsed >= 27 * 10 - 2, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
        QCOMPARE(bar->height(), 343);
        QTRY_COMPARE(int(bar->Opacity), 240);
        QTRY_VERIFY(!bar->TmrSetOpacity.isActive());
    }
};

QTEST_MAIN(TestBarMotion)
#include "tst_barmotion.moc"
