#include "notefiles.h"
#include "notesaver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace std::chrono_literals;

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

#ifdef Q_OS_UNIX
constexpr bool kCanStopWrites = true;

// Makes a write past `bytes` stop part way with an error, as on a full disk.
// The kernel's signal for it is ignored so that the error reaches the writer.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit lowered{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    void (*m_handler)(int);
    rlimit m_old{};
};
#else
constexpr bool kCanStopWrites = false;
struct FileSizeLimit
{
};
#endif

} // namespace

class TestNoteSaver : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir; // fresh for each test, whatever the last one left
    QString m_texts[3];
    std::optional<FileSizeLimit> m_limit;

    QString note(int n) const { return notefiles::notePath(m_dir->path(), n); }
    NoteSaver::TextOf texts()
    {
        return [this](int n) { return m_texts[n - 1]; };
    }

    void breakNote2(bool midWrite)
    {
        if (!midWrite) {
            QFile::remove(note(2));
            QDir().mkpath(note(2));
            return;
        }
#ifdef Q_OS_UNIX
        m_texts[1] = QString(64 * 1024, u'y');
        m_limit.emplace(4096);
#endif
    }
    void repairNote2(bool midWrite)
    {
        if (midWrite)
            m_limit.reset();
        else
            QDir(note(2)).removeRecursively();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        for (int n = 1; n <= 3; ++n) {
            m_texts[n - 1] = QStringLiteral("typed %1").arg(n);
            QFile file(note(n));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("on disk") == 7);
        }
    }
    void cleanup()
    {
        m_limit.reset();
    }

    void onlyChangedNotesAreWritten_data()
    {
        QTest::addColumn<QList<int>>("changed");
        QTest::newRow("nothing changed") << QList<int>();
        QTest::newRow("one note changed") << QList<int>({2});
        QTest::newRow("two notes changed, one of them twice") << QList<int>({1, 3, 3});
    }
    void onlyChangedNotesAreWritten()
    {
        QFETCH(QList<int>, changed);
        NoteSaver saver(m_dir->path(), texts(), 1h);
        for (const int n : changed)
            saver.markChanged(n);
        QCOMPARE(saver.hasUnsaved(), !changed.isEmpty());
        QVERIFY(saver.saveNow());
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(!saver.isDirty(n));
            QCOMPARE(contentOf(note(n)),
                     changed.contains(n) ? m_texts[n - 1].toLatin1() : "on disk");
            // Once saved, a note is clean: a later save leaves the file alone.
            QFile(note(n)).remove();
        }
        QVERIFY(saver.saveNow());
        for (int n = 1; n <= 3; ++n)
            QVERIFY(!QFile::exists(note(n)));
    }

    void theSaveWaitsForAPauseInTyping()
    {
        constexpr auto delay = 100ms;
        NoteSaver saver(m_dir->path(), texts(), delay);
        QElapsedTimer clock;
        clock.start();
        qint64 lastKey = 0;
        while (clock.elapsed() < 3 * delay.count()) {
            m_texts[0] += u'x';
            saver.markChanged(1);
            lastKey = clock.elapsed();
            QTest::qWait(5); // the typist's pace, not a wait for the result
            // A busy machine may stall this loop for longer than the delay,
            // and then a save is right; after a shorter pause it is not.
            QVERIFY2(saver.isDirty(1) || clock.elapsed() - lastKey >= delay.count() * 95 / 100,
                     "saved while the user was still typing");
        }
        QTRY_VERIFY(!saver.isDirty(1));
        QCOMPARE(contentOf(note(1)), m_texts[0].toLatin1()); // as at the last keystroke
        QCOMPARE(contentOf(note(2)), QByteArray("on disk"));
    }

    void aFailedSaveKeepsThePreviousFileAndIsReportedOnce_data()
    {
        QTest::addColumn<bool>("midWrite");
        QTest::newRow("a folder stands in the note file's place") << false;
        if (kCanStopWrites)
            QTest::newRow("the write stops half way, as on a full disk") << true;
    }
    void aFailedSaveKeepsThePreviousFileAndIsReportedOnce()
    {
        QFETCH(bool, midWrite);
        NoteSaver saver(m_dir->path(), texts(), 1h);
        QSignalSpy failed(&saver, &NoteSaver::saveFailed);
        breakNote2(midWrite);
        saver.markChanged(1);
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QVERIFY(!saver.isDirty(1) && saver.isDirty(2));
        if (midWrite)
            QCOMPARE(contentOf(note(2)), QByteArray("on disk"));
        // No half-written file is left lying about either.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), 2);
        const QString message = failed.at(0).at(1).toString();
        QVERIFY2(message.contains(QStringLiteral("Note 02")) && message.contains(note(2)),
                 qPrintable(message));

        // Neither a later save nor a later edit says the same thing again.
        QVERIFY(!saver.saveNow());
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 1);

        repairNote2(midWrite);
        QVERIFY(saver.saveNow());
        QCOMPARE(contentOf(note(2)), m_texts[1].toLatin1());

        // Once it worked, the same trouble is news again, as is another one.
        breakNote2(midWrite);
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 2);
        if (kCanStopWrites) {
            repairNote2(midWrite);
            breakNote2(!midWrite);
            QVERIFY(!saver.saveNow());
            QCOMPARE(failed.count(), 3);
        }
    }
};

QTEST_GUILESS_MAIN(TestNoteSaver)
#include "tst_notesaver.moc"
