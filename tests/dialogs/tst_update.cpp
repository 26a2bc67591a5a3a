#include "dialogs/pagetitle.h"
#include "dialogs/updatecheck.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include "dialogtest.h"

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

// The update check against a web server in this process, and its module.
class TestUpdate : public DialogTest
{
    Q_OBJECT
private Q_SLOTS:

    void theTitleIsReadAsABrowserShowsItAndDecidesTheVerdict()
    {
        // Each page, the title read from it, and the verdict of the tick
        // after the one that reads the title.
        for (const auto &[html, title, verdict] : QList<std::tuple<QByteArray, QString, QString>>{
                 // Known references are decoded and others kept as written.
                 {"<title>&amp;&lt;&#65;&#x42;&#128; &bogus; AT&T &#;</title>",
                  u"&<AB\u20AC &bogus; AT&T &#;"_s, kUnable},
                 // White space is collapsed and the ends trimmed.
                 {"<title>\n  No \t Update&#10;Available  </title>", u"No Update Available"_s,
                  kLatest},
                 // The first of two titles counts.
                 {"<title>First</title><title>Second</title>", u"First"_s, kUnable},
                 // Upper-case tags are tags.
                 {"<HTML><TITLE>Update Available</TITLE>", u"Update Available"_s, kAvailable},
                 // A title differing in case is no answer.
                 {"<title>update available</title>", u"update available"_s, kUnable},
                 // A page without a title has none.
                 {"<html><body>Update Available</body></html>", QString(), kUnable},
             }) {
            QCOMPARE(pageTitle(html), title);
            QCOMPARE(updatecheck::tick(2, title).message, verdict);
        }
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

    void aModuleThatCannotServeIsToldAsWhatItIs()
    {
        // What lies in the module's place (empty: nothing), and what is told.
        for (const auto &[source, problem] : QList<std::pair<QString, QString>>{
                 {{}, u"is missing."_s},
                 // A library but no plugin, as the module once was.
                 {QStringLiteral(NOT_A_PLUGIN), u"is damaged or is not a module of Marglet."_s},
                 {QStringLiteral(OTHER_PLUGIN), u"is from another version of Marglet."_s},
             }) {
            QTemporaryDir folder;
            const QString module = folder.filePath(UpdateBrowser::moduleFileName());
            if (!source.isEmpty())
                QVERIFY(QFile::copy(source, module));
            OptionsEnvironment env = checking(u"http://127.0.0.1:1"_s, 300);
            env.moduleFolder = folder.path();
            FrmOptions dialog(env);
            for (int round = 0; round < 2; ++round) { // told again on every try
                dialog.CmdUpdate->click();
                QTRY_VERIFY(!dialog.TmrUpdate.isActive());
                QCOMPARE(dialog.LblUpdate->text(), u" The update check cannot run"_s);
            }
            const QString told = u"The update check cannot run: its module \"%1\" "_s.arg(
                                     QDir::toNativeSeparators(module)) +
                                 problem;
            QCOMPARE(m_log, QStringList({told, told}));
        }
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
