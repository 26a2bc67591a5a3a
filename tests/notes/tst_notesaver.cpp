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

#ifdef Q_OS_LINUX
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

void put(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes.data(), bytes.size()), bytes.size());
}

#ifdef Q_OS_LINUX
// Makes every write past `bytes` fail the way a full disk does: the write
// stops part way through with an error. The kernel's signal for it is
// ignored so that the error reaches the writer.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};
#endif

enum class Failure
{
    FolderInPlace,
    WriteStopsHalfWay
};

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestNoteSaver : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_texts[notefiles::kNoteCount];
#ifdef Q_OS_LINUX
    std::optional<FileSizeLimit> m_limit;
#endif

    QString note(int n) const
    {
        return notefiles::notePath(m_dir->path(), n);
    }
    NoteSaver::TextOf texts()
    {
        return [this](int n) { return m_texts[n - 1]; };
    }

    // A large note, so that a write stopped at a few kilobytes is a write
    // stopped half way.
    static QString largeText()
    {
        return QString(64 * 1024, u'y');
    }

    void breakNote(int n, Failure failure)
    {
        switch (failure) {
        case Failure::FolderInPlace:
            QFile::remove(note(n));
            QVERIFY(QDir().mkpath(note(n)));
            break;
        case Failure::WriteStopsHalfWay:
#ifdef Q_OS_LINUX
            m_texts[n - 1] = largeText();
            m_limit.emplace(4096);
#endif
            break;
        }
    }

    void repairNote(int n, Failure failure)
    {
        switch (failure) {
        case Failure::FolderInPlace:
            QVERIFY(QDir(note(n)).removeRecursively());
            break;
        case Failure::WriteStopsHalfWay:
#ifdef Q_OS_LINUX
            m_limit.reset();
#endif
            break;
        }
    }

    void addFailureRows()
    {
        QTest::addColumn<Failure>("failure");
        QTest::newRow("a folder stands in the note file's place") << Failure::FolderInPlace;
#ifdef Q_OS_LINUX
        QTest::newRow("the write stops half way, as on a full disk") << Failure::WriteStopsHalfWay;
#endif
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        for (int n = 1; n <= notefiles::kNoteCount; ++n)
            m_texts[n - 1] = QStringLiteral("typed %1").arg(n);
    }

    void cleanup()
    {
#ifdef Q_OS_LINUX
        m_limit.reset();
#endif
    }

    void onlyChangedNotesAreWritten_data()
    {
        QTest::addColumn<QList<int>>("changed");
        QTest::newRow("nothing changed") << QList<int>();
        QTest::newRow("one note changed") << QList<int>({2});
        QTest::newRow("two notes changed") << QList<int>({1, 3});
        QTest::newRow("the same note changed twice") << QList<int>({3, 3});
    }
    void onlyChangedNotesAreWritten()
    {
        QFETCH(QList<int>, changed);
        for (int n = 1; n <= notefiles::kNoteCount; ++n)
            put(note(n), QStringLiteral("on disk %1").arg(n).toLatin1());

        NoteSaver saver(m_dir->path(), texts(), 1h);
        for (const int n : changed)
            saver.markChanged(n);
        QCOMPARE(saver.hasUnsaved(), !changed.isEmpty());
        QVERIFY(saver.saveNow());
        QVERIFY(!saver.hasUnsaved());
        for (int n = 1; n <= notefiles::kNoteCount; ++n) {
            QCOMPARE(saver.isDirty(n), false);
            const QString expected =
                changed.contains(n) ? QStringLiteral("typed %1") : QStringLiteral("on disk %1");
            QCOMPARE(contentOf(note(n)), expected.arg(n).toLatin1());
        }

        // A saved note is clean: what another program writes is left alone.
        for (int n = 1; n <= notefiles::kNoteCount; ++n)
            put(note(n), "edited elsewhere");
        QVERIFY(saver.saveNow());
        for (int n = 1; n <= notefiles::kNoteCount; ++n)
            QCOMPARE(contentOf(note(n)), QByteArray("edited elsewhere"));
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
            // A busy machine may stall the loop for longer than the delay,
            // and then a save is right; a save after a shorter pause is not.
            if (!saver.isDirty(1))
                QVERIFY2(clock.elapsed() - lastKey >= delay.count() * 95 / 100,
                         "saved while the user was still typing");
        }
        QTRY_VERIFY(!saver.isDirty(1));
        // With the text as it was at the last keystroke, not the first.
        QCOMPARE(contentOf(note(1)), m_texts[0].toLatin1());
        QVERIFY(!QFile::exists(note(2)));
        QVERIFY(!QFile::exists(note(3)));
    }

    void aFailedSaveKeepsThePreviousFileAndIsReportedOnce_data()
    {
        addFailureRows();
    }
    void aFailedSaveKeepsThePreviousFileAndIsReportedOnce()
    {
        QFETCH(Failure, failure);
        put(note(2), "previous");
        NoteSaver saver(m_dir->path(), texts(), 1h);
        QSignalSpy failed(&saver, &NoteSaver::saveFailed);
        breakNote(2, failure);
        saver.markChanged(1);
        saver.markChanged(2);

        QVERIFY(!saver.saveNow());
        QVERIFY(!saver.isDirty(1));
        QVERIFY(saver.isDirty(2));
        QVERIFY(saver.hasUnsaved());
        QCOMPARE(contentOf(note(1)), QByteArray("typed 1"));
        if (failure == Failure::WriteStopsHalfWay)
            QCOMPARE(contentOf(note(2)), QByteArray("previous"));
        // No half-written file is left lying about either.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("note01.qkn"), QStringLiteral("note02.qkn")}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), 2);
        const QString message = failed.at(0).at(1).toString();
        QVERIFY2(message.contains(QStringLiteral("Note 02")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("note02.qkn")), qPrintable(message));

        // Neither a later save nor a later edit says the same thing again.
        QVERIFY(!saver.saveNow());
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 1);

        repairNote(2, failure);
        QVERIFY(saver.saveNow());
        QVERIFY(!saver.hasUnsaved());
        QString saved;
        QCOMPARE(notefiles::loadNote(note(2), saved), notefiles::LoadStatus::Loaded);
        QCOMPARE(saved, m_texts[1]);

        // Once it worked, the same trouble is news again.
        breakNote(2, failure);
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 2);
    }

    void aDifferentFailureIsReported()
    {
#ifdef Q_OS_LINUX
        NoteSaver saver(m_dir->path(), texts(), 1h);
        QSignalSpy failed(&saver, &NoteSaver::saveFailed);
        saver.markChanged(3);
        breakNote(3, Failure::FolderInPlace);
        QVERIFY(!saver.saveNow());
        repairNote(3, Failure::FolderInPlace);
        breakNote(3, Failure::WriteStopsHalfWay);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 2);
        QVERIFY(failed.at(0).at(1).toString() != failed.at(1).at(1).toString());
#else
        QSKIP("needs a way to stop a write half way");
#endif
    }
};

QTEST_GUILESS_MAIN(TestNoteSaver)
#include "tst_notesaver.moc"
