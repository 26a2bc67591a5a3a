#include "core/diskfile.h"
#include "notes/notebook.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "renameover.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// A note book in a folder of its own, whose writer fails while `failure`
// holds a reason.
struct Book
{
    QTemporaryDir dir;
    QStringList told;
    QString failure;
    int writes = 0;
    std::unique_ptr<NoteBook> book;

    explicit Book(std::chrono::milliseconds pause = 1h, std::chrono::milliseconds steady = 1h,
                  std::chrono::milliseconds retry = 1h)
    {
        NoteBookEnvironment env;
        env.dataFolder = dir.path();
        env.rescueFolder = dir.filePath(u"rescued"_s);
        env.pause = pause;
        env.steady = steady;
        env.retry = retry;
        env.settle = 10ms;
        env.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(8, 52, 10)); };
        env.writer = [this](const QString &path, QByteArrayView bytes, QString *error) {
            ++writes;
            if (failure.isEmpty())
                return diskfile::replace(path, bytes, error);
            *error = failure;
            return false;
        };
        book = std::make_unique<NoteBook>(env);
        QObject::connect(book.get(), &NoteBook::problem,
                         [this](const QString &message) { told.append(message); });
    }
    NoteBook *operator->() { return book.get(); }
    void start()
    {
        book->ActiveNote = 1;
        book->LoadText();
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString note(int n) const { return book->notePath(n); }
    QByteArray read(const QString &path) const
    {
        QByteArray bytes;
        return diskfile::readFile(path, 1 << 30, bytes) == diskfile::ReadStatus::Read
                   ? bytes
                   : QByteArray("<none>");
    }
    // Every file in the folder other than the notes, with what it holds.
    QStringList others() const
    {
        QStringList all;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::System)) {
            if (!name.startsWith(u"note0"_s) || name.contains(u' '))
                all.append(name + u": "_s + QString::fromLatin1(read(path(name))));
        }
        return all;
    }
    bool ticking() const
    {
        const auto timers = book->findChildren<QTimer *>();
        return std::any_of(timers.begin(), timers.end(), [](QTimer *t) { return t->isActive(); });
    }
};

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// What another program does to a note file.
void act(const QString &how, const QString &path)
{
    if (how == u"nothing")
        return;
    if (how == u"touches it") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                 QFileDevice::FileModificationTime));
    } else if (how == u"writes other text") {
        put(path, "theirs");
    } else if (how == u"writes the bar's text") {
        put(path, "mine");
    } else if (how == u"replaces it by a rename, as sync tools do") {
        put(path + u".tmp"_s, "theirs");
        QVERIFY(renameOver(path + u".tmp"_s, path));
    } else if (how == u"deletes it") {
        QVERIFY(QFile::remove(path));
    } else if (how == u"puts a picture there") {
        put(path, QByteArray("GIF89a\0\0\0\0", 10));
#ifdef Q_OS_UNIX
    } else if (how == u"puts a named pipe there") {
        QVERIFY(QFile::remove(path));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    } else {
        QFAIL("unknown action");
    }
}

} // namespace

class TestNoteBook : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void whatAnotherProgramDidIsNeverLost_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("note");       // the note's text afterwards
        QTest::addColumn<QByteArray>("file");    // the note file's bytes afterwards
        QTest::addColumn<QStringList>("others"); // the other files in the folder
        QTest::addColumn<int>("messages");
        const QString conflict = u"note01 (conflicted copy 2026-12-07 085210).qkn: "_s;
        const QStringList none;
        // Not edited in the bar: the file's new text shows; a file that is no
        // note any more is never written over.
        QTest::newRow("other text shows")
            << false << u"writes other text"_s << u"theirs"_s << "theirs"_ba << none << 0;
        QTest::newRow("a replacing sync shows")
            << false << u"replaces it by a rename, as sync tools do"_s << u"theirs"_s << "theirs"_ba
            << none << 0;
        QTest::newRow("a touch changes nothing")
            << false << u"touches it"_s << u"old"_s << "old"_ba << none << 0;
        QTest::newRow("a deleted note is empty")
            << false << u"deletes it"_s << QString() << "<none>"_ba << none << 0;
        QTest::newRow("a picture is told and left alone")
            << false << u"puts a picture there"_s << u"old"_s << QByteArray("GIF89a\0\0\0\0", 10)
            << none << 1;
        // Edited in the bar: its text is saved, and what the other program
        // wrote is kept beside it.
        QTest::newRow("edited, file untouched")
            << true << u"nothing"_s << u"mine"_s << "mine"_ba << none << 0;
        QTest::newRow("both changed: a conflicted copy")
            << true << u"writes other text"_s << u"mine"_s << "mine"_ba
            << QStringList{conflict + u"theirs"_s} << 1;
        QTest::newRow("both changed by a sync: a conflicted copy")
            << true << u"replaces it by a rename, as sync tools do"_s << u"mine"_s << "mine"_ba
            << QStringList{conflict + u"theirs"_s} << 1;
        QTest::newRow("edited and touched: no copy")
            << true << u"touches it"_s << u"mine"_s << "mine"_ba << none << 0;
        QTest::newRow("edited, and the same text written: no copy")
            << true << u"writes the bar's text"_s << u"mine"_s << "mine"_ba << none << 0;
        QTest::newRow("edited and deleted: written again")
            << true << u"deletes it"_s << u"mine"_s << "mine"_ba << none << 0;
        QTest::newRow("edited, and a picture put there: kept aside")
            << true << u"puts a picture there"_s << u"mine"_s << "mine"_ba
            << QStringList{u"note01 (could not be read 2026-12-07 085210).qkn: GIF89a\0\0\0\0"_s}
            << 1;
