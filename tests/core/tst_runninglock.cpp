// The system's lock on a file (flock, or LockFileEx on Windows) must keep a
// second bar away and never keep the only one away, whatever a bar that
// ended before it left behind.
#include "core/runninglock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

using Result = RunningLock::Result;

class TestRunningLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aSecondBarIsKeptAwayAndTheOnlyOneNever_data()
    {
        QTest::addColumn<QString>("before"); // what is there when the bar starts
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Result>("result");
        QTest::newRow("nothing") << QString() << QByteArray() << Result::Acquired;
        QTest::newRow("a start killed before it wrote its owner")
            << "left" << QByteArray() << Result::Acquired;
        QTest::newRow("an owner that is gone")
            << "left"
            << "2147483646\nmarglet\n" + QSysInfo::machineHostName().toUtf8() + '\n'
            << Result::Acquired;
        QTest::newRow("a bar that runs") << "bar" << QByteArray() << Result::HeldElsewhere;
        QTest::newRow("a bar that ended") << "ended" << QByteArray() << Result::Acquired;
#ifndef Q_OS_WIN
        // A bar in a folder out of room can lock only the folder; one on a
        // file system that cannot lock folders, only the file.
        QTest::newRow("another's lock on the file only")
            << "file lock" << QByteArray() << Result::HeldElsewhere;
        QTest::newRow("another's lock on the folder only")
            << "folder lock" << QByteArray() << Result::HeldElsewhere;
#endif
    }
    void aSecondBarIsKeptAwayAndTheOnlyOneNever()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, content);
        QFETCH(Result, result);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral(".marglet.lock"));
        QFile left(path);
        std::optional<RunningLock> other;
        if (before == u"left") {
            QVERIFY(left.open(QIODevice::WriteOnly));
            left.write(content);
            const QDateTime aMinuteAgo = QDateTime::currentDateTime().addSecs(-60);
            QVERIFY(left.setFileTime(aMinuteAgo, QFileDevice::FileModificationTime));
            left.close();
        } else if (before == u"bar" || before == u"ended") {
            QCOMPARE(other.emplace(path).tryLock(), Result::Acquired);
            if (before == u"ended")
                other.reset();
        }
#ifndef Q_OS_WIN
        int fd = -1;
        if (before == u"file lock") {
            QVERIFY(left.open(QIODevice::WriteOnly));
            fd = ::dup(left.handle());
        } else if (before == u"folder lock") {
            fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY);
        }
        QVERIFY(fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
#endif
        RunningLock lock(path);
        QCOMPARE(lock.tryLock(), result);
#ifndef Q_OS_WIN
        if (fd >= 0)
            ::close(fd);
#endif
    }

#ifdef Q_OS_WIN
    void aLockHeldThroughAnotherOpeningKeepsTheNextAway()
    {
        // What another bar holds: the file opened and its first byte
        // locked. A reader that only opens it (a backup tool) keeps nobody
        // away.
        QTemporaryDir dir;
        const QString path =
            QDir::toNativeSeparators(dir.filePath(QStringLiteral(".marglet.lock")));
        const HANDLE other =
            ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
        QVERIFY(other != INVALID_HANDLE_VALUE);
        {
            RunningLock lock(path);
            QCOMPARE(lock.tryLock(), Result::Acquired);
        }
        OVERLAPPED start = {};
        QVERIFY(::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &start));
        RunningLock lock(path);
        QCOMPARE(lock.tryLock(), Result::HeldElsewhere);
        ::CloseHandle(other);
        RunningLock after(path);
        QCOMPARE(after.tryLock(), Result::Acquired);
    }
#endif

    void aLockThatCannotBeTakenAtAllIsSaidNotIgnored()
    {
        // Running without one would let a second bar write over the notes.
        QTemporaryDir dir;
        RunningLock lock(dir.filePath(QStringLiteral("missing/.marglet.lock")));
        QCOMPARE(lock.tryLock(), Result::Failed);
        QVERIFY2(lock.error().contains(QStringLiteral(".marglet.lock")), qPrintable(lock.error()));
    }
};

QTEST_GUILESS_MAIN(TestRunningLock)
#include "tst_runninglock.moc"
