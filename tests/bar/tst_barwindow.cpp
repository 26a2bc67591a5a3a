#include "barfixture.h"
#include "core/windowsversiondetect.h"
#include "settings/skins.h"

#include <QAccessible>
#include <QWindow>

using namespace WindowsVersionDetect;

namespace {

quint32 windows98()
{
    return 0x0A04;
}

QImage skinImage(const QString &skin, const QString &file)
{
    return QPixmap::fromImage(
               QImage(QStringLiteral(MARGLET_ASSETS_DIR "/skins/%1/%2").arg(skin, file)))
        .toImage();
}

} // namespace

class TestBarWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theButtonShowsTheImageForTheBarsState_data()
    {
        QTest::addColumn<bool>("expanded");  // a whole slide before the settings apply
        QTest::addColumn<bool>("midSlide");  // the apply comes five ticks into one more
        QTest::addColumn<QString>("during"); // what the button shows right after the apply
        QTest::addColumn<QString>("after");  // and once the last slide has ended
        QTest::newRow("collapsed") << false << false << SkinSource::kMax << SkinSource::kMax;
        QTest::newRow("expanded") << true << false << SkinSource::kMin << SkinSource::kMin;
        QTest::newRow("while opening") << false << true << SkinSource::kMax << SkinSource::kMin;
        QTest::newRow("while shutting") << true << true << SkinSource::kMin << SkinSource::kMax;
    }
    void theButtonShowsTheImageForTheBarsState()
    {
        QFETCH(bool, expanded);
        QFETCH(bool, midSlide);
        QFETCH(QString, during);
        QFETCH(QString, after);
        BarFixture f;
        f.start();
        if (expanded) {
            f.click("PicMaxMin");
            f.slide();
            QCOMPARE(f.picture("PicMaxMin"), skinImage(u"Blue"_qs, SkinSource::kMin));
        }
        if (midSlide) {
            f.click("PicMaxMin");
            for (int i = 0; i < 5; ++i)
                f.motion().TmrExpand_Timer();
        }
        // A new skin from the Options dialog reaches the button on the next tick.
        Settings olive;
        olive.SkinName = QStringLiteral("Olive");
        QVERIFY(settingsfile::save(f.bar->settingsPath(), olive));
        f.apply();
        QCOMPARE(f.picture("PicMaxMin"), skinImage(u"Olive"_qs, during));
        f.slide();
        QCOMPARE(f.picture("PicMaxMin"), skinImage(u"Olive"_qs, after));
        QCOMPARE(f.picture("PicClose"), skinImage(u"Olive"_qs, SkinSource::kClose));
    }

    void appliedSettingsSetTheAlphaAndTheFadeCorrectsIt_data()
    {
        QTest::addColumn<bool>("olderFamily");
        QTest::addColumn<qint16>("transparency");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<int>("applied");
        QTest::addColumn<int>("afterTick");
        QTest::newRow("fading, collapsed") << false << qint16(1) << false << 80 << 100;
        QTest::newRow("fading, expanded") << false << qint16(1) << true << 240 << 240;
        QTest::newRow("the older family never fades") << true << qint16(1) << true << 0 << 0;
    }
    void appliedSettingsSetTheAlphaAndTheFadeCorrectsIt()
    {
        QFETCH(bool, olderFamily);
        QFETCH(qint16, transparency);
        QFETCH(bool, expanded);
        QFETCH(int, applied);
        QFETCH(int, afterTick);
        Settings s;
        s.Transparency = transparency;
        BarFixture f(s);
        if (olderFamily)
            setVersionSource(windows98);
        f.start();
        setVersionSource(nullptr);
        if (expanded) {
            f.click("PicMaxMin");
            f.slide();
        }
        f.apply();
        QCOMPARE(int(f.motion().Opacity), applied);
        f.motion().TmrSetOpacity_Timer();
        QCOMPARE(int(f.motion().Opacity), afterTick);
        QCOMPARE(qRound(f.bar->windowOpacity() * 255), afterTick ? afterTick : 255);
        QCOMPARE(f.bar->mask().isEmpty(), olderFamily);
        DetectWindowsVersion();
    }

    void thePlaceComesFromTheSettingsNeverFromTheWindow()
    {
        BarFixture f;
        f.start().show();
        QVERIFY(QTest::qWaitForWindowExposed(f.bar));
        const QPoint place = f.bar->place();
        QCOMPARE(f.bar->pos(), place);
        // As a window manager that reparents the bar can make Qt believe.
        f.bar->move(0, 0);
        f.click("PicMaxMin");
        f.motion().TmrExpand_Timer();
        QCOMPARE(f.bar->pos(), place);
        f.slide();
        QCOMPARE(f.bar->geometry(), QRect(place, QSize(185, 343)));
        f.bar->move(40, 40);
        f.apply();
        QCOMPARE(f.bar->pos(), place);
    }

    void theKeyboardGoesToTheBarOnlyWhenTheUserClicksIntoThePad()
    {
        BarFixture f;
        f.start().show();
        QVERIFY(QTest::qWaitForWindowExposed(f.bar));
        const auto refuses = [&] {
            return f.bar->windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus);
        };
        QVERIFY(refuses());
        f.click("PicMaxMin");
        f.slide();
        QVERIFY(refuses());
        QTest::mouseClick(f.pad()->viewport(), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(f.bar));
        QVERIFY(!refuses());
        QTRY_VERIFY(f.pad()->hasFocus());
        // Collapsed, the pad is out of sight: no caret blinks in it, and the
        // strip's next click takes no keyboard.
        f.click("PicMaxMin");
        f.slide();
        QVERIFY(!f.pad()->hasFocus());
        QVERIFY(refuses());
    }

    void pictureControlsWorkFromAssistiveToolsAndTheKeyboard_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::newRow("close") << "PicClose"
                               << "Close" << int(QAccessible::Button);
        QTest::newRow("expand") << "PicMaxMin"
                                << "Expand" << int(QAccessible::Button);
        for (const char *tab : {"01", "02", "03"})
            QTest::addRow("tab %s", tab)
                << u"PicTab"_qs + QLatin1StringView(tab) << u"Note "_qs + QLatin1StringView(tab)
                << int(QAccessible::PageTab);
    }
    void pictureControlsWorkFromAssistiveToolsAndTheKeyboard()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(int, role);
        BarFixture f;
        f.start();
        PictureBox *box = f.control(qPrintable(control));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(int(accessible->role()), role);
        QSignalSpy clicks(box, &ClickableWidget::clicked);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_A})
            QTest::keyClick(box, key);
        QCOMPARE(clicks.size(), 4); // every press but the letter
    }
};

QTEST_MAIN(TestBarWindow)
#include "tst_barwindow.moc"