#ifdef Q_OS_UNIX
        QTest::newRow("a named pipe is told and left alone")
            << false << u"puts a named pipe there"_s << u"old"_s << "<none>"_ba << none << 1;
        QTest::newRow("edited, and a named pipe put there: never written over")
            << true << u"puts a named pipe there"_s << u"mine"_s << "<none>"_ba << none << 1;
#endif
    }
    void whatAnotherProgramDidIsNeverLost()
    {
        QFETCH(bool, edited);
        QFETCH(QString, other);
        QFETCH(QString, note);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, others);
        QFETCH(int, messages);
        Book b;
        put(b.note(1), "old");
        put(b.note(2), "two");
        b.start();
        if (edited)
            b->replaceActive(u"mine"_s);
        act(other, b.note(1));
        if (edited) {
            QCOMPARE(b->saveNow(), file == "mine");
        } else {
            // Note 2 changes too, and the files are looked at together:
            // once it shows, note 1 has been looked at.
            put(b.note(2), "two, changed");
            QTRY_COMPARE(b->TxtNote02, u"two, changed"_s);
        }
        QCOMPARE(b->TxtNote01, note);
        QCOMPARE(b.read(b.note(1)), file);
        QCOMPARE(b.others(), others);
        QCOMPARE(b.told.size(), messages);
        if (!others.isEmpty())
            QVERIFY2(b.told.first().contains(
                         QDir::toNativeSeparators(b.path(others.first().section(u':', 0, 0)))),
                     qPrintable(b.told.first()));
    }

    void anUnreadableNoteIsKeptAsideBeforeItIsFirstSaved_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        QTest::newRow("larger than a note may be") << u"huge"_s << u"64 MiB"_s;
        QTest::newRow("not text") << u"binary"_s << u"text file"_s;
#ifdef Q_OS_UNIX
        if (::geteuid() != 0) // root reads whatever the permissions say
            QTest::newRow("not readable") << u"locked"_s << u"permission"_s;
