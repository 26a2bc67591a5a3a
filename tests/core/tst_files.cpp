#include "core/diskfile.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "renameover.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using diskfile::Kind;
using diskfile::ReadStatus;

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Makes `what` at `path`: a file, a folder, a named pipe, a socket, a
// device, a link to a file or one that leads nowhere, or a file larger than
// the limit. False where this process may not make it.
bool make(const QString &what, const QString &path)
{
    if (what == u"file")
        return QFile(path).open(QIODevice::WriteOnly) && (put(path, "text"), true);
    if (what == u"folder")
        return QDir().mkdir(path);
    if (what == u"huge file") {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(1025);
    }
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    if (what == u"named pipe")
        return ::mkfifo(name.constData(), 0600) == 0;
    if (what == u"device") // a node like /dev/null's
        return ::geteuid() == 0 && ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (what == u"link to a file")
        return make(u"file"_s, path + u".real"_s) && QFile::link(path + u".real"_s, path);
    if (what == u"link to a named pipe")
        return make(u"named pipe"_s, path + u".real"_s) && QFile::link(path + u".real"_s, path);
    if (what == u"link that leads nowhere")
        return QFile::link(path + u".gone"_s, path);
    if (what == u"socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        if (name.size() >= qsizetype(sizeof address.sun_path))
            return false;
        std::copy(name.begin(), name.end(), address.sun_path);
        const bool made = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return made;
    }
#endif
    return false;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyARegularFileIsReadAndNothingWaits_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<ReadStatus>("status");
        QTest::addColumn<QString>("said"); // a word of the error, if any
        QTest::newRow("a file") << u"file"_s << ReadStatus::Read << QString();
        QTest::newRow("nothing") << u"nothing"_s << ReadStatus::Missing << QString();
        QTest::newRow("a folder") << u"folder"_s << ReadStatus::Failed << u"a folder"_s;
        QTest::newRow("over the limit") << u"huge file"_s << ReadStatus::Failed << u"larger"_s;
#ifdef Q_OS_UNIX // links, pipes, sockets and devices as the system makes them
        QTest::newRow("a link to a file") << u"link to a file"_s << ReadStatus::Read << QString();
        QTest::newRow("a link that leads nowhere")
            << u"link that leads nowhere"_s << ReadStatus::Missing << QString();
        QTest::newRow("a named pipe") << u"named pipe"_s << ReadStatus::Failed << u"pipe"_s;
        QTest::newRow("a link to a named pipe")
            << u"link to a named pipe"_s << ReadStatus::Failed << u"pipe"_s;
        QTest::newRow("a socket") << u"socket"_s << ReadStatus::Failed << u"socket"_s;
        QTest::newRow("a device") << u"device"_s << ReadStatus::Failed << u"device"_s;
#endif
    }
    void onlyARegularFileIsReadAndNothingWaits()
    {
        QFETCH(QString, what);
        QFETCH(ReadStatus, status);
        QFETCH(QString, said);
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
    }

    void nothingButAFileIsWrittenOver_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<Kind>("after"); // what the path is afterwards
        QTest::newRow("a file is replaced") << u"file"_s << Kind::Regular;
        QTest::newRow("a folder stays") << u"folder"_s << Kind::Folder;
#ifdef Q_OS_UNIX
        QTest::newRow("a link keeps leading to the file it names")
            << u"link to a file"_s << Kind::Regular;
        QTest::newRow("a named pipe stays") << u"named pipe"_s << Kind::Pipe;
        QTest::newRow("a link to a named pipe stays") << u"link to a named pipe"_s << Kind::Pipe;
        QTest::newRow("a socket stays") << u"socket"_s << Kind::Socket;
        QTest::newRow("a device stays") << u"device"_s << Kind::Device;
