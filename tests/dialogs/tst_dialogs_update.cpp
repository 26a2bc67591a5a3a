#include "frmoptions.h"
#include "updatecheck.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QByteArray kStatusPath = "/update_server/qks/marglet_v1.html";

QByteArray titled(const QByteArray &title)
{
    return "<html><head><title>" + title + "</title></head><body>x</body></html>";
}

// What the server answers for one path.
struct Page
{
    QByteArray status = "200 OK";
    QByteArray headers = "Content-Type: text/html\r\n";
    QByteArray body = {};
    std::chrono::milliseconds delay{0};
    bool endless = false; // the body goes on until the client hangs up
    bool held = false;    // answered only on release()
};

// A web server on 127.0.0.1 in this process, so that its answers and their
// timing are the test's to set.
class PageServer : public QObject
{
    Q_OBJECT
public:
    QHash<QByteArray, Page> pages;
    QByteArrayList requested;
    int hangUps = 0;

    PageServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, &PageServer::accept);
    }

    // Answers the requests for held pages that came so far.
    void release()
    {
        for (const auto &[socket, page] : std::as_const(m_held)) {
            if (socket)
                answer(socket, page);
        }
        m_held.clear();
    }

    QString base() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    static QString closedBase()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return QStringLiteral("http://127.0.0.1:%1").arg(port);
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                ++hangUps;
                socket->deleteLater();
            });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray path = request.split(' ').value(1);
        request.clear();
        requested.append(path);
        const Page page = pages.value(path, Page{"404 Not Found", {}, titled("Update Available")});
        QPointer<QTcpSocket> guard(socket);
        if (page.held) {
            m_held.append({guard, page});
            return;
        }
        QTimer::singleShot(page.delay, this, [this, guard, page] {
            if (guard)
                answer(guard, page);
        });
    }

    void answer(QTcpSocket *socket, const Page &page)
    {
        QByteArray head =
            "HTTP/1.1 " + page.status + "\r\n" + page.headers + "Connection: close\r\n";
        if (!page.endless)
            head += "Content-Length: " + QByteArray::number(page.body.size()) + "\r\n";
        socket->write(head + "\r\n" + page.body);
        if (!page.endless) {
            socket->disconnectFromHost();
            return;
        }
        const QByteArray filler(64 * 1024, 'x');
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket, filler] {
            if (socket->bytesToWrite() < 4 * filler.size())
                socket->write(filler);
        });
        socket->write(filler);
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_requests;
    QList<std::pair<QPointer<QTcpSocket>, Page>> m_held;
};

QByteArray redirectTo(const QByteArray &path)
{
    return "Location: " + path + "\r\n";
}

} // namespace

Q_DECLARE_METATYPE(Page)

class TestUpdate : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<QUrl> m_opened;
    QPointer<FrmOptions> m_dialog;

    FrmOptions &open(const QString &base, std::chrono::milliseconds firstTick = 1ms,
                     std::chrono::milliseconds step = 300ms)
    {
        OptionsEnvironment env;
        env.settingsPath = m_dir.filePath(QStringLiteral("settings.dat"));
        env.barLeft = [] { return 1000; };
        env.report = [](const QString &message) { QFAIL(qPrintable(message)); };
        env.updateBase = base;
        env.firstTick = firstTick;
        env.stepInterval = step;
        env.openInBrowser = [this](const QUrl &url) { m_opened.append(url); };
        m_dialog = new FrmOptions(env);
        return *m_dialog;
    }

    static void waitForVerdict(FrmOptions &dialog, int ms = 5000)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.TmrUpdate.isActive(), ms);
    }

