#include "app/marglet.h"
#include "bar/barlogic.h"
#include "bar/picturebox.h"
#include "core/windowsversiondetect.h"
#include "notes/notebook.h"
#include "settings/settingsfile.h"
#include "settings/skins.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace WindowsVersionDetect;

Q_DECLARE_METATYPE(CloseChoice)

namespace {

// The program after its load sequence, in a folder of its own.
struct Started
{
    QTemporaryDir dir;
    QStringList reports;
    QStringList questions;
    QList<CloseChoice> answers; // to the questions on closing, in turn
    std::unique_ptr<MargletApp> app;

    explicit Started(const Settings *stored = nullptr, QString dataFolder = {})
    {
        if (stored)
            settingsfile::save(dir.filePath(QStringLiteral("settings.dat")), *stored);
        BarEnvironment env;
        env.dataFolder = dataFolder.isEmpty() ? dir.path() : dataFolder;
        env.skinBases = {QStringLiteral(MARGLET_ASSETS_DIR)};
        env.report = [this](const QString &m) { reports.append(m); };
        env.rescueFolder = dir.filePath(QStringLiteral("rescued"));
        env.askOnClose = [this](const QString &problem, bool) {
            questions.append(problem);
            return answers.isEmpty() ? CloseChoice::KeepOpen : answers.takeFirst();
        };
        app = std::make_unique<MargletApp>(env);
        app->Form_Load();
        QCoreApplication::processEvents();
    }
    FrmMargletQK &bar() { return app->bar(); }
};

int screenWidth()
{
    return QGuiApplication::primaryScreen()->geometry().width();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstStartPlacesACollapsedBarAtTheXpPosition()
    {
        Started s;
        FrmMargletQK &bar = s.bar();
        QVERIFY2(s.reports.isEmpty(), qPrintable(s.reports.join(u'\n')));
        QVERIFY(QFile::exists(s.dir.filePath(QStringLiteral("settings.dat"))));
        QCOMPARE(bar.PosFromRight, 3840);
        QCOMPARE(bar.PosTop, 70);
        QCOMPARE(bar.SkinName, QStringLiteral("Blue"));
        QCOMPARE(bar.Transparency, 0);
        QCOMPARE(bar.size(), QSize(185, 17));
        QCOMPARE(bar.pos(), QPoint(screenWidth() - 256, 5));
        QCOMPARE(bar.notes().ActiveNote, 1);
        QCOMPARE(bar.motion().Expanded, 0);
        QCOMPARE(bar.mask(), barlogic::outlineRegion());
    }

    void storedSettingsDecidePlaceAndOpacity_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QPoint>("offsetFromTopRight"); // x from the right edge, y from the top
        QTest::addColumn<int>("opacity");
        // Start applies 80; the first fade tick brings a collapsed bar to 100.
        QTest::newRow("xp style, fading")
            << Settings{3840, 70, QStringLiteral("Blue"), 1} << QPoint(256, 5) << 100;
        QTest::newRow("classic style, no fading")
            << Settings{3590, 0, QStringLiteral("Blue"), 0} << QPoint(239, 0) << 255;
        QTest::newRow("unknown fading value leaves opacity alone")
            << Settings{3840, 70, QStringLiteral("Blue"), 7} << QPoint(256, 5) << 0;
    }
    void storedSettingsDecidePlaceAndOpacity()
    {
        QFETCH(Settings, settings);
        QFETCH(QPoint, offsetFromTopRight);
        QFETCH(int, opacity);
        Started s(&settings);
        QCOMPARE(s.bar().pos(),
                 QPoint(screenWidth() - offsetFromTopRight.x(), offsetFromTopRight.y()));
        QTRY_COMPARE(int(s.bar().motion().Opacity), opacity);
        if (opacity > 0)
            QCOMPARE(qRound(s.bar().windowOpacity() * 255), opacity);
    }

    void aMissingSkinFallsBackAndIsReportedOnce()
    {
        const Settings missing = Settings{3840, 70, QStringLiteral("Gone"), 0};
        Started s(&missing);
        QCOMPARE(s.reports.size(), 1);
        for (const QString &file : {SkinSource::kBackground, SkinSource::kButtonArea,
                                    SkinSource::kClose, SkinSource::kMax, SkinSource::kMin})
            QVERIFY2(s.reports.first().contains(file), qPrintable(s.reports.first()));
        QCOMPARE(s.bar().PicMaxMin->picture().toImage(),
                 QPixmap::fromImage(SkinSource::builtIn(SkinSource::kMax)).toImage());

        // Loading the same skin again tells nothing new.
        s.bar().LoadSkin();
        QCoreApplication::processEvents();
        QCOMPARE(s.reports.size(), 1);
    }

