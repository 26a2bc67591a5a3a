#include "core/diskfile.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "core/testfiles.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;
using diskfile::Kind;
using diskfile::ReadStatus;

class TestFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyARegularFileIsReadOrWrittenAndNothingWaits_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<ReadStatus>("status");
        QTest::addColumn<QString>("said"); // a word of the read error, if any
        QTest::addColumn<Kind>("after");   // what the path is after a write
        QTest::newRow("a file") << u"file"_s << ReadStatus::Read << QString() << Kind::Regular;
        QTest::newRow("nothing") << u"nothing"_s << ReadStatus::Missing << QString()
                                 << Kind::Regular;
        QTest::newRow("a folder") << u"folder"_s << ReadStatus::Failed << u"a folder"_s
                                  << Kind::Folder;
        QTest::newRow("over the limit")
            << u"huge file"_s << ReadStatus::Failed << u"larger"_s << Kind::Regular;
#ifdef Q_OS_UNIX // links, pipes, sockets and devices as the system makes them
        QTest::newRow("a link to a file: the link stays")
            << u"link to a file"_s << ReadStatus::Read << QString() << Kind::Regular;
        QTest::newRow("a link that leads nowhere")
            << u"link that leads nowhere"_s << ReadStatus::Missing << QString() << Kind::Regular;
        QTest::newRow("a named pipe")
            << u"named pipe"_s << ReadStatus::Failed << u"pipe"_s << Kind::Pipe;
        QTest::newRow("a link to a named pipe")
            << u"link to a named pipe"_s << ReadStatus::Failed << u"pipe"_s << Kind::Pipe;
#endif
    }
    void onlyARegularFileIsReadOrWrittenAndNothingWaits()
    {
        QFETCH(QString, what);
        QFETCH(ReadStatus, status);
        QFETCH(QString, said);
        QFETCH(Kind, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x"_s);
        if (what != u"nothing" && !make(what, path))
            QSKIP("this process may not make one");
        QByteArray bytes = "kept";
        QString error;
        QCOMPARE(diskfile::readFile(path, 1024, bytes, &error), status);
        QCOMPARE(bytes, status == ReadStatus::Read ? "text"_ba : "kept"_ba);
        QVERIFY2(error.contains(said) && error.isEmpty() == said.isEmpty(), qPrintable(error));
        QCOMPARE(diskfile::canRead(path), status == ReadStatus::Read || what == u"huge file");

        error.clear();
        const bool written = diskfile::replace(path, "new", &error);
        QCOMPARE(written, after == Kind::Regular);
        QCOMPARE(diskfile::kindOf(path), after);
        QCOMPARE(QFileInfo(path).isSymLink(), what.startsWith(u"link"));
        if (written)
            QCOMPARE((diskfile::readFile(path, 100, bytes), bytes), "new");
        else
            QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
    }

#ifdef Q_OS_UNIX // a write cut short by a file size limit
    void aWriteCutShortKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("size");
        // Qt's QSaveFile keeps up to 16 KiB to itself until commit(), where
        // a failure to write it went unseen.
        QTest::newRow("within what a library buffers") << 6000;
        QTest::newRow("far past it") << 200 * 1024;
    }
    void aWriteCutShortKeepsTheOldFile()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note01.qkn"_s);
        put(path, "old");
        // Writes past 4 KiB stop part way with an error, as on a full disk.
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_IGN); // so that the writer sees the error
        const rlimit limit{4096, unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &unlimited); });
        QString error;
        QVERIFY(!diskfile::replace(path, QByteArray(size, 'n'), &error));
        QVERIFY2(error.contains(u"larger than the system allows"_s), qPrintable(error));
        QByteArray bytes;
        QCOMPARE(diskfile::readFile(path, 1 << 20, bytes), ReadStatus::Read);
        QCOMPARE(bytes, "old");
        // Nothing half-written is left about.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"note01.qkn"_s});
    }
#endif

    void aFileIsKeptAsideAndStaysWhereItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note01.qkn"_s);
        const QString aside = dir.filePath(u"aside.qkn"_s);
        QVERIFY(make(u"link to a file"_s, path) || make(u"file"_s, path));
        QVERIFY(diskfile::keepAside(path, aside));
        // What a link leads to is what is kept; the link stays as it was.
        QCOMPARE(QFileInfo(path).isSymLink(), QFileInfo(path + u".real"_s).exists());
        QVERIFY(!QFileInfo(aside).isSymLink());
        for (const QString &p : {path, aside}) {
            QByteArray bytes;
            QCOMPARE(diskfile::readFile(p, 100, bytes), ReadStatus::Read);
            QCOMPARE(bytes, "text");
        }
    }

    void aFolderThatRefusesFilesIsToldFromOneThatTakesThem()
    {
        QTemporaryDir dir;
        QString why;
        QCOMPARE(diskfile::folderAccess(dir.path(), &why), diskfile::FolderAccess::Writable);
        put(dir.filePath(u"plain"_s), "x");
        // Not even root can create a file below a plain file.
        QCOMPARE(diskfile::folderAccess(dir.filePath(u"plain"_s), &why),
                 diskfile::FolderAccess::Refused);
        QVERIFY(!why.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"plain"_s}); // the probe leaves nothing behind
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
