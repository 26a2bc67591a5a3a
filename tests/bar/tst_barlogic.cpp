#include "bar/barlogic.h"

#include <QTest>

using namespace barlogic;

namespace {

int wholePixels(int twips)
{
    return int(std::lround(twips / 15.0)) * 15;
}

struct Slide
{
    int ticks = 0;
    int height = 0;
    QList<int> heights;
};

Slide slide(qint16 expanded, int from, bool roundToPixels)
{
    Slide s;
    s.height = from;
    const auto set = [&](int h) { return roundToPixels ? wholePixels(h) : h; };
    for (;;) {
        const ExpandTick tick = expandTick(expanded, s.height, set);
        ++s.ticks;
        s.height = tick.height;
        s.heights.append(tick.height);
        if (tick.finished || s.ticks > 100)
            return s;
    }
}

} // namespace

class TestBarLogic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outlineHoldsExactlyTheseRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("top row") << 0 << 2 << 182;
        QTest::newRow("last collapsed row") << 16 << 2 << 182;
        QTest::newRow("the neck") << 17 << 6 << 178;
        QTest::newRow("row 22") << 22 << 1 << 183;
        QTest::newRow("body") << 23 << 0 << 184;
        QTest::newRow("bottom corner 3") << 340 << 3 << 181;
        QTest::newRow("bottom row") << 342 << 6 << 178;
    }
    void outlineHoldsExactlyTheseRows()
    {
        QFETCH(int, row);
        QFETCH(int, first);
        QFETCH(int, last);
        const QRegion region = outlineRegion();
        for (int x = -1; x <= 185; ++x) {
            const bool inside = x >= first && x <= last;
            QVERIFY2(region.contains(QPoint(x, row)) == inside,
                     qPrintable(QStringLiteral("row %1 column %2").arg(row).arg(x)));
        }
    }

    void slidesTakeTheirSteps_data()
    {
        QTest::addColumn<bool>("wholePixels");
        QTest::addColumn<qint16>("expanded");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("secondHeight");
        QTest::newRow("open, exact twips") << false << qint16(0) << 27 << 605;
        QTest::newRow("shut, exact twips") << false << qint16(1) << 27 << 4795;
        QTest::newRow("open, whole pixels") << true << qint16(0) << 27 << 615;
        QTest::newRow("shut, whole pixels") << true << qint16(1) << 27 << 4785;
    }
    void slidesTakeTheirSteps()
    {
        QFETCH(bool, wholePixels);
        QFETCH(qint16, expanded);
        QFETCH(int, ticks);
        QFETCH(int, secondHeight);
        const Slide s = slide(expanded, expanded ? kExpandedHeight : kCollapsedHeight, wholePixels);
        QCOMPARE(s.ticks, ticks);
        QCOMPARE(s.heights.at(1), secondHeight);
        QCOMPARE(s.height, expanded ? kCollapsedHeight : kExpandedHeight);
        // The step before the last has not yet passed its end test.
        const int beforeLast = s.heights.at(s.heights.size() - 2);
        QVERIFY(expanded ? beforeLast >= kCollapseEndBelow : beforeLast <= kExpandEndAbove);
    }

    void fadeBandsHaveTheirEdges_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("opacity"); // -1: left as it is
        const int edges[][3] = {{17, 100, -1},   {41, -1, 118},   {81, 118, 136},
                                {127, 136, 154}, {166, 154, 175}, {207, 175, 193},
                                {248, 193, 205}, {290, 205, 223}, {320, 223, 240}};
        for (const auto &e : edges) {
            QTest::addRow("%d", e[0]) << e[0] << e[1];
            QTest::addRow("%d", e[0] + 1) << e[0] + 1 << e[2];
        }
        QTest::newRow("0") << 0 << 100;
        QTest::newRow("343") << 343 << 240;
        QTest::newRow("2000") << 2000 << 240;
    }
    void fadeBandsHaveTheirEdges()
    {
        QFETCH(int, height);
        QFETCH(int, opacity);
        const std::optional<quint8> value = fadeOpacity(height);
        QCOMPARE(value.has_value() ? int(*value) : -1, opacity);
    }
};

QTEST_GUILESS_MAIN(TestBarLogic)
#include "tst_barlogic.moc"