    void theNotePadArrivesAfterTheFirstPaintHoldingNoteOneUnchanged()
    {
        QTemporaryDir dir;
        QFile note(dir.filePath(QStringLiteral("note01.qkn")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("first line\r\nCaf\xe9");
        note.close();
        Started s(nullptr, dir.path());
        FrmMargletQK &bar = s.bar();
        // Nothing built it before the window was on screen.
        QVERIFY(!bar.TxtNotepad);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QTRY_VERIFY(bar.TxtNotepad);
        QCOMPARE(bar.TxtNotepad->toPlainText(), QStringLiteral("first line\nCaf\u00e9"));
        QVERIFY(!bar.TxtNotepad->isHidden());
        QVERIFY(!bar.hasUnsavedNotes());
        QCOMPARE(
            bar.LblTitleBar->width(),
            QFontMetrics(bar.LblTitleBar->font()).horizontalAdvance(QStringLiteral("QKS Marglet")) +
                1);

        // A click on the expand button before then builds it at once.
        Started early;
        early.bar().PicMaxMin_Click();
        QVERIFY(early.bar().TxtNotepad);
    }

    void anUnwritableDataFolderIsReportedNotIgnored()
    {
        // Nothing can be created below a plain file.
        Started s(nullptr, QCoreApplication::applicationFilePath());
        QCOMPARE(s.reports.size(), 1);
        QVERIFY(s.reports.first().contains(QStringLiteral("settings.dat")));
        QCOMPARE(s.bar().pos(), QPoint(screenWidth() - 256, 5));
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
        s.bar().show();
        QSignalSpy finished(s.app.get(), &MargletApp::finished);
        // A folder where the note file should be: no write can succeed.
        const QString blocked = s.dir.filePath(QStringLiteral("note02.qkn"));
        QVERIFY(QDir().mkdir(blocked));
        if (rescueBlocked) {
            QFile plain(s.dir.filePath(QStringLiteral("rescued")));
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        s.bar().PicTab02_Click();
        QTest::keyClicks(s.bar().TxtNotepad, QStringLiteral("precious"));
        s.answers = answers;
        // The user frees the place while the failure is told.
        if (answers.first() == CloseChoice::TryAgain)
            QObject::connect(&s.bar().notes(), &NoteBook::problem, [&] { QDir().rmdir(blocked); });

        QTest::mouseClick(s.bar().PicClose, Qt::LeftButton);
        QCOMPARE(finished.size(), ends ? 1 : 0);
        QCOMPARE(s.bar().isVisible(), !ends);
        QVERIFY(!s.questions.isEmpty());
        QVERIFY(s.questions.first().contains(QStringLiteral("Note 02")));
        QVERIFY(s.reports.last().contains(QStringLiteral("note02.qkn")));
        QCOMPARE(s.app->exitStatus(), status);
        const QStringList rescues =
            QDir(s.dir.filePath(QStringLiteral("rescued"))).entryList(QDir::Files);
        QCOMPARE(rescues.size(), rescued.isEmpty() ? 0 : 1);
        if (!rescued.isEmpty()) {
            QFile file(s.dir.filePath(QStringLiteral("rescued/")) + rescues.first());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), rescued);
        }
        if (status == 0) {
            QFile saved(blocked);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), QByteArray("precious"));
        }
    }

    void closingTheWindowAnyOtherWaySavesAndEnds()
    {
        Started s;
        s.bar().show();
        QSignalSpy finished(s.app.get(), &MargletApp::finished);
        s.bar().ensureNotepad();
        QTest::keyClicks(s.bar().TxtNotepad, QStringLiteral("kept"));
        s.bar().close(); // as a window manager's close does
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(!s.bar().isVisible());
        QFile saved(s.dir.filePath(QStringLiteral("note01.qkn")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("kept"));
    }

    void dialogsOpenOnceAndCloseWithTheBar()
    {
        Started s;
        s.bar().show();
        QTest::mouseClick(s.bar().CmdAbout, Qt::LeftButton);
        FrmAbout *about = s.app->about();
        QVERIFY(about && about->isVisible());
        QTest::mouseClick(s.bar().CmdAbout, Qt::LeftButton);
        QCOMPARE(s.app->about(), about);

        QTest::mouseClick(s.bar().CmdOptions, Qt::LeftButton);
        QPointer<FrmOptions> options = s.app->options();
        QVERIFY(options && options->isVisible());
        QTest::mouseClick(s.bar().CmdOptions, Qt::LeftButton);
        QCOMPARE(s.app->options(), options.data());

        QPointer<FrmAbout> aboutAlive = about;
        QTest::mouseClick(s.bar().PicClose, Qt::LeftButton);
        QTRY_VERIFY(!aboutAlive);
        QTRY_VERIFY(!options);
    }

    void applyInOptionsMovesTheBarOnTheNextTick()
    {
        Started s;
        s.bar().show();
        QTest::mouseClick(s.bar().CmdOptions, Qt::LeftButton);
        FrmOptions *options = s.app->options();
        QVERIFY(options);
        options->Rad9x->click();
        options->CmdSave->click();
        QVERIFY(s.bar().TmrApplySettings.isActive());
        QTRY_COMPARE(s.bar().pos(), QPoint(screenWidth() - 239, 0));
        QVERIFY(!s.bar().TmrApplySettings.isActive());
        QCOMPARE(s.bar().PosFromRight, 3590);
    }

    void aChangedScreenPlacesTheBarAgain()
    {
        Started s;
        s.bar().move(3, 400);
        QScreen *screen = QGuiApplication::primaryScreen();
        Q_EMIT screen->geometryChanged(screen->geometry());
        QCOMPARE(s.bar().pos(), QPoint(screenWidth() - 256, 5));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
