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

class TestRunningLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneBarHoldsItUntilItEnds()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral(".marglet.lock"));
        {
            RunningLock first(path);
            QCOMPARE(first.tryLock(), RunningLock::Result::Acquired);
            RunningLock second(path);
            QCOMPARE(second.tryLock(), RunningLock::Result::HeldElsewhere);
        }
        RunningLock later(path);
        QCOMPARE(later.tryLock(), RunningLock::Result::Acquired);
    }

    void whatIsLeftBehindDoesNotKeepTheBarAway_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("a start killed before it wrote its owner") << QByteArray();
        QTest::newRow("an owner that is gone")
            << "2147483646\nmarglet\n" + QSysInfo::machineHostName().toUtf8() + '\n';
    }
    void whatIsLeftBehindDoesNotKeepTheBarAway()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral(".marglet.lock"));
        QFile left(path);
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write(content);
        const QDateTime aMinuteAgo = QDateTime::currentDateTime().addSecs(-60);
        QVERIFY(left.setFileTime(aMinuteAgo, QFileDevice::FileModificationTime));
        left.close();
        RunningLock lock(path);
        QCOMPARE(lock.tryLock(), RunningLock::Result::Acquired);
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
            QCOMPARE(lock.tryLock(), RunningLock::Result::Acquired);
        }
        OVERLAPPED start = {};
        QVERIFY(::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &start));
        RunningLock lock(path);
        QCOMPARE(lock.tryLock(), RunningLock::Result::HeldElsewhere);
        ::CloseHandle(other);
        RunningLock after(path);
        QCOMPARE(after.tryLock(), RunningLock::Result::Acquired);
    }

#else
    void whicheverLockAnotherBarHoldsKeepsTheNextAway_data()
    {
        QTest::addColumn<bool>("folder");
        // A bar in a folder out of room can lock only the folder; one on a
        // file system that cannot lock folders, only the file.
        QTest::newRow("only the lock file") << false;
        QTest::newRow("only the folder") << true;
    }
    void whicheverLockAnotherBarHoldsKeepsTheNextAway()
    {
        QFETCH(bool, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral(".marglet.lock"));
        QFile held(folder ? dir.path() : path);
        if (!folder)
            QVERIFY(held.open(QIODevice::WriteOnly));
        const int fd =
            folder ? ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY) : held.handle();
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        RunningLock lock(path);
        QCOMPARE(lock.tryLock(), RunningLock::Result::HeldElsewhere);
        if (folder)
            ::close(fd);
    }
#endif

    void aLockThatCannotBeTakenAtAllIsSaidNotIgnored()
    {
        // Running without one would let a second bar write over the notes.
        QTemporaryDir dir;
        RunningLock lock(dir.filePath(QStringLiteral("missing/.marglet.lock")));
        QCOMPARE(lock.tryLock(), RunningLock::Result::Failed);
        QVERIFY2(lock.error().contains(QStringLiteral(".marglet.lock")), qPrintable(lock.error()));
    }
};

QTEST_GUILESS_MAIN(TestRunningLock)
#include "tst_runninglock.moc"