private Q_SLOTS:
    void init() { m_opened.clear(); }
    void cleanup() { delete m_dialog; }

    void theCheckEndsWithTheVerdictOfTheStatusPage_data()
    {
        QTest::addColumn<Page>("page"); // served as the status page
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("caption");
        const QString download = QStringLiteral("Download Update");
        const QString check = QStringLiteral("Check For Update");
        const QString unable = QStringLiteral(" Unable to find RO Vodadud server");
        QTest::newRow("an available update offers the download")
            << Page{.body = titled("Update Available")} << true
            << QStringLiteral(" Update available!") << true << download;
        QTest::newRow("no update says so and leaves the button off")
            << Page{.body = titled("No Update Available")} << true
            << QStringLiteral(" You are running the latest version") << false << check;
        QTest::newRow("a title differing in case is no answer")
            << Page{.body = titled("update available")} << true << unable << false << check;
        QTest::newRow("a missing page is no answer, whatever its title")
            << Page{.status = "404 Not Found", .body = titled("Update Available")} << true << unable
            << false << check;
        QTest::newRow("a page that arrives after its title was read is no answer")
            << Page{.body = titled("Update Available"), .held = true} << true << unable << false
            << check;
        QTest::newRow("a server that is not there is no answer")
            << Page{} << false << unable << false << check;
    }
    void theCheckEndsWithTheVerdictOfTheStatusPage()
    {
        QFETCH(Page, page);
        QFETCH(bool, serverUp);
        QFETCH(QString, message);
        QFETCH(bool, enabled);
        QFETCH(QString, caption);
        PageServer server;
        server.pages.insert(kStatusPath, page);
        FrmOptions &dialog = open(serverUp ? server.base() : PageServer::closedBase());

        dialog.CmdUpdate->click();
        QVERIFY(!dialog.LblUpdate->isHidden());
        QVERIFY(!dialog.CmdUpdate->isEnabled());
        QTRY_COMPARE(dialog.LblUpdate->text(), QStringLiteral(" Contacting RO Vodadud server..."));
        if (page.held) {
            // Between the tick that reads the title and the one that judges it.
            QTRY_COMPARE(dialog.UpdateStep, 2);
            server.release();
        }
        waitForVerdict(dialog);
        QCOMPARE(dialog.LblUpdate->text(), message);
        QCOMPARE(dialog.CmdUpdate->isEnabled(), enabled);
        QCOMPARE(dialog.CmdUpdate->text(), caption);
        QCOMPARE(server.requested, serverUp ? QByteArrayList{kStatusPath} : QByteArrayList());
        QVERIFY(m_opened.isEmpty());
    }

    void downloadingOpensThePageOnceAndTheTimerTicksOnIdle()
    {
        PageServer server;
        server.pages.insert(kStatusPath, Page{.body = titled("Update Available")});
        FrmOptions &dialog = open(server.base(), 1ms, 100ms);
        dialog.CmdUpdate->click();
        waitForVerdict(dialog);
        QVERIFY(dialog.CmdUpdate->isEnabled());

        dialog.CmdUpdate->click();
        QVERIFY(!dialog.CmdUpdate->isEnabled());
        QCOMPARE(dialog.LblUpdate->text(), QStringLiteral(" Downloading Update..."));
        QCOMPARE(m_opened,
                 QList<QUrl>{QUrl(server.base() +
                                  QStringLiteral("/update_server/qks/marglet_v1_update.html"))});
        QSignalSpy ticks(&dialog.TmrUpdate, &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 4, 5000);
        QVERIFY(dialog.TmrUpdate.isActive());
        QCOMPARE(dialog.LblUpdate->text(), QStringLiteral(" Downloading Update..."));
        QCOMPARE(dialog.CmdUpdate->text(), QStringLiteral("Download Update"));
        QVERIFY(!dialog.CmdUpdate->isEnabled());
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(server.requested.size(), 1);
    }

    void closingTheDialogEndsACheckInProgress()
    {
        PageServer server;
        server.pages.insert(kStatusPath, Page{.body = titled("Update Available"), .delay = 60s});
        FrmOptions &dialog = open(server.base());
        dialog.CmdUpdate->click();
        QTRY_COMPARE(server.requested.size(), 1);
        dialog.CmdCancel->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_dialog.isNull());
        QTRY_COMPARE(server.hangUps, 1);
    }

    void theRealSpacingGivesTheVerdictAboutEightSecondsAfterTheClick()
    {
        PageServer server;
        server.pages.insert(kStatusPath, Page{.body = titled("No Update Available")});
        FrmOptions &dialog = open(server.base(), 10ms, 4000ms);
        QElapsedTimer clock;
        clock.start();
        dialog.CmdUpdate->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.TmrUpdate.isActive(), 12000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 7900 && elapsed < 9500, qPrintable(QString::number(elapsed)));
        QCOMPARE(dialog.LblUpdate->text(), QStringLiteral(" You are running the latest version"));
    }

    void theBrowserReadsOnlyTheTitleOfAGoodPage_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("an HTML page gives its title")
            << QByteArray("/page") << QStringLiteral("Hello");
        QTest::newRow("XHTML counts as HTML") << QByteArray("/xhtml") << QStringLiteral("Hello");
        QTest::newRow("an unlabelled page with an html tag is read")
            << QByteArray("/unlabelled") << QStringLiteral("Hello");
        QTest::newRow("the server's charset decodes the title")
            << QByteArray("/latin1") << QStringLiteral("caf\u00E9");
        QTest::newRow("a plain-text page has no title") << QByteArray("/text") << QString();
        QTest::newRow("a missing page has no title") << QByteArray("/missing") << QString();
        QTest::newRow("a server error has no title") << QByteArray("/error") << QString();
        QTest::newRow("an empty answer has no title") << QByteArray("/empty") << QString();
        QTest::newRow("five redirects are followed")
            << QByteArray("/r5") << QStringLiteral("Hello");
        QTest::newRow("six redirects are too many") << QByteArray("/r6") << QString();
        QTest::newRow("a redirect loop has no title") << QByteArray("/loop") << QString();
        QTest::newRow("a page over a mebibyte gives the title at its start")
            << QByteArray("/big") << QStringLiteral("Hello");
        QTest::newRow("a page that never ends gives the title at its start")
            << QByteArray("/endless") << QStringLiteral("Hello");
    }
    void theBrowserReadsOnlyTheTitleOfAGoodPage()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, title);
        PageServer server;
        const QByteArray hello = titled("Hello");
        server.pages = {
            {"/page", Page{.body = hello}},
            {"/xhtml", Page{.headers = "Content-Type: application/xhtml+xml\r\n", .body = hello}},
            {"/unlabelled", Page{.headers = {}, .body = hello}},
            {"/latin1", Page{.headers = "Content-Type: text/html; charset=ISO-8859-1\r\n",
                             .body = titled("caf\xE9")}},
            {"/text", Page{.headers = "Content-Type: text/plain\r\n", .body = hello}},
            {"/error", Page{.status = "500 Internal Server Error", .body = hello}},
            {"/empty", Page{.status = "204 No Content"}},
            {"/loop", Page{.status = "302 Found", .headers = redirectTo("/loop")}},
            {"/big", Page{.body = hello + QByteArray(UpdateBrowser::kMaxPageBytes + 100, ' ')}},
            {"/endless", Page{.body = hello, .endless = true}},
        };
        for (int i = 1; i <= 6; ++i) {
            const QByteArray next = i == 1 ? QByteArray("/page") : "/r" + QByteArray::number(i - 1);
            server.pages.insert("/r" + QByteArray::number(i),
                                Page{.status = "302 Found", .headers = redirectTo(next)});
        }

        UpdateBrowser browser;
        QSignalSpy complete(&browser, &UpdateBrowser::DocumentComplete);
        browser.Navigate(QUrl(server.base() + QString::fromLatin1(path)));
        QVERIFY(browser.LocationName().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(complete.size(), 1, 10000);
        QCOMPARE(browser.LocationName(), title);
        QVERIFY(!browser.isLoading());
    }

    void aNewPageAbandonsTheOneStillLoading()
    {
        PageServer server;
        server.pages.insert("/first", Page{.body = titled("First")});
        server.pages.insert("/slow", Page{.body = titled("Slow"), .delay = 300ms});
        server.pages.insert("/fast", Page{.body = titled("Fast")});
        UpdateBrowser browser;
        QSignalSpy complete(&browser, &UpdateBrowser::DocumentComplete);
        browser.Navigate(QUrl(server.base() + QStringLiteral("/first")));
        QTRY_COMPARE(complete.size(), 1);
        QCOMPARE(browser.LocationName(), QStringLiteral("First"));

        browser.Navigate(QUrl(server.base() + QStringLiteral("/slow")));
        QVERIFY(browser.LocationName().isEmpty()); // the old title goes at once
        QTRY_COMPARE(server.requested.size(), 2);
        browser.Navigate(QUrl(server.base() + QStringLiteral("/fast")));
        QTRY_COMPARE(complete.size(), 2);
        QCOMPARE(browser.LocationName(), QStringLiteral("Fast"));
        QTRY_COMPARE(server.hangUps, 3); // the slow page's connection too
        QCOMPARE(complete.size(), 2);
        QCOMPARE(browser.LocationName(), QStringLiteral("Fast"));
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_dialogs_update.moc"
