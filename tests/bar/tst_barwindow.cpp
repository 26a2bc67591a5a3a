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
    void captionsFitTheirButtonsWithTheFontsOfThisMachine()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        for (const QPushButton *b : {bar.CmdExport, bar.CmdImport, bar.CmdOptions, bar.CmdAbout})
            QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width() - 6,
                     qPrintable(b->text()));
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
    }

    void focusMovesInDesignOrder()
    {
        FrmMargletQK bar(environment(m_dir.path()));
        bar.ensureNotepad();
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
            {{7, 100}, QColor(0xDE, 0xDE, 0xD6)},   {{177, 100}, QColor(0xDE, 0xDE, 0xD6)},
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
