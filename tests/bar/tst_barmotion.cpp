#include "bar/barlogic.h"
#include "bar/barmotion.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// A window as the slide and the fade see it: whole-pixel heights, an alpha
// and the button's image, with what reached it recorded.
struct FakeWindow
{
    int pixels = 17;
    QList<int> alphas;        // each alpha sent to the window
    QList<bool> buttonImages; // true: the collapse image
    MotionWindow window()
    {
        MotionWindow w;
        w.heightTwips = [this] { return pixels * 15; };
        w.heightPixels = [this] { return pixels; };
        w.setHeightTwips = [this](int twips) {
            pixels = int(std::lround(twips / 15.0));
            return pixels * 15;
        };
        w.setAlpha = [this](quint8 alpha) { alphas.append(alpha); };
        w.showButton = [this](bool expanded) { buttonImages.append(expanded); };
        return w;
    }
};

struct Motion
{
    FakeWindow window;
    BarMotion motion;

    explicit Motion(bool fading, std::chrono::milliseconds tick = 1h)
        : motion(window.window(), tick)
    {
        motion.setFading(fading);
    }

    // Both timers in turn, as the event loop runs them, until the slide ends.
    int slide()
    {
        int ticks = 0;
        while (motion.TmrExpand.isActive() && ticks < 100) {
            motion.TmrExpand_Timer();
            motion.TmrSetOpacity_Timer();
            ++ticks;
        }
        return ticks;
    }
};

} // namespace

class TestBarMotion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyTheLastTickOfASlideChangesStateAndButton()
    {
        Motion m(false);
        m.motion.PicMaxMin_Click();
        QVERIFY(m.motion.TmrExpand.isActive());
        for (int i = 0; i < 26; ++i) {
            m.motion.TmrExpand_Timer();
            QVERIFY(m.window.buttonImages.isEmpty());
            QCOMPARE(m.motion.Expanded, 0);
            if (i == 5) // a click during the slide does not turn it round
                m.motion.PicMaxMin_Click();
        }
        m.motion.TmrExpand_Timer();
        QCOMPARE(m.window.pixels, 343);
        QCOMPARE(m.motion.Expanded, 1);
        QVERIFY(!m.motion.TmrExpand.isActive());
        QCOMPARE(m.window.buttonImages, QList<bool>{true});

        m.motion.PicMaxMin_Click();
        QCOMPARE(m.slide(), 27);
        QCOMPARE(m.window.pixels, 17);
        QCOMPARE(m.motion.Expanded, 0);
        QCOMPARE(m.window.buttonImages, (QList<bool>{true, false}));
    }

    void theAlphaFollowsTheHeightThroughItsBands()
    {
        Motion m(true);
        m.motion.TmrSetOpacity_Timer();
        QCOMPARE(m.window.alphas, QList<int>{100});
        m.motion.PicMaxMin_Click();
        m.slide();
        m.motion.PicMaxMin_Click();
        m.slide();
        // Each band once, and an unchanged alpha never sent again.
        QCOMPARE(m.window.alphas, (QList<int>{100, 118, 136, 154, 175, 193, 205, 223, 240, 223, 205,
                                              193, 175, 154, 136, 118, 100}));
        QVERIFY(!m.motion.TmrSetOpacity.isActive());
    }

    void withoutFadingTheTicksLeaveTheAlphaAlone()
    {
        Motion m(false);
        m.motion.Opacity = 255;
        m.motion.TransparentWindow();
        m.motion.PicMaxMin_Click();
        m.slide();
        QCOMPARE(m.window.alphas, QList<int>{255});
        QCOMPARE(int(m.motion.Opacity), 255);
    }

    void theFadeSleepsAtRestAndWakesForASlide()
    {
        Motion m(true);
        m.motion.TmrSetOpacity_Timer();
        QVERIFY(!m.motion.TmrSetOpacity.isActive());
        m.motion.PicMaxMin_Click();
        QVERIFY(m.motion.TmrSetOpacity.isActive());
        m.slide();
        m.motion.TmrSetOpacity_Timer(); // the tick after the last step
        QVERIFY(!m.motion.TmrSetOpacity.isActive());
        QCOMPARE(m.window.alphas.last(), 240);
    }

    // The one check on real time: timers never fire early, so however
    // loaded the machine, a slide takes at least its 27 ticks of 10 ms.
    void realTicksComeNoSoonerThanTenMillisecondsApart()
    {
        Motion m(true, 10ms);
        QElapsedTimer clock;
        clock.start();
        m.motion.PicMaxMin_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!m.motion.TmrExpand.isActive(), 60000);
        QVERIFY2(clock.elapsed() >= 27 * 10 - 2, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m.window.pixels, 343);
        QTRY_COMPARE_WITH_TIMEOUT(int(m.motion.Opacity), 240, 60000);
    }
};

QTEST_GUILESS_MAIN(TestBarMotion)
#include "tst_barmotion.moc"
