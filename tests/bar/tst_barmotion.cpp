#include "bar/barmotion.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

namespace {

using Alphas = QList<std::pair<int, int>>; // each alpha sent, with the height then

// The slide and the fade on a window of whole-pixel heights, an alpha and the
// button's image, with what reached it recorded.
struct Motion
{
    int pixels = 17;
    QList<int> heights; // each height a slide step left, in pixels
    Alphas alphas;
    QList<bool> buttonImages; // true: the collapse image
    BarMotion motion;

    explicit Motion(bool fading, std::chrono::milliseconds tick = 1h) : motion(window(), tick)
    {
        motion.setFading(fading);
    }
    MotionWindow window()
    {
        MotionWindow w;
        w.heightTwips = [this] { return pixels * 15; };
        w.heightPixels = [this] { return pixels; };
        w.setHeightTwips = [this](int twips) {
            heights.append(pixels = int(std::lround(twips / 15.0)));
            return pixels * 15;
        };
        w.setAlpha = [this](quint8 alpha) { alphas.append({pixels, alpha}); };
        w.showButton = [this](bool expanded) { buttonImages.append(expanded); };
        return w;
    }

    // Both timers in turn, as the event loop runs them, until the slide ends.
    int slide()
    {
        int ticks = 0;
        for (; motion.TmrExpand.isActive() && ticks < 100; ++ticks) {
            motion.TmrExpand_Timer();
            motion.TmrSetOpacity_Timer();
        }
        return ticks;
    }
};

} // namespace

class TestBarMotion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachStepStartsFromTheHeightTheWindowTookAndOnlyTheLastChangesState()
    {
        Motion m(false);
        m.motion.PicMaxMin_Click();
        for (int i = 0; i < 27; ++i) {
            m.motion.TmrExpand_Timer();
            if (i == 5) // a click during the slide does not turn it round
                m.motion.PicMaxMin_Click();
        }
        QCOMPARE(m.motion.Expanded, 1);
        QCOMPARE(m.buttonImages, QList<bool>{true});
        m.motion.PicMaxMin_Click();
        QCOMPARE(m.slide(), 27);
        QCOMPARE(m.motion.Expanded, 0);
        QCOMPARE(m.buttonImages, (QList<bool>{true, false}));
        // 175 twips on whole pixels is 12 pixels a step; the step that
        // passes its end is followed by the resting height.
        QList<int> steps;
        for (int i = 0; i < 56; ++i)
            steps.append(i < 27 ? 29 + 12 * i : i == 27 ? 343 : i < 55 ? 331 - 12 * (i - 28) : 17);
        QCOMPARE(m.heights, steps);
    }

    void theFadeFollowsTheHeightAndSleepsAtRest()
    {
        // The band of each height a slide passes, sent only when it changes;
        // up to 41 pixels the alpha is left as it is.
        const Alphas fading{{17, 255},  {17, 100},  {53, 118},  {89, 136},  {137, 154}, {173, 175},
                            {209, 193}, {257, 205}, {293, 223}, {329, 240}, {319, 223}, {283, 205},
                            {247, 193}, {199, 175}, {163, 154}, {127, 136}, {79, 118},  {17, 100}};
        // Not fading, the alpha given stays.
        for (const Alphas &alphas : {fading, Alphas{{17, 255}}}) {
            Motion m(alphas == fading);
            m.motion.Opacity = 255;
            m.motion.TransparentWindow();
            m.motion.TmrSetOpacity_Timer();
            QVERIFY(!m.motion.TmrSetOpacity.isActive());
            for (int slide = 0; slide < 2; ++slide) {
                m.motion.PicMaxMin_Click();
                QVERIFY(m.motion.TmrSetOpacity.isActive());
                m.slide();
                m.motion.TmrSetOpacity_Timer(); // the tick after the last step
                QVERIFY(!m.motion.TmrSetOpacity.isActive());
            }
            QCOMPARE(m.alphas, alphas);
        }
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
        QCOMPARE(m.pixels, 343);
        QTRY_COMPARE_WITH_TIMEOUT(int(m.motion.Opacity), 240, 60000);
    }
};

QTEST_GUILESS_MAIN(TestBarMotion)
#include "tst_barmotion.moc"