#endif
    }
    void nothingButAFileIsWrittenOver()
    {
        QFETCH(QString, what);
        QFETCH(Kind, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x"_s);
        if (!make(what, path))
            QSKIP("this process may not make one");
        QString error;
        const bool written = diskfile::replace(path, "new", &error);
        QCOMPARE(written, after == Kind::Regular);
        QCOMPARE(diskfile::kindOf(path), after);
        QCOMPARE(QFileInfo(path).isSymLink(), what.startsWith(u"link"));
        if (written) {
            QByteArray bytes;
            QCOMPARE(diskfile::readFile(path, 100, bytes), ReadStatus::Read);
            QCOMPARE(bytes, "new");
        } else {
            QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
        }
    }

#ifdef Q_OS_UNIX // a write cut short by a file size limit
    void aWriteCutShortKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("size");
        // Qt's QSaveFile keeps up to 16 KiB to itself until commit(), where
        // a failure to write it went unseen.
        QTest::newRow("within what a library buffers") << 6000;
        QTest::newRow("just past it") << 16 * 1024 + 1;
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
        const bool written = diskfile::replace(path, QByteArray(size, 'n'), &error);
        restore.dismiss();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(!written);
        QVERIFY2(error.contains(u"larger than the system allows"_s), qPrintable(error));
        QByteArray bytes;
        QCOMPARE(diskfile::readFile(path, 1 << 20, bytes), ReadStatus::Read);
        QCOMPARE(bytes, "old");
        // Nothing half-written is left about.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"note01.qkn"_s});
    }
#endif

    void everyWayAnotherProgramChangesAFileShowsInItsStamp_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("rewritten in place, same size, old time set again") << u"in place"_s;
        QTest::newRow("replaced by a rename, same size, old time kept") << u"rename"_s;
        QTest::newRow("touched") << u"touch"_s;
        QTest::newRow("removed") << u"remove"_s;
    }
    void everyWayAnotherProgramChangesAFileShowsInItsStamp()
    {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note01.qkn"_s);
        put(path, "aaaa");
        const diskfile::Stamp before = diskfile::stampOf(path);
        // The old time set again to the nanosecond, as a careful sync tool
        // keeps it (to the millisecond where Qt sets it).
        const auto keepTime = [&](const QString &file) {
#ifdef Q_OS_UNIX
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            const timespec old[2] = {st.st_atim, st.st_mtim};
            put(file, "bbbb");
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), old, 0), 0);
#else
            const QDateTime old = QFileInfo(path).lastModified();
            put(file, "bbbb");
            QFile changed(file);
            QVERIFY(changed.open(QIODevice::ReadWrite));
            QVERIFY(changed.setFileTime(old, QFileDevice::FileModificationTime));
#endif
        };
        if (how == u"in place") {
            keepTime(path);
        } else if (how == u"rename") {
            keepTime(path + u".new"_s);
            QVERIFY(renameOver(path + u".new"_s, path));
        } else if (how == u"touch") {
            QFile touched(path);
            QVERIFY(touched.open(QIODevice::ReadWrite));
            QVERIFY(touched.setFileTime(QFileInfo(path).lastModified().addSecs(10),
                                        QFileDevice::FileModificationTime));
        } else {
            QVERIFY(QFile::remove(path));
        }
        QVERIFY(!(diskfile::stampOf(path) == before));
    }

    void aFileIsKeptAsideUnderAFreeNameAndStaysWhereItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note01.qkn"_s);
#ifdef Q_OS_UNIX
        put(dir.filePath(u"real.qkn"_s), "theirs");
        QVERIFY(QFile::link(dir.filePath(u"real.qkn"_s), path));
#else
        put(path, "theirs");
#endif
        const QString first = diskfile::freeName(dir.path(), u"note01"_s, u"copy"_s, u".qkn"_s);
        QVERIFY(diskfile::keepAside(path, first));
        const QString second = diskfile::freeName(dir.path(), u"note01"_s, u"copy"_s, u".qkn"_s);
        QCOMPARE(QFileInfo(first).fileName(), u"note01 (copy).qkn"_s);
        QCOMPARE(QFileInfo(second).fileName(), u"note01 (copy 2).qkn"_s);
#ifdef Q_OS_UNIX
        // What the link leads to is what is kept; the link stays as it was.
        QVERIFY(QFileInfo(path).isSymLink());
        QVERIFY(!QFileInfo(first).isSymLink());
#endif
        for (const QString &p : {path, first}) {
            QByteArray bytes;
            QCOMPARE(diskfile::readFile(p, 100, bytes), ReadStatus::Read);
            QCOMPARE(bytes, "theirs");
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
