#include "dialogs/dialogplace.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmoptions.h"
#include "dialogs/pagetitle.h"
#include "dialogs/updatecheck.h"
#include "settings/settingsfile.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "core/testfiles.h"

using namespace Qt::StringLiterals;

const QString kAvailable = u" Update available!"_s;
const QString kLatest = u" You are running the latest version"_s;
const QString kUnable = u" Unable to find RO Vodadud server"_s;

// What the server answers for one path.
struct Page
{
    QByteArray status = "200 OK";
    QByteArray headers = "Content-Type: text/html\r\n";
    QByteArray body = {};
    bool open = false; // the connection stays open after the body
    bool held = false; // left to the test to answer
    int redirects = 0; // the status page only: reached through these; -1: nobody listens
};

// A web server on 127.0.0.1 in this process, so that its answers and their
// timing are the test's to set.
struct PageServer : QTcpServer
{
    QHash<QByteArray, Page> pages;
    QList<QTcpSocket *> held;

    PageServer()
    {
        QVERIFY(listen(QHostAddress::LocalHost, 0));
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
                        return;
                    const Page page = pages.value(socket->readAll().split(' ').value(1));
                    page.held ? held.append(socket) : answer(socket, page);
                });
        });
    }
    static void answer(QTcpSocket *socket, const Page &page)
    {
        socket->write("HTTP/1.1 " + page.status + "\r\nConnection: close\r\n" + page.headers +
                      "\r\n" + page.body);
        if (!page.open)
            socket->disconnectFromHost();
    }
};