#endif
    }
    void anUnreadableNoteIsKeptAsideBeforeItIsFirstSaved()
    {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        Book b;
        QFile file(b.note(2));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == u"huge") // sparse: costs no room
            QVERIFY(file.resize(notefiles::kReadLimit + 1));
        else
            file.write(QByteArray("\x7f"
                                  "ELF\0\0\0",
                                  7));
        file.close();
        const qint64 size = file.size();
        if (kind == u"locked")
            QVERIFY(file.setPermissions({}));
        b.start();
        QCOMPARE(b.told.size(), 1);
        QVERIFY2(b.told.first().contains(why) &&
                     b.told.first().contains(QDir::toNativeSeparators(b.note(2))),
                 qPrintable(b.told.first()));
        QCOMPARE(b->TxtNote02, QString());
        // Closing without touching the note leaves the file alone.
        QVERIFY(b->SaveText());
        QCOMPARE(QFileInfo(b.note(2)).size(), size);

        b->ActiveNote = 2;
        b->replaceActive(u"typed"_s);
        QVERIFY(b->saveNow());
        QCOMPARE(b.read(b.note(2)), "typed");
        const QString aside = b.path(u"note02 (could not be read 2026-12-07 085210).qkn"_s);
        QCOMPARE(QFileInfo(aside).size(), size);
        QCOMPARE(b.told.size(), 2);
        QVERIFY2(b.told.last().contains(QDir::toNativeSeparators(aside)),
                 qPrintable(b.told.last()));
    }

    void aFailingSaveLosesNothingIsRetriedAndSaidOnce()
    {
        Book b(1h, 1h, 20ms);
        put(b.note(1), "old");
        b.start();
        QTRY_VERIFY(!b.ticking());
        b.failure = u"Could not write it: the disk is full."_s;
        b->replaceActive(u"new"_s);
        QVERIFY(!b->saveNow());
        QCOMPARE(b.read(b.note(1)), "old");
        QVERIFY(b->isDirty(1));
        QCOMPARE(b.told.size(), 1);
        QVERIFY2(b.told.first().contains(u"the disk is full"_s), qPrintable(b.told.first()));
        // Retried while it fails, without saying it again.
        QTRY_VERIFY(b.writes >= 4);
        QCOMPARE(b.told.size(), 1);
        QCOMPARE(b->unsavedCaptions(), u"Note 01"_s);
        b.failure.clear();
        QTRY_VERIFY(!b->hasUnsaved());
        QCOMPARE(b.read(b.note(1)), "new");
        // At rest again: nothing ticks.
        QTRY_VERIFY(!b.ticking());
    }

    void steadyTypingIsSavedWithoutAPause()
    {
        // A pause that never comes: only the limit on waiting can save.
        Book b(1h, 150ms);
        b.start();
        QTimer typist;
        typist.setInterval(5ms);
        QObject::connect(&typist, &QTimer::timeout,
                         [&b] { b->replaceActive(b->TxtNote01 + u'x'); });
        typist.start();
        QTRY_VERIFY(QFile::exists(b.note(1)));
        QVERIFY(typist.isActive());
        const QByteArray saved = b.read(b.note(1));
        typist.stop();
        QVERIFY(!saved.isEmpty() && saved == QByteArray(saved.size(), 'x'));
    }

    void theSaveWaitsForAPauseInTyping()
    {
        Book b(50ms);
        b.start();
        for (int i = 0; i < 5; ++i)
            b->replaceActive(b->TxtNote01 + u'x');
        QCOMPARE(b.writes, 0);
        QTRY_COMPARE(b.read(b.note(1)), "xxxxx");
        QCOMPARE(b.writes, 1); // one save for the burst
        QTRY_VERIFY(!b.ticking());
    }

    void aNoteIsNeverWrittenLargerThanItCouldBeRead()
    {
        Book b;
        put(b.note(1), "old");
        b.start();
        // Every line break takes two bytes on disk.
        b->replaceActive(QString(notefiles::kReadLimit / 2 + 1, u'\n'));
        QVERIFY(!b->saveNow());
        QCOMPARE(b.writes, 0);
        QCOMPARE(b.read(b.note(1)), "old");
        QCOMPARE(b.told.size(), 1);
        QVERIFY2(b.told.first().contains(u"64 MiB"_s), qPrintable(b.told.first()));
    }

    void closingCreatesMissingFilesAndRewritesOnlyChangedNotes()
    {
        Book b;
        put(b.note(1), "one");
        b.start();
        const diskfile::Stamp before = diskfile::stampOf(b.note(1));
        QVERIFY(b->SaveText());
        QCOMPARE(diskfile::stampOf(b.note(1)), before);
        QCOMPARE(b.read(b.note(2)), QByteArray());
        QCOMPARE(b.read(b.note(3)), QByteArray());
        QCOMPARE(b.writes, 2);
    }

    void unsavedNotesGoToARescueFileOncePerText()
    {
        Book b;
        b.start();
        b.failure = u"no room"_s;
        b->replaceActive(u"one"_s);
        b->ActiveNote = 3;
        b->replaceActive(u"three ü"_s);
        QVERIFY(!b->saveNow());
        QStringList written;
        QString error;
        QVERIFY(b->rescue(&written, &error));
        const QString folder = b.path(u"rescued/"_s);
        QCOMPARE(written, (QStringList{folder + u"note01 (rescued 2026-12-07 085210).txt"_s,
                                       folder + u"note03 (rescued 2026-12-07 085210).txt"_s}));
        QCOMPARE(b.read(written.last()), "three \xFC");
        // Asked again (a signal after a close), nothing is written twice;
        // a note typed into since is.
        written.clear();
        QVERIFY(b->rescue(&written, &error));
        QVERIFY(written.isEmpty());
        b->replaceActive(u"three, more"_s);
        QVERIFY(b->rescue(&written, &error));
        QCOMPARE(written, QStringList{folder + u"note03 (rescued 2026-12-07 085210 2).txt"_s});
        QVERIFY(b->hasUnsaved()); // still not where it belongs
    }
};

QTEST_GUILESS_MAIN(TestNoteBook)
#include "tst_notebook.moc"
