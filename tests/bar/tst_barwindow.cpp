#include "bar/frmmargletqk.h"
#include "bar/picturebox.h"
#include "core/windowsversiondetect.h"
#include "notes/notebook.h"
#include "settings/settingsfile.h"

#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

using namespace WindowsVersionDetect;

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

    explicit Bar(qint16 transparency)
    {
        BarEnvironment env;
        env.dataFolder = dir.path();
        env.skinBases = {QStringLiteral(MARGLET_ASSETS_DIR)};
        env.report = [](const QString &) {};
        env.tick = std::chrono::hours(1);
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
    BarMotion &motion() { return bar->motion(); }

    void slide()
    {
        for (int ticks = 0; motion().TmrExpand.isActive() && ticks < 100; ++ticks) {
            motion().TmrExpand_Timer();
            motion().TmrSetOpacity_Timer();
        }
    }
};

QImage imageOf(const QPixmap &p)
{
    return p.toImage();
}

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
        QCOMPARE(nextFocus(bar.PicClose), bar.PicMaxMin);
        QCOMPARE(nextFocus(bar.PicMaxMin), bar.PicTab01);
        QCOMPARE(nextFocus(bar.PicTab01), bar.PicTab02);
        QCOMPARE(nextFocus(bar.PicTab02), bar.PicTab03);
        QCOMPARE(nextFocus(bar.PicTab03), bar.TxtNotepad);
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
        QCOMPARE(int(bar.motion().Opacity), applied);
        QVERIFY(bar.motion().TmrSetOpacity.isActive());
        bar.motion().TmrSetOpacity_Timer();
        QCOMPARE(int(bar.motion().Opacity), afterTick);
        if (applied != 0)
            QCOMPARE(qRound(bar->windowOpacity() * 255), afterTick);
    }

    void theOlderFamilyNeverSetsAnAlphaNorAnOutline()
    {
        setVersionSource(windows98);
        Bar bar(1);
        setVersionSource(nullptr);
        bar->PicMaxMin_Click();
        bar.slide();
        bar->ApplySettings();
        bar.motion().TmrSetOpacity_Timer();
        QCOMPARE(int(bar.motion().Opacity), 0);
        QCOMPARE(bar->windowOpacity(), 1.0);
        QVERIFY(bar->mask().isEmpty());
        DetectWindowsVersion();
    }

    void settingsAppliedMidSlideShowTheStartingStateUntilTheEnd()
    {
        Bar bar(0);
        bar->PicMaxMin_Click();
        for (int i = 0; i < 5; ++i)
            bar.motion().TmrExpand_Timer();
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
        QCOMPARE(bar->PicTab01->picture().toImage(), bar->PicActiveTab.toImage());
    }

    void thePlaceComesFromTheSettingsNeverFromTheWindow()
    {
        Bar bar(0);
        bar->placeOnScreen();
        bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(bar.bar.get()));
        const QPoint place = bar->place();
        QCOMPARE(bar->pos(), place);
        // As a window manager that reparents the bar can make Qt believe.
        bar->move(0, 0);
        bar->PicMaxMin_Click();
        bar.motion().TmrExpand_Timer();
        QCOMPARE(bar->pos(), place);
        bar.slide();
        QCOMPARE(bar->geometry(), QRect(place, QSize(185, 343)));
        bar->move(40, 40);
        bar->ApplySettings();
        QCOMPARE(bar->pos(), place);
    }

    void theKeyboardGoesToTheBarOnlyWhenTheUserClicksIntoThePad()
    {
        Bar bar(0);
        bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(bar.bar.get()));
        QVERIFY(bar->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
        bar->PicMaxMin_Click();
        bar.slide();
        QVERIFY(bar->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QTest::mouseClick(bar->TxtNotepad->viewport(), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(bar.bar.get()));
        QVERIFY(!bar->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QTRY_VERIFY(bar->TxtNotepad->hasFocus());
        // Collapsed, the pad is out of sight: no caret blinks in it, and the
        // strip's next click takes no keyboard.
        bar->PicMaxMin_Click();
        bar.slide();
        QVERIFY(!bar->TxtNotepad->hasFocus());
        QVERIFY(bar->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    }

    void pictureControlsAreButtonsAndTabsToAssistiveTools_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::newRow("close") << "PicClose"
                               << "Close" << int(QAccessible::Button);
        QTest::newRow("expand") << "PicMaxMin"
                                << "Expand" << int(QAccessible::Button);
        QTest::newRow("tab 1") << "PicTab01"
                               << "Note 01" << int(QAccessible::PageTab);
        QTest::newRow("tab 2") << "PicTab02"
                               << "Note 02" << int(QAccessible::PageTab);
        QTest::newRow("tab 3") << "PicTab03"
                               << "Note 03" << int(QAccessible::PageTab);
    }
    void pictureControlsAreButtonsAndTabsToAssistiveTools()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(int, role);
        Bar bar(0);
        const QHash<QString, PictureBox *> controls{{u"PicClose"_qs, bar->PicClose},
                                                    {u"PicMaxMin"_qs, bar->PicMaxMin},
                                                    {u"PicTab01"_qs, bar->PicTab01},
                                                    {u"PicTab02"_qs, bar->PicTab02},
                                                    {u"PicTab03"_qs, bar->PicTab03}};
        PictureBox *box = controls.value(control);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(int(accessible->role()), role);
        QSignalSpy clicks(box, &ClickableWidget::clicked);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(clicks.size(), 1);
    }

    void spaceAndReturnPressAFocusedPictureControl_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("enter") << int(Qt::Key_Enter);
    }
    void spaceAndReturnPressAFocusedPictureControl()
    {
        QFETCH(int, key);
        Bar bar(0);
        QTest::keyClick(bar->PicMaxMin, Qt::Key(key));
        QVERIFY(bar.motion().TmrExpand.isActive());
        bar.slide();
        QCOMPARE(bar->PicMaxMin->accessibleName(), QStringLiteral("Collapse"));
        QTest::keyClick(bar->PicTab03, Qt::Key(key));
        QCOMPARE(bar->notes().ActiveNote, 3);
        QCOMPARE(imageOf(bar->PicTab03->picture()), imageOf(bar->PicActiveTab));
        // Other keys are no press.
        QTest::keyClick(bar->PicTab01, Qt::Key_A);
        QCOMPARE(bar->notes().ActiveNote, 3);
    }
};

QTEST_MAIN(TestBarWindow)
#include "tst_barwindow.moc"
