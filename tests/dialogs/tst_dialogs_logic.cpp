#include "filenames.h"
#include "pagetitle.h"
#include "updatecheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using updatecheck::Action;
using updatecheck::Tick;

Q_DECLARE_METATYPE(Tick)

class TestDialogLogic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fileNameIsTheLastPartOfAPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("an empty path has an empty name") << QString() << QString();
        QTest::newRow("a Windows path gives the part after its last backslash")
            << QStringLiteral("C:\\a\\b.txt") << QStringLiteral("b.txt");
        QTest::newRow("a name without a folder is its own name")
            << QStringLiteral("name.tar.gz") << QStringLiteral("name.tar.gz");
        QTest::newRow("a trailing backslash leaves no name")
            << QStringLiteral("C:\\a\\") << QString();
        QTest::newRow("a trailing slash leaves no name") << QStringLiteral("/home/a/") << QString();
        QTest::newRow("a path of this platform gives the part after its last slash")
            << QStringLiteral("/home/a/notes.txt") << QStringLiteral("notes.txt");
        QTest::newRow("mixed separators count alike")
            << QStringLiteral("C:\\a/b\\c/d.txt") << QStringLiteral("d.txt");
    }
    void fileNameIsTheLastPartOfAPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(filenames::GetFileName(path), name);
    }

    void onlyAReadableFileExists_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("exists");
        QTest::newRow("a readable file exists") << QStringLiteral("file.txt") << true;
        QTest::newRow("an empty file exists") << QStringLiteral("empty.txt") << true;
        QTest::newRow("a folder is not a file") << QStringLiteral("folder") << false;
        QTest::newRow("a missing file does not exist") << QStringLiteral("missing.txt") << false;
        QTest::newRow("a file below a file does not exist")
            << QStringLiteral("file.txt/inner.txt") << false;
        QTest::newRow("a link to a missing file does not exist")
            << QStringLiteral("dangling") << false;
        QTest::newRow("a file that may not be read does not exist")
            << QStringLiteral("locked.txt") << false;
        QTest::newRow("an empty path names no file") << QString() << false;
    }
    void onlyAReadableFileExists()
    {
        QFETCH(QString, entry);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("folder"));
        for (const QString &name : {QStringLiteral("file.txt"), QStringLiteral("empty.txt"),
                                    QStringLiteral("locked.txt")}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (name != QStringLiteral("empty.txt"))
                file.write("text");
        }
        QFile::setPermissions(dir.filePath(QStringLiteral("locked.txt")), QFile::WriteOwner);
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")),
                            dir.filePath(QStringLiteral("dangling"))));
        if (entry == QStringLiteral("locked.txt") &&
            QFile(dir.filePath(entry)).open(QIODevice::ReadOnly))
            QSKIP("This user may read any file.");
        QCOMPARE(filenames::FileExists(entry.isEmpty() ? entry : dir.filePath(entry)), exists);
    }

    void titleIsReadAsABrowserShowsIt_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QString>("title");
        const QByteArray none;
        QTest::newRow("a plain title")
            << QByteArray("<html><head><title>Update Available</title></head></html>") << none
            << QStringLiteral("Update Available");
        QTest::newRow("the usual named references are decoded")
            << QByteArray("<title>Fish &amp; Chips &lt;3 &gt; &quot;x&quot; &apos;y&#39;</title>")
            << none << QStringLiteral("Fish & Chips <3 > \"x\" 'y'");
        QTest::newRow("decimal and hexadecimal references are decoded")
            << QByteArray("<title>&#65;&#x42;&#X43;&#169;&#x20AC;</title>") << none
            << QStringLiteral("ABC\u00A9\u20AC");
        QTest::newRow("a non-breaking space is kept and not collapsed")
            << QByteArray("<title>a&nbsp;&nbsp;b</title>") << none
            << QStringLiteral("a\u00A0\u00A0b");
        QTest::newRow("references that are not recognised stay as written")
            << QByteArray("<title>AT&T &bogus; &#; &x</title>") << none
            << QStringLiteral("AT&T &bogus; &#; &x");
        QTest::newRow("references outside Unicode become the replacement character")
            << QByteArray("<title>&#0;&#x110000;&#xD800;&#99999999999999999999;</title>") << none
            << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD");
        QTest::newRow("references in the C1 range read as Windows-1252")
            << QByteArray("<title>&#128;&#x99;</title>") << none << QStringLiteral("\u20AC\u2122");
        QTest::newRow("white space inside is collapsed and the ends trimmed")
            << QByteArray("<title>\n  No \t Update\r\n\f Available  </title>") << none
            << QStringLiteral("No Update Available");
        QTest::newRow("white space made by a reference is collapsed too")
            << QByteArray("<title>&#32;No&#10;&#9;Update&#x20;</title>") << none
            << QStringLiteral("No Update");
        QTest::newRow("tags inside a title are its text")
            << QByteArray("<title>a <b>bold</b> title</title>") << none
            << QStringLiteral("a <b>bold</b> title");
        QTest::newRow("upper-case tags are tags")
            << QByteArray("<HTML><HEAD><TITLE>Update Available</TITLE></HEAD>") << none
            << QStringLiteral("Update Available");
        QTest::newRow("attributes of the title tag are not its text")
            << QByteArray("<title lang=\"en\" data-x='a>b'>Hi</title >") << none
            << QStringLiteral("Hi");
        QTest::newRow("the first of two titles counts")
            << QByteArray("<title>First</title><title>Second</title>") << none
            << QStringLiteral("First");
        QTest::newRow("a page without a title has none")
            << QByteArray("<html><body>Update Available</body></html>") << none << QString();
        QTest::newRow("an empty page has no title") << QByteArray() << none << QString();
        QTest::newRow("a title in a comment is passed over")
            << QByteArray("<!-- <title>Old</title> --><!--><title>New</title>") << none
            << QStringLiteral("New");
        QTest::newRow("a title written by a script is passed over")
            << QByteArray("<script>w('<title>x</title>')</script><title>Real</title>") << none
            << QStringLiteral("Real");
        QTest::newRow("a title in an attribute value is passed over")
            << QByteArray("<a href='<title>x</title>'>y</a><title>Real</title>") << none
            << QStringLiteral("Real");
        QTest::newRow("an end tag with a longer name does not end the title")
            << QByteArray("<title>a</titles>b</title>") << none << QStringLiteral("a</titles>b");
        QTest::newRow("a tag whose name starts with title is not a title")
            << QByteArray("<titles>x</titles>") << none << QString();
        // A browser's parser reads an unclosed title to the end of the page.
        QTest::newRow("an unterminated title runs to the end of the page")
            << QByteArray("<title>Update\nAvailable") << none << QStringLiteral("Update Available");
        QTest::newRow("an unterminated comment hides the rest")
            << QByteArray("<!-- <title>x</title>") << none << QString();
        QTest::newRow("an unterminated title tag has no text")
            << QByteArray("<title lang='en") << none << QString();
        QTest::newRow("the text is UTF-8 by default")
            << QByteArray("<title>caf\xC3\xA9</title>") << none << QStringLiteral("caf\u00E9");
        QTest::newRow("a meta charset of Windows-1252 decodes the bytes so")
            << QByteArray("<meta charset=\"windows-1252\"><title>caf\xE9 \x80</title>") << none
            << QStringLiteral("caf\u00E9 \u20AC");
        QTest::newRow("an http-equiv charset is found too")
            << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=ISO-8859-1\"><title>caf\xE9</title>")
            << none << QStringLiteral("caf\u00E9");
        QTest::newRow("the server's charset wins over the page's")
            << QByteArray("<meta charset=\"utf-8\"><title>caf\xE9</title>") << QByteArray("latin1")
            << QStringLiteral("caf\u00E9");
        QTest::newRow("a charset not known falls back to UTF-8")
            << QByteArray("<title>caf\xC3\xA9</title>") << QByteArray("koi8-r")
            << QStringLiteral("caf\u00E9");
        QTest::newRow("a byte order mark says UTF-8")
            << QByteArray("\xEF\xBB\xBF<title>caf\xC3\xA9</title>") << QByteArray("latin1")
            << QStringLiteral("caf\u00E9");
    }
    void titleIsReadAsABrowserShowsIt()
    {
        QFETCH(QByteArray, html);
        QFETCH(QByteArray, charset);
        QFETCH(QString, title);
        QCOMPARE(pageTitle(html, charset), title);
    }

    void eachTickDoesItsStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("title");
        QTest::addColumn<Tick>("expected");
        const Tick unreachable{Action::Conclude, updatecheck::kUnreachable, false,
                               updatecheck::kCheckCaption};
        QTest::newRow("the first tick contacts the server")
            << 0 << QString() << Tick{Action::Contact, updatecheck::kContacting, false, {}};
        QTest::newRow("the second tick reads the title")
            << 1 << QStringLiteral("Update Available") << Tick{Action::ReadTitle, {}, false, {}};
        QTest::newRow("an available update offers the download")
            << 2 << QStringLiteral("Update Available")
            << Tick{Action::Conclude, updatecheck::kAvailable, true, updatecheck::kDownloadCaption};
        QTest::newRow("no update leaves the button off")
            << 2 << QStringLiteral("No Update Available")
            << Tick{Action::Conclude, updatecheck::kLatest, false, updatecheck::kCheckCaption};
        QTest::newRow("a title differing in case is no answer")
            << 2 << QStringLiteral("update available") << unreachable;
        QTest::newRow("a title with more around it is no answer")
            << 2 << QStringLiteral("Update Available!") << unreachable;
        QTest::newRow("no title is no answer") << 2 << QString() << unreachable;
        QTest::newRow("later ticks do nothing")
            << 3 << QStringLiteral("Update Available") << Tick{};
        QTest::newRow("the last step count does nothing") << 32767 << QString() << Tick{};
    }
    void eachTickDoesItsStep()
    {
        QFETCH(int, step);
        QFETCH(QString, title);
        QFETCH(Tick, expected);
        const Tick got = updatecheck::tick(qint16(step), title);
        QCOMPARE(int(got.action), int(expected.action));
        QCOMPARE(got.message, expected.message);
        QCOMPARE(got.buttonEnabled, expected.buttonEnabled);
        QCOMPARE(got.caption, expected.caption);
    }

    void theStepCountStopsAtItsLimit_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("next");
        QTest::newRow("a count counts up") << 2 << 3;
        QTest::newRow("the count just below the limit reaches it") << 32766 << 32767;
        QTest::newRow("the count at the limit stays there") << 32767 << 32767;
    }
    void theStepCountStopsAtItsLimit()
    {
        QFETCH(int, step);
        QFETCH(int, next);
        QCOMPARE(int(updatecheck::advance(qint16(step))), next);
    }
};

QTEST_GUILESS_MAIN(TestDialogLogic)
#include "tst_dialogs_logic.moc"
