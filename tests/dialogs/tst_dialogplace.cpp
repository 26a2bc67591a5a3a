#include "dialogs/dialogplace.h"

#include <QTest>

class TestDialogPlace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void optionsOpensByTheBarAndWholeOnItsScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<int>("barLeft");
        QTest::addColumn<QPoint>("place");
        const QRect hd(0, 0, 1920, 1080);
        // Half the bar's left edge less half the dialog, in twips: 587.5 and
        // 339.5 pixels, rounded away from zero as whole pixels are.
        QTest::newRow("one screen") << hd << 1664 << QPoint(588, 340);
        QTest::newRow("classic position") << hd << 1681 << QPoint(596, 340);
        QTest::newRow("primary screen on the right")
            << QRect(1920, 0, 1920, 1080) << 1920 + 1664 << QPoint(1920 + 588, 340);
        QTest::newRow("primary screen below")
            << QRect(0, 1080, 1920, 1080) << 1664 << QPoint(588, 1080 + 340);
        // The rule alone puts it 53 pixels off the left edge here.
        QTest::newRow("640x480") << QRect(0, 0, 640, 480) << 384 << QPoint(0, 40);
        QTest::newRow("bar off the screen") << hd << 1920 << QPoint(716, 340);
        QTest::newRow("bar beyond a small screen's right edge")
            << QRect(0, 0, 640, 480) << 4000 << QPoint(640 - 489, 40);
        QTest::newRow("screen smaller than the dialog") << QRect(0, 0, 400, 300) << 0 << QPoint();
    }
    void optionsOpensByTheBarAndWholeOnItsScreen()
    {
        QFETCH(QRect, screen);
        QFETCH(int, barLeft);
        QFETCH(QPoint, place);
        const QSize outer(489, 401);
        QCOMPARE(
            dialogplace::keptWhole(dialogplace::options(screen, barLeft, outer), outer, screen),
            place);
    }

    void aboutIsCentredOnTheBarsScreen()
    {
        const QSize about(249, 167);
        QCOMPARE(dialogplace::centred(QRect(0, 0, 1920, 1080), about), QPoint(836, 457));
        QCOMPARE(dialogplace::centred(QRect(1920, 0, 1920, 1080), about), QPoint(1920 + 836, 457));
    }
};

QTEST_GUILESS_MAIN(TestDialogPlace)
#include "tst_dialogplace.moc"
