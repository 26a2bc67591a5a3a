#include "app/marglet.h"
#include "bar/barclosing.h"
#include "barfixture.h"
#include "settings/skins.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

Q_DECLARE_METATYPE(CloseChoice)

namespace {

// The program after its load sequence.
struct Started : BarFixture
{
    std::unique_ptr<MargletApp> app;

    explicit Started(std::optional<Settings> stored = Settings(), QString dataFolder = {})
        : BarFixture(stored)
    {
        if (!dataFolder.isEmpty())
            env.dataFolder = dataFolder;
        env.tick = std::chrono::milliseconds(10);
        app = std::make_unique<MargletApp>(env);
        start(&app->bar());
        QCoreApplication::processEvents();
    }
};

QPoint fromTopRight(int x, int y)
{
    return QPoint(QGuiApplication::primaryScreen()->geometry().width() - x, y);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedSettingsDecidePlaceAndOpacity_data()
    {
        QTest::addColumn<std::optional<Settings>>("settings");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<int>("opacity");
        QTest::addColumn<bool>("unwritable"); // nothing can be created in the data folder
        // Start applies 80; the first fade tick brings a collapsed bar to 100.
        QTest::newRow("first start: xp style, no fading")
            << std::optional<Settings>() << fromTopRight(256, 5) << 255 << false;
        QTest::newRow("xp style, fading") << std::optional<Settings>({3840, 70, u"Blue"_qs, 1})
                                          << fromTopRight(256, 5) << 100 << false;
        QTest::newRow("unknown fading value leaves opacity alone")
            << std::optional<Settings>({3840, 70, u"Blue"_qs, 7}) << fromTopRight(256, 5) << 0
            << false;
        QTest::newRow("an unwritable data folder is reported, not ignored")
            << std::optional<Settings>() << fromTopRight(256, 5) << 255 << true;
    }
    void storedSettingsDecidePlaceAndOpacity()
    {
        QFETCH(std::optional<Settings>, settings);
        QFETCH(QPoint, place);
        QFETCH(int, opacity);
        QFETCH(bool, unwritable);
        // Below a plain file nothing can be created.
        Started s(settings, unwritable ? QCoreApplication::applicationFilePath() : QString());
        QCOMPARE(s.reports.size(), int(unwritable));
        QCOMPARE(s.reports.filter(u"settings.dat"_qs).size(), int(unwritable));
        QCOMPARE(s.bar->geometry(), QRect(place, QSize(185, 17)));
        QCOMPARE(s.picture("PicMaxMin"), skinImage(u"Blue"_qs, SkinSource::kMax));
        QTRY_COMPARE(int(s.motion().Opacity), opacity);
        QCOMPARE(qRound(s.bar->windowOpacity() * 255), opacity ? opacity : 255);
        // Applied again from Options (80 when fading), the resting bar's
        // fade wakes to bring it back.
        s.apply();
        QTRY_COMPARE(int(s.motion().Opacity), opacity);
    }

    void aMissingSkinFallsBackAndIsReportedOnce()
    {
        Started s(Settings{3840, 70, u"Gone"_qs, 0});
        QCOMPARE(s.reports.size(), 1);
        QCOMPARE(s.picture("PicMaxMin"),
                 QPixmap::fromImage(SkinSource::builtIn(SkinSource::kMax)).toImage());
        // Applying the same skin again, and sliding, tells nothing new.
        s.apply();
        s.click("PicMaxMin");
        QTRY_VERIFY(!s.motion().TmrExpand.isActive());
        QCOMPARE(s.picture("PicMaxMin"),
                 QPixmap::fromImage(SkinSource::builtIn(SkinSource::kMin)).toImage());
        QCoreApplication::processEvents();
        QCOMPARE(s.reports.size(), 1);
    }

    void theNotePadArrivesAfterTheFirstPaintAndTakesNoteOneUnchangedWhenOpened()
    {
        QTemporaryDir dir;
        put(dir.filePath(u"note01.qkn"_qs), "first line\r\nCaf\xe9");
        Started s(Settings(), dir.path());
        // Nothing built it before the window was on screen.
        QVERIFY(!s.bar->findChild<QPlainTextEdit *>());
        s.bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.bar));
        QTRY_VERIFY(s.bar->findChild<QPlainTextEdit *>());
        // A collapsed bar holds the note once, in its store, and hides the pad
        // with all of its body.
        QVERIFY(s.pad()->toPlainText().isEmpty());
        QVERIFY(s.pad()->isHidden());
        s.click("PicMaxMin");
        QCOMPARE(s.pad()->toPlainText(), QStringLiteral("first line\nCaf\u00e9"));
        QVERIFY(!s.notes().hasUnsaved());
    }

    void closingWhileANoteCannotBeSavedLeavesTheChoiceToTheUser_data()
    {
        QTest::addColumn<QList<CloseChoice>>("answers");
        QTest::addColumn<bool>("rescueBlocked"); // nothing can be written where rescues go
        QTest::addColumn<bool>("ends");
        QTest::addColumn<QByteArray>("rescued"); // what a rescue file holds, if one is made
        QTest::addColumn<int>("status");
        using C = CloseChoice;
        QTest::newRow("the bar stays open with the text")
            << QList<C>{C::KeepOpen} << false << false << QByteArray() << 1;
        QTest::newRow("a try after the place was freed saves it")
            << QList<C>{C::TryAgain} << false << true << QByteArray() << 0;
        QTest::newRow("a rescue file keeps the text, and the status tells")
            << QList<C>{C::Rescue} << false << true << QByteArray("precious") << 1;
        QTest::newRow("when even the rescue fails, closing without saving is a choice")
            << QList<C>{C::Rescue, C::CloseAnyway} << true << true << QByteArray() << 1;
    }
    void closingWhileANoteCannotBeSavedLeavesTheChoiceToTheUser()
    {
        QFETCH(QList<CloseChoice>, answers);
        QFETCH(bool, rescueBlocked);
        QFETCH(bool, ends);
        QFETCH(QByteArray, rescued);
        QFETCH(int, status);
        Started s;
        s.bar->show();
        QSignalSpy finished(s.bar, &FrmMargletQK::finished);
        // A folder where the note file should be: no write can succeed.
        const QString blocked = s.path(u"note02.qkn"_qs);
        QVERIFY(QDir().mkdir(blocked));
        if (rescueBlocked)
            s.write(u"rescued"_qs, {});
        s.open();
        s.click("PicTab02");
        QTest::keyClicks(s.pad(), QStringLiteral("precious"));
        s.answers = answers;
        // The user frees the place while the failure is told.
        if (answers.first() == CloseChoice::TryAgain)
            QObject::connect(&s.notes(), &NoteBook::problem, [&] { QDir().rmdir(blocked); });

        s.click("PicClose");
        QCOMPARE(finished.size(), ends ? 1 : 0);
        QCOMPARE(s.bar->isVisible(), !ends);
        QVERIFY(s.questions.value(0).contains(u"Note 02"_qs));
        QVERIFY(s.reports.last().contains(u"note02.qkn"_qs));
        QCOMPARE(s.bar->closing().exitStatus(), status);
        const QStringList rescues = QDir(s.path(u"rescued"_qs)).entryList(QDir::Files);
        QCOMPARE(rescues.size(), rescued.isEmpty() ? 0 : 1);
        if (!rescued.isEmpty())
            QCOMPARE(s.read(u"rescued/"_qs + rescues.first()), rescued);
        if (status == 0)
            QCOMPARE(s.read(u"note02.qkn"_qs), QByteArray("precious"));
    }

    void aDialogClosedWithTheKeyboardGivesItBackToTheBarsButton()
    {
        Started s;
        s.bar->show();
        s.open();
        for (const bool about : {false, true}) {
            QWidget *opener = s.control<QWidget>(about ? "CmdAbout" : "CmdOptions");
            s.bar->takeFocusBack(opener);
            QVERIFY(QTest::qWaitForWindowActive(s.bar));
            QTest::keyClick(opener, Qt::Key_Space);
            QVERIFY(QTest::qWaitForWindowActive(about ? static_cast<QWidget *>(s.app->about())
                                                      : s.app->options()));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QTRY_COMPARE(QApplication::focusWidget(), opener);
        }
    }

    void dialogsOpenOnceApplyMovesTheBarAndTheyCloseWithIt()
    {
        Started s;
        s.bar->show();
        s.open();
        s.click("CmdAbout");
        QPointer<FrmAbout> about = s.app->about();
        QVERIFY(about && about->isVisible());
        s.click("CmdAbout");
        QCOMPARE(s.app->about(), about.data());
        s.click("CmdOptions");
        QPointer<FrmOptions> options = s.app->options();
        QVERIFY(options && options->isVisible());
        s.click("CmdOptions");
        QCOMPARE(s.app->options(), options.data());

        options->Rad9x->click();
        options->CmdSave->click();
        QTRY_COMPARE(s.bar->pos(), fromTopRight(239, 0)); // on the bar's next tick
        QCOMPARE(s.bar->size(), QSize(185, 343));

        s.click("PicClose");
        QTRY_VERIFY(!about);
        QTRY_VERIFY(!options);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
