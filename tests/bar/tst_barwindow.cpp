#include "frmmargletqk.h"
#include "picturebox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

BarEnvironment environment(const QString &folder)
{
    BarEnvironment env;
    env.dataFolder = folder;
    env.skinBases = {folder};
    env.report = [](const QString &) {};
    return env;
}

QWidget *nextFocus(QWidget *w)
{
    do
        w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus || w->focusProxy());
    return w;
}

} // namespace

class TestBarWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void controlsSitAtTheirDesignPlaces_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("PicMaxMin") << QStringLiteral("PicMaxMin") << QRect(152, 1, 15, 15);
        QTest::newRow("PicClose") << QStringLiteral("PicClose") << QRect(169, 1, 15, 15);
        QTest::newRow("PicTab01") << QStringLiteral("PicTab01") << QRect(7, 26, 52, 22);
        QTest::newRow("PicTab02") << QStringLiteral("PicTab02") << QRect(59, 26, 52, 22);
        QTest::newRow("PicTab03") << QStringLiteral("PicTab03") << QRect(111, 26, 52, 22);
        QTest::newRow("TxtNotepad") << QStringLiteral("TxtNotepad") << QRect(8, 48, 169, 193);
        QTest::newRow("PicBtnArea") << QStringLiteral("PicBtnArea") << QRect(7, 242, 171, 93);
        QTest::newRow("CmdExport") << QStringLiteral("CmdExport") << QRect(16, 252, 153, 20);
        QTest::newRow("CmdImport") << QStringLiteral("CmdImport") << QRect(16, 279, 153, 20);
        QTest::newRow("CmdOptions") << QStringLiteral("CmdOptions") << QRect(16, 306, 74, 19);
        QTest::newRow("CmdAbout") << QStringLiteral("CmdAbout") << QRect(95, 306, 74, 19);
    }
    void controlsSitAtTheirDesignPlaces()
    {
        QFETCH(QString, control);
        QFETCH(QRect, geometry);
        FrmMargletQK bar(environment(m_dir.path()));
        bar.LoadSkin();
        const QHash<QString, QWidget *> controls = {
            {QStringLiteral("PicMaxMin"), bar.PicMaxMin},   {QStringLiteral("PicClose"), bar.PicClose},
            {QStringLiteral("PicTab01"), bar.PicTab01},     {QStringLiteral("PicTab02"), bar.PicTab02},
            {QStringLiteral("PicTab03"), bar.PicTab03},     {QStringLiteral("TxtNotepad"), bar.TxtNotepad},
            {QStringLiteral("PicBtnArea"), bar.PicBtnArea}, {QStringLiteral("CmdExport"), bar.CmdExport},
            {QStringLiteral("CmdImport"), bar.CmdImport},   {QStringLiteral("CmdOptions"), bar.CmdOptions},
            {QStringLiteral("CmdAbout"), bar.CmdAbout},
        };
        QCOMPARE(controls.value(control)->geometry(), geometry);
    }

    void captionsAndTheirPlaces()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        QCOMPARE(bar.LblTitleBar->text(), QStringLiteral("QKS Marglet"));
        QCOMPARE(bar.LblTitleBar->pos(), QPoint(9, 0));
        QCOMPARE(bar.LblTitleBarShd->pos(), QPoint(8, 0));
        QCOMPARE(bar.LblTitleBar->color(), QColor(Qt::white));
        QVERIFY(bar.LblTitleBar->font().bold());
        QCOMPARE(bar.LblTitleBar->font().pixelSize(), 13);
        const CaptionLabel *tabs[] = {bar.LblNote01, bar.LblNote02, bar.LblNote03};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tabs[i]->text(), QStringLiteral("Note 0%1").arg(i + 1));
            QCOMPARE(tabs[i]->pos(), QPoint(5, 5));
            QCOMPARE(tabs[i]->font().pixelSize(), 11);
        }
        QCOMPARE(bar.CmdExport->text(), QStringLiteral("Save As Text File"));
        QCOMPARE(bar.CmdImport->text(), QStringLiteral("Load Text File"));
        QCOMPARE(bar.CmdOptions->text(), QStringLiteral("Options"));
        QCOMPARE(bar.CmdAbout->text(), QStringLiteral("About"));
        QCOMPARE(bar.CmdAbout->font().pixelSize(), 11);
        // Captions fit their buttons with the fonts this machine has.
        for (const QPushButton *b : {bar.CmdExport, bar.CmdImport, bar.CmdOptions, bar.CmdAbout})
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width() - 6, qPrintable(b->text()));
    }

    void buttonsLieInFrontOfTheirPanelAndTabsShowTheirImages()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        bar.resize(185, 343);
        QCOMPARE(bar.childAt(QPoint(20, 260)), bar.CmdExport);
        QCOMPARE(bar.childAt(QPoint(10, 245)), bar.PicBtnArea);
        QCOMPARE(bar.childAt(QPoint(161, 46)), bar.PicTab03);
        QCOMPARE(bar.childAt(QPoint(12, 33)), bar.LblNote01);
        QCOMPARE(bar.PicTab01->picture().toImage(), bar.PicActiveTab.toImage());
        QCOMPARE(bar.PicTab02->picture().toImage(), bar.PicTab.toImage());
        QCOMPARE(bar.PicTab03->picture().toImage(), bar.PicTab.toImage());
        QCOMPARE(bar.PicActiveTab.size(), QSize(52, 22));
        QCOMPARE(bar.PicTab.size(), QSize(52, 22));
    }

    void focusMovesInDesignOrder()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        QCOMPARE(nextFocus(bar.TxtNotepad), bar.CmdExport);
        QCOMPARE(nextFocus(bar.CmdExport), bar.CmdImport);
        QCOMPARE(nextFocus(bar.CmdImport), bar.CmdAbout);
        QCOMPARE(nextFocus(bar.CmdAbout), bar.CmdOptions);
    }

    void theDesignedSurfaceRendersWhole()
    {
        BarEnvironment env = environment(m_dir.path());
        env.skinBases = {QStringLiteral(MARGLET_ASSETS_DIR)};
        FrmMargletQK bar(env);
        bar.LoadSkin();
        QCOMPARE(bar.size(), QSize(535, 343));
        const QImage surface = bar.grab().toImage();
        // Kept for a person to look at against the layout.
        surface.save(QStringLiteral("design-surface.png"));
        const struct
        {
            QPoint at;
            QColor color;
        } lines[] = {
            {{7, 100}, QColor(0xDE, 0xDE, 0xD6)},  {{177, 100}, QColor(0xDE, 0xDE, 0xD6)},
            {{100, 241}, QColor(0xFF, 0xFF, 0xFF)}, {{170, 46}, QColor(0x4F, 0x88, 0xD6)},
            {{170, 47}, QColor(0x2F, 0x54, 0x8F)},
        };
        for (const auto &line : lines)
            QCOMPARE(surface.pixelColor(line.at), line.color);
        // Tab 3 hides the part of the lines that runs under it.
        QVERIFY(surface.pixelColor(161, 46) != QColor(0x4F, 0x88, 0xD6));
    }

    void aPictureBoxTakesTheSizeOfItsPictureAndKeepsItsCorner()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        QPixmap small(13, 13);
        small.fill(Qt::red);
        bar.PicClose->setPicture(small);
        QCOMPARE(bar.PicClose->geometry(), QRect(169, 1, 13, 13));
    }
};

QTEST_MAIN(TestBarWindow)
#include "tst_barwindow.moc"