// The Options window with its update check against a web server in this
// process, About, and where they open.
class TestDialogs : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir;
    QStringList m_log; // what the dialog told the bar and the user, in order
    QPointer<FrmOptions> m_dialog;

    QString entry(const QString &name) const { return m_dir->filePath(name); }
    OptionsEnvironment environment(const QString &settings = u"settings.dat"_s)
    {
        m_log.clear();
        OptionsEnvironment env;
        env.settingsPath = entry(settings);
        env.skinBases = {m_dir->path()};
        env.enableApplyTimer = [this, file = env.settingsPath] {
            m_log.append(u"timer, %1 bytes"_s.arg(QFileInfo(file).size()));
        };
        env.report = [this](const QString &message) { m_log.append(message); };
        env.moduleFolder = QStringLiteral(MARGLET_PROGRAM_DIR);
        return env;
    }
    FrmOptions &open(const QString &settings = u"settings.dat"_s)
    {
        return *(m_dialog = new FrmOptions(environment(settings)));
    }
    OptionsEnvironment checking(const QString &base, int spacing)
    {
        OptionsEnvironment env = environment();
        env.updateBase = base;
        env.firstTick = std::chrono::milliseconds(1);
        env.stepInterval = std::chrono::milliseconds(spacing);
        return env;
    }
    void touch(const QString &name)
    {
        QVERIFY(QDir(m_dir->path()).mkpath(QFileInfo(name).path()));
        QVERIFY(QFile(entry(name)).open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void init() { m_dir.emplace(); }
    void cleanup() { delete m_dialog; }

    void openingFollowsTheStoredValuesAndApplyWritesThem_data()
    {
        QTest::addColumn<Settings>("stored");
        QTest::addColumn<QString>("checked"); // the options selected
        QTest::addColumn<int>("top");         // written by "Apply"; the rest is written as stored
        const QString blue = u"Blue"_s;
        QTest::newRow("the XP position takes its own top")
            << Settings{3840, 50, blue, 0} << u"RadXP RadTransOff"_s << 70;
        QTest::newRow("the classic position takes its own top")
            << Settings{3590, 50, blue, 1} << u"Rad9x RadTransOn"_s << 0;
        QTest::newRow("an unknown position selects neither and keeps both values")
            << Settings{0, 123, blue, 0} << u"RadTransOff"_s << 123;
        QTest::newRow("an unknown fading value selects neither and is kept")
            << Settings{3840, 70, blue, 7} << u"RadXP"_s << 70;
        QTest::newRow("a skin not in the list is shown and kept")
            << Settings{3840, 70, u"Gone Away"_s, 0} << u"RadXP RadTransOff"_s << 70;
    }
    void openingFollowsTheStoredValuesAndApplyWritesThem()
    {
        QFETCH(Settings, stored);
        QFETCH(QString, checked);
        QFETCH(int, top);
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        touch(u"skins/Blue/background.gif"_s);
        FrmOptions &dialog = open();
        QStringList selected;
        for (const QRadioButton *option : dialog.findChildren<QRadioButton *>()) {
            if (option->isChecked())
                selected.append(option->objectName());
        }
        QCOMPARE(selected.join(u' '), checked);
        QCOMPARE(dialog.CmbSkin->currentText(), stored.SkinName);
        QVERIFY(!dialog.RadTransOn->isHidden() && dialog.LblTransWarning->isHidden());

        // "Apply" writes all four records even when the file has gone meanwhile,
        // and only after enabling the bar's timer.
        QVERIFY(QFile::remove(entry(u"settings.dat"_s)));
        dialog.CmdSave->click();
        QCOMPARE(m_log, QStringList{u"timer, 0 bytes"_s});
        QCOMPARE(QFileInfo(entry(u"settings.dat"_s)).size(), 512);
        stored.PosTop = qint16(top);
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
    }

    void onlyAChoiceFromTheListChangesTheSkin_data()
    {
        QTest::addColumn<QString>("typed");    // empty: Olive is chosen from the list
        QTest::addColumn<bool>("focusLeaves"); // else typing ends with Return
        QTest::addColumn<QString>("stored");
        QTest::newRow("a listed name typed, then Return") << u"Olive"_s << false << u"Blue"_s;
        QTest::newRow("in other letters' case, then Return") << u"olive"_s << false << u"Blue"_s;
        QTest::newRow("a listed name typed, then the focus leaves")
            << u"Olive"_s << true << u"Blue"_s;
        QTest::newRow("chosen from the list") << QString() << false << u"Olive"_s;
    }
    void onlyAChoiceFromTheListChangesTheSkin()
    {
        QFETCH(QString, typed);
        QFETCH(bool, focusLeaves);
        QFETCH(QString, stored);
        touch(u"skins/Blue/background.gif"_s);
        touch(u"skins/Olive/background.gif"_s);
        FrmOptions &dialog = open();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QLineEdit *edit = dialog.CmbSkin->lineEdit();
        if (typed.isEmpty()) {
            dialog.CmbSkin->showPopup();
            QAbstractItemView *list = dialog.CmbSkin->view();
            list->setCurrentIndex(list->model()->index(1, 0));
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, typed);
            focusLeaves ? dialog.RadXP->setFocus() : QTest::keyClick(edit, Qt::Key_Return);
        }
        QTRY_VERIFY(!edit->hasFocus() || !focusLeaves);
        dialog.CmdSave->click();
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}).SkinName, stored);
    }

    void closeWritesNothingAndDestroysTheDialog()
    {
        const Settings stored{0, 123, u"Blue"_s, 7};
        QVERIFY(settingsfile::save(entry(u"settings.dat"_s), stored));
        FrmOptions &dialog = open();
        dialog.RadXP->click();
        dialog.RadTransOff->click();
        dialog.CmdCancel->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_dialog.isNull());
        QCOMPARE(settingsfile::load(entry(u"settings.dat"_s), {}), stored);
        QVERIFY(m_log.isEmpty());
    }

    void aSettingsFileThatCannotBeWrittenIsReported()
    {
        touch(u"plain"_s);
        open(u"plain/settings.dat"_s).CmdSave->click();
        QCOMPARE(m_log.size(), 3); // not created on opening, the bar's timer, not saved
        QVERIFY2(m_log[2].contains(u"not saved"_s), qPrintable(m_log[2]));
        QVERIFY(m_dialog); // still open, for another try
    }

    void aboutIsDestroyedByItsCloseButton()
    {
        QPointer<FrmAbout> about = new FrmAbout;
        QTest::mouseClick(about->CmdClose, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(about.isNull());
    }

    void optionsOpensByTheBarAndWholeOnItsScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<int>("barLeft");
        QTest::addColumn<QPoint>("place");
        const QRect hd(0, 0, 1920, 1080);
        // Half the bar's left edge less half the dialog, in twips: 587.5 and
        // 339.5 pixels, rounded away from zero as whole pixels are.
        QTest::newRow("one screen") << hd << 1664 << QPoint(588, 340);
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

    void theTitleIsReadAsABrowserShowsItAndDecidesTheVerdict_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("verdict"); // of the tick after the one that reads the title
        QTest::newRow("known references are decoded and others kept as written")
            << "<title>&amp;&lt;&#65;&#x42;&#128; &bogus; AT&T &#;</title>"_ba
            << u"&<AB\u20AC &bogus; AT&T &#;"_s << kUnable;
        QTest::newRow("white space is collapsed and the ends trimmed")
            << "<title>\n  No \t Update&#10;Available  </title>"_ba << u"No Update Available"_s
            << kLatest;
        QTest::newRow("the first of two titles counts")
            << "<title>First</title><title>Second</title>"_ba << u"First"_s << kUnable;
        QTest::newRow("upper-case tags are tags")
            << "<HTML><TITLE>Update Available</TITLE>"_ba << u"Update Available"_s << kAvailable;
        QTest::newRow("a title differing in case is no answer")
            << "<title>update available</title>"_ba << u"update available"_s << kUnable;
        QTest::newRow("a title with more around it is no answer")
            << "<title>Update Available!</title>"_ba << u"Update Available!"_s << kUnable;
        QTest::newRow("a page without a title has none")
            << "<html><body>Update Available</body></html>"_ba << QString() << kUnable;
    }
    void theTitleIsReadAsABrowserShowsItAndDecidesTheVerdict()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, title);
        QFETCH(QString, verdict);
        QCOMPARE(pageTitle(html), title);
        QCOMPARE(updatecheck::tick(2, title).message, verdict);
    }

    void theStepCountStaysAtItsLimitRatherThanStartAgain()
    {
        QCOMPARE(updatecheck::advance(32767), 32767);
        QCOMPARE(updatecheck::tick(32767, {}).action, updatecheck::Action::Nothing);
    }

    void theCheckEndsWithTheVerdictOfTheStatusPage_data()
    {
        QTest::addColumn<Page>("page");   // the status page
        QTest::addColumn<int>("spacing"); // between ticks, in milliseconds
        QTest::addColumn<QString>("message");
        // A page that should be read gets a step long enough for a loaded
        // machine, or Wine's slower sockets, to fetch it.
        const int fetch = 1000;
        const QByteArray yes = "<title>Update Available</title>";
        const QByteArray no = "<title>No Update Available</title>";
        QTest::newRow("an available update offers the download, which opens once")
            << Page{.body = yes} << fetch << kAvailable;
        QTest::newRow("at the real spacing the verdict comes two steps after the click")
            << Page{.body = no} << 4000 << kLatest;
        QTest::newRow("a missing page is no answer, whatever its title")
            << Page{.status = "404 Not Found", .body = yes} << 300 << kUnable;
        QTest::newRow("a page that arrives after its title was read is no answer")
            << Page{.body = yes, .held = true} << 300 << kUnable;
        QTest::newRow("a port nobody listens on is no answer")
            << Page{.body = no, .redirects = -1} << 300 << kUnable;
        QTest::newRow("a page that never ends is read from its first mebibyte")
            << Page{.body = no + QByteArray(2 << 20, ' '), .open = true} << fetch << kLatest;
        QTest::newRow("five redirects are followed")
            << Page{.body = no, .redirects = 5} << fetch << kLatest;
        QTest::newRow("six redirects are too many")
            << Page{.body = no, .redirects = 6} << 300 << kUnable;
    }
    void theCheckEndsWithTheVerdictOfTheStatusPage()
    {
        QFETCH(Page, page);
        QFETCH(int, spacing);
        QFETCH(QString, message);
        PageServer server;
        QByteArray path = "/update_server/qks/marglet_v1.html";
        for (int i = 1; i <= page.redirects; ++i) {
            const QByteArray next = "/r" + QByteArray::number(i);
            server.pages.insert(path,
                                {.status = "302 Found", .headers = "Location: " + next + "\r\n"});
            path = next;
        }
        server.pages.insert(path, page);
        OptionsEnvironment env =
            checking(u"http://127.0.0.1:%1"_s.arg(server.serverPort()), spacing);
        QList<QUrl> opened;
        env.openInBrowser = [&opened](const QUrl &url) { opened.append(url); };
        if (page.redirects < 0)
            server.close();
        FrmOptions dialog(env);

        QElapsedTimer clock;
        clock.start();
        dialog.CmdUpdate->click();
        QVERIFY(!dialog.CmdUpdate->isEnabled());
        QTRY_COMPARE(dialog.LblUpdate->text(), u" Contacting RO Vodadud server..."_s);
        if (page.held) {
            QTRY_COMPARE(dialog.UpdateStep, 2); // the title has been read
            QCOMPARE(server.held.size(), 1);
            PageServer::answer(server.held[0], page);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.TmrUpdate.isActive(), 2 * spacing + 1500);
        QCOMPARE_GE(clock.elapsed(), 2 * spacing - 100);
        QCOMPARE(dialog.LblUpdate->text(), message);
        QCOMPARE(dialog.CmdUpdate->isEnabled(), message == kAvailable);
        QCOMPARE(dialog.CmdUpdate->text(),
                 message == kAvailable ? u"Download Update"_s : u"Check For Update"_s);
        QVERIFY(opened.isEmpty());
        QVERIFY(m_log.isEmpty());
        if (message != kAvailable)
            return;

        dialog.CmdUpdate->click();
        QTest::qWait(4 * spacing); // the ticks that follow change nothing
        QCOMPARE(opened,
                 QList{QUrl(env.updateBase + u"/update_server/qks/marglet_v1_update.html"_s)});
        QCOMPARE(dialog.LblUpdate->text(), u" Downloading Update..."_s);
        QVERIFY(!dialog.CmdUpdate->isEnabled());
    }

    void aModuleThatCannotServeIsToldAsWhatItIs_data()
    {
        QTest::addColumn<QString>("source"); // what lies in the module's place; empty: nothing
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing") << QString() << u"is missing."_s;
        const QString unknown = u"is damaged or is not a module of Marglet."_s;
        QTest::newRow("not a library") << u"<garbage>"_s << unknown;
        QTest::newRow("a library but no plugin, as the module once was")
            << QStringLiteral(NOT_A_PLUGIN) << unknown;
        QTest::newRow("a plugin of another interface version")
            << QStringLiteral(OTHER_PLUGIN) << u"is from another version of Marglet."_s;
    }
    void aModuleThatCannotServeIsToldAsWhatItIs()
    {
        QFETCH(QString, source);
        QFETCH(QString, problem);
        QTemporaryDir folder;
        const QString module = folder.filePath(UpdateBrowser::moduleFileName());
        if (source == u"<garbage>"_s)
            put(module, "MZ, no module");
        else if (!source.isEmpty())
            QVERIFY(QFile::copy(source, module));
        OptionsEnvironment env = checking(u"http://127.0.0.1:1"_s, 300);
        env.moduleFolder = folder.path();
        FrmOptions dialog(env);
        for (int round = 0; round < 2; ++round) { // told again on every try
            dialog.CmdUpdate->click();
            QTRY_VERIFY(!dialog.TmrUpdate.isActive());
            QCOMPARE(dialog.LblUpdate->text(), u" The update check cannot run"_s);
            QVERIFY(dialog.CmdUpdate->isEnabled());
        }
        const QString told = u"The update check cannot run: its module \"%1\" "_s.arg(
                                 QDir::toNativeSeparators(module)) +
                             problem;
        QCOMPARE(m_log, QStringList({told, told}));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
