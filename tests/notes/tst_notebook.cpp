#include "core/diskfile.h"
#include "notes/notebook.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "core/testfiles.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#endif

using namespace Qt::StringLiterals;
using ms = std::chrono::milliseconds;
using namespace std::chrono_literals;

// A timer on the test's clock: it fires when the clock passes its moment.
struct Timer : NoteTimer
{
    const ms &now;
    std::optional<ms> due;
    Timer(const ms &clock, QObject *parent) : NoteTimer(parent), now(clock) {}
    void start(ms interval) override { due = now + interval; }
    void stop() override { due.reset(); }
    bool isActive() const override { return due.has_value(); }
};

// A note book in a folder of its own, on a clock that only the test moves,
// whose writer fails while `failure` holds a reason. A save follows 2 s of
// pause, 30 s of steady typing, a failed one is tried again after 15 s, a
// change on disk is looked at 250 ms after it is seen, and another desk's
// version and a sync tool's copy wait 3 s for each other.
struct Book
{
    QTemporaryDir dir;
    ms now{0};
    QList<QPointer<Timer>> timers; // the note book's, which it deletes
    QStringList told;
    QString failure;
    QList<qint64> writes; // when, in ms
    NoteBookEnvironment env;
    std::unique_ptr<NoteBook> book;

    Book()
    {
        env.dataFolder = dir.path();
        env.rescueFolder = dir.filePath(u"rescued"_s);
        env.toldCopies = dir.filePath(u"cache/told"_s);
        env.timers = [this](QObject *parent) {
            return timers.emplace_back(new Timer(now, parent)).get();
        };
        env.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(8, 52, 10)); };
        env.clock = [this] { return now; };
        env.writer = [this](const QString &path, QByteArrayView bytes, QString *error) {
            writes.append(now.count());
            if (!failure.isEmpty())
                *error = failure;
            return failure.isEmpty() && diskfile::replace(path, bytes, error);
        };
        make();
    }
    // A new note book on the same files, as at the next start of the bar.
    void make()
    {
        book = std::make_unique<NoteBook>(env);
        QObject::connect(book.get(), &NoteBook::problem,
                         [this](const QString &message) { told.append(message); });
    }
    NoteBook *operator->() { return book.get(); }
    Timer *next(ms end) const // the first timer due by `end`
    {
        Timer *first = nullptr;
        for (Timer *t : timers)
            if (t && t->due && *t->due <= end && (!first || *t->due < *first->due))
                first = t;
        return first;
    }
    // Moves the clock on, firing each timer due on the way in order, so
    // that a test counts ticks.
    void advance(ms by)
    {
        const ms end = now + by;
        while (Timer *t = next(end)) {
            now = *std::exchange(t->due, std::nullopt);
            Q_EMIT t->timeout();
        }
        now = end;
    }
    bool ticking() const { return next(ms::max()); }
    // Once the folder's watch has seen a change, the files are looked at
    // after the settle.
    void seen()
    {
        QTRY_VERIFY(next(now + 250ms));
        advance(250ms);
    }
    void start()
    {
        book->ActiveNote = 1;
        book->LoadText();
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString note(int n) const { return notefiles::notePath(dir.path(), n); }
    // Every file in the folder other than the notes, with what it holds.
    QStringList others() const
    {
        QStringList all;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::System))
            if (!name.startsWith(u"note0"_s) || name.contains(u' '))
                all.append(name + u": "_s + QString::fromLatin1(bytesOf(path(name))));
        return all;
    }
};

// Gives the file at `path` another modification time, as a touch does.
inline void setTime(const QString &path, const QDateTime &time)
{
    QFile file(path); // closed on return: Windows moves no file that is open
    QVERIFY(file.open(QIODevice::ReadWrite) &&
            file.setFileTime(time, QFileDevice::FileModificationTime));
}

// Another program writes `bytes` to `file` and puts it in place of `path`,
// keeping the old size and the old time to the nanosecond, as a careful
// sync tool does: only the file's identity or change time tells.
inline void rewrite(const QString &path, const QString &file, const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    struct stat st = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    put(file, bytes);
    const timespec old[2] = {st.st_atim, st.st_mtim};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), old, 0), 0);
#else
    const QDateTime old = QFileInfo(path).lastModified();
    put(file, bytes);
    setTime(file, old);
#endif
    QVERIFY(file == path || renameOver(file, path));
}

// What another program does to a note file that holds "old".
inline void act(const QString &how, const QString &path)
{
    if (how == u"touch")
        setTime(path, QDateTime::currentDateTime().addSecs(5));
    else if (how == u"rewrite")
        rewrite(path, path, "new");
    else if (how == u"rename over")
        rewrite(path, path + u".tmp"_s, "new");
    else if (how == u"write the same")
        put(path, "mine");
    else if (how == u"delete")
        QVERIFY(QFile::remove(path));
    else if (how == u"picture")
        put(path, QByteArray("GIF89a\0\0\0\0", 10));
    else if (how == u"pipe")
        QVERIFY(QFile::remove(path) && make(u"named pipe"_s, path));
}

class TestNoteBook : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void whatAnotherProgramDidIsNeverLost()
    {
        const QByteArray gif("GIF89a\0\0\0\0", 10);
        const QString conflict = u"note01 (conflicted copy 2026-12-07 085210).qkn: new"_s;
        const QString aside =
            u"note01 (could not be read 2026-12-07 085210).qkn: "_s + QLatin1StringView(gif);
        // Whether the note was edited in the bar, what another program does,
        // the note's text and its file's bytes afterwards, and the other
        // file in the folder with what it holds, if any.
        const std::tuple<const char *, bool, QString, QString, QByteArray, QString> rows[] = {
            // Not edited in the bar: the file's new text shows; a file that
            // is no note any more is told and never written over.
            {"other text shows", false, u"rewrite"_s, u"new"_s, "new", {}},
            {"synced", false, u"rename over"_s, u"new"_s, "new", {}},
            {"deleted: empty", false, u"delete"_s, u""_s, "<none>", {}},
            {"a picture: left alone", false, u"picture"_s, u"old"_s, gif, {}},
            // Edited in the bar: its text is saved, and what the other
            // program wrote is kept beside it and told.
            {"both changed: a conflicted copy", true, u"rewrite"_s, u"mine"_s, "mine", conflict},
            {"edited and touched: no copy", true, u"touch"_s, u"mine"_s, "mine", {}},
            {"edited, and the same text written: no copy",
             true,
             u"write the same"_s,
             u"mine"_s,
             "mine",
             {}},
            {"edited and deleted: written again", true, u"delete"_s, u"mine"_s, "mine", {}},
            {"edited, and a picture put there: kept aside", true, u"picture"_s, u"mine"_s, "mine",
             aside},
#ifdef Q_OS_UNIX
            {"a pipe: kept", false, u"pipe"_s, u"old"_s, "<none>", {}},
            {"edited, and a named pipe put there: never written over",
             true,
             u"pipe"_s,
             u"mine"_s,
             "<none>",
             {}},
#endif
        };
        for (const auto &[name, edited, other, note, file, others] : rows) {
            const auto row = nameOnFailure(name);
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
                // Note 2 changes too; once the change is seen, the files are
                // looked at together.
                put(b.note(2), "two, changed");
                QTRY_VERIFY(b.ticking());
                b.advance(250ms);
                QCOMPARE(b->TxtNote02, u"two, changed"_s);
            }
            QCOMPARE(b->TxtNote01, note);
            QCOMPARE(bytesOf(b.note(1)), file);
            QCOMPARE(b.others().join(u'\n'), others);
            QCOMPARE(b.told.size(),
                     int(!others.isEmpty() || other == u"picture" || other == u"pipe"));
            if (!others.isEmpty())
                QVERIFY2(b.told.first().contains(
                             QDir::toNativeSeparators(b.path(others.section(u':', 0, 0)))),
                         qPrintable(b.told.first()));
        }
    }

    void aSyncToolsCopyIsKnownByItsName()
    {
        // A file's name, whether the file system takes NOTE01 for note01,
        // and the note it is a copy of (0: none).
        const std::tuple<const char *, const char *, bool, int> rows[] = {
            {"Syncthing", "note01.sync-conflict-20261208-003018-ULVBUW2.qkn", false, 1},
            {"Syncthing before device names", "note03.sync-conflict-20261208-003018.qkn", false, 3},
            {"Nextcloud, ownCloud, the bar", "note02 (conflicted copy 2026-12-08 003018).qkn",
             false, 2},
            {"the bar's second copy in a second",
             "note01 (conflicted copy 2026-12-08 003018 2).qkn", false, 1},
            {"Dropbox", "note02 (Ann's conflicted copy 2026-12-08).qkn", false, 2},
            {"Dropbox, typographic", "note02 (Ann\u2019s conflicted copy 2026-12-08).qkn", false,
             2},
            {"OneDrive", "note03-DESKTOP-4F2K9QL.qkn", false, 3},
            {"upper case, kept apart", "NOTE01.sync-conflict-20261208-003018-ULVBUW2.QKN", false,
             0},
            {"upper case, one file", "NOTE01.sync-conflict-20261208-003018-ULVBUW2.QKN", true, 1},
            {"the note itself", "note01.qkn", false, 0},
            {"no date, another extension", "note01.sync-conflict.txt", false, 0},
            {"a short date", "note01.sync-conflict-2026128-003018-ULVBUW2.qkn", false, 0},
            {"another extension", "note01 (conflicted copy 2026-12-08 003018).txt", false, 0},
            {"a fourth note", "note04 (conflicted copy 2026-12-08 003018).qkn", false, 0},
            {"note011", "note011.qkn", false, 0},
            {"notes01", "notes01.qkn", false, 0},
            {"kept unread", "note01 (could not be read 2026-12-07 085210).qkn", false, 0},
            {"the bar's file being written", "note01.qkn.Ab12Cd", false, 0},
            {"Syncthing's file being written", ".syncthing.note01.qkn.tmp", false, 0},
            {"a dash and nothing", "note01-.qkn", false, 0},
        };
        for (const auto &[why, name, anyCase, note] : rows) {
            const auto row = nameOnFailure(why);
            QCOMPARE(notesync::conflictCopyOf(QString::fromUtf8(name),
                                              anyCase ? Qt::CaseInsensitive : Qt::CaseSensitive),
                     note);
        }
    }

    void whatAnotherDeskDidIsToldOnce()
    {
        const QString kept = u"replaced the text you typed here\\. Your text is kept in "
                             u"\"[^\"]*note01\\.sync-conflict-20261208-003018-ULVBUW2\\.qkn\"; "_s;
        // Seconds since the bar saved typed text (-1: never), the steps (a
        // look at the files follows each but a pause), what the bar says,
        // if anything, and the note afterwards, which is its file's text.
        const std::tuple<const char *, int, QString, QString, QString> rows[] = {
            {"a desk that only reads: quiet", -1, u"replace"_s, {}, u"theirs"_s},
            {"typed more than a minute ago: quiet", 61, u"replace"_s, {}, u"theirs"_s},
            {"replaced, and the copy with it", 30, u"copy+replace"_s, kept, u"theirs"_s},
            {"the copy a moment after", 30, u"replace 1s copy"_s, kept, u"theirs"_s},
            {"the copy a moment before", 30, u"copy 1s replace"_s, kept, u"theirs"_s},
            {"replaced by a version made from it", 30, u"extend"_s,
             u"replaced the text you typed here\\. It still holds all of your"_s,
             u"mine, and theirs"_s},
            {"replaced, no copy: the bar keeps the text", 30, u"replace"_s,
             u"replaced the text you typed here\\. No sync tool kept a copy of your text, so "
             u"Marglet kept it in \"[^\"]*note01 \\(conflicted copy"_s,
             u"theirs"_s},
            {"a copy of a note not typed in", -1, u"copy"_s,
             u"Another version of Note 01 is kept in \"[^\"]*sync-conflict"_s, u"old"_s},
            {"edited when another version came: the bar's own copy, told once", -1,
             u"type+replace 2s"_s, u"changed by another program too"_s, u"typing"_s},
            {"deleted, not typed in: empty, quiet", -1, u"delete"_s, {}, {}},
            {"deleted a moment after typing: saved again", 30, u"delete 2s"_s,
             u"deleted on another desk.* saves it in \"[^\"]*note01\\.qkn\" again"_s, u"mine"_s},
        };
        for (const auto &[name, typed, steps, told, text] : rows) {
            const auto row = nameOnFailure(name);
            Book b;
            put(b.note(1), "old");
            b.start();
            if (typed >= 0) {
                b->replaceActive(u"mine"_s);
                QVERIFY(b->saveNow());
                b.advance(std::chrono::seconds(typed));
            }
            for (const QString &step : steps.split(u' ')) {
                for (const QString &what : step.split(u'+')) {
                    if (what == u"replace")
                        rewrite(b.note(1), b.note(1) + u".tmp"_s, "theirs");
                    else if (what == u"extend")
                        rewrite(b.note(1), b.note(1) + u".tmp"_s, "mine, and theirs");
                    else if (what == u"copy")
                        put(b.path(u"note01.sync-conflict-20261208-003018-ULVBUW2.qkn"_s), "mine");
                    else if (what == u"delete")
                        QVERIFY(QFile::remove(b.note(1)));
                    else if (what == u"type")
                        b->replaceActive(u"typing"_s);
                    else
                        b.advance(std::chrono::seconds(what.chopped(1).toInt()));
                }
                if (!step.endsWith(u's'))
                    b.seen();
            }
            // Anything else in the folder is looked at once more, then all is told.
            put(b.path(u"unrelated.txt"_s), "");
            b.seen();
            b.advance(1h);
            QVERIFY(!b.ticking());
            QCOMPARE(b.told.size(), told.isEmpty() ? 0 : 1);
            QVERIFY2(QRegularExpression(told).match(b.told.value(0)).hasMatch(),
                     qPrintable(b.told.value(0)));
            // Where the bar says it kept the text, the text is.
            const auto keptIn =
                QRegularExpression(u"kept it in \"([^\"]*)\""_s).match(b.told.join(u'\n'));
            if (keptIn.hasMatch())
                QCOMPARE(bytesOf(QDir::fromNativeSeparators(keptIn.captured(1))), "mine"_ba);
            QCOMPARE(b->TxtNote01, text);
            QCOMPARE(bytesOf(b.note(1)), text.isEmpty() ? "<none>"_ba : text.toUtf8());
        }
    }

    void copiesAlreadyThereAreToldTogetherAtStart()
    {
        Book b;
        const QStringList copies{u"note01.sync-conflict-20261208-003018-ULVBUW2.qkn"_s,
                                 u"note02 (Ann's conflicted copy 2026-12-08).qkn"_s,
                                 u"note03-LAPTOP.qkn"_s};
        for (const QString &name : copies + QStringList{u"note011.qkn"_s, u"notes01.qkn"_s})
            put(b.path(name), "other");
        b.start();
        QCOMPARE(b.told.size(), 1);
        QCOMPARE(b.told[0].count(u".qkn\" (Note 0"_s), copies.size());
        for (const QString &name : copies)
            QVERIFY2(b.told[0].contains(QDir::toNativeSeparators(b.path(name))),
                     qPrintable(b.told[0]));
        // Only a new one is told from then on.
        put(b.path(u"note02 (conflicted copy 2026-12-08 003018).qkn"_s), "another");
        b.seen();
        put(b.path(u"unrelated.txt"_s), "");
        b.seen();
        QCOMPARE(b.told.size(), 2);
        QVERIFY2(b.told[1].startsWith(u"Another version of Note 02"_s), qPrintable(b.told[1]));
        // Never opened, changed or moved.
        for (const QString &name : copies)
            QCOMPARE(bytesOf(b.path(name)), "other");
        // Not told again at the next start; one that came meanwhile is.
        put(b.path(u"note03 (conflicted copy 2026-12-09 101010).qkn"_s), "later");
        b.make();
        b.start();
        QCOMPARE(b.told.size(), 3);
        QVERIFY2(b.told[2].contains(u"2026-12-09"_s) && !b.told[2].contains(copies[0]),
                 qPrintable(b.told[2]));
    }

    void aSaveFollowsAPauseOrAtMostTheSteadyLimit()
    {
        // Keys typed, the ms between them, and when the note is saved, in
        // ms after the first key.
        const std::tuple<const char *, int, int, qint64> rows[] = {
            {"a burst, then a pause", 5, 300, 4 * 300 + 2000},
            {"steady typing, never a pause", 100, 1000, 30000},
        };
        for (const auto &[name, keys, gap, saved] : rows) {
            const auto row = nameOnFailure(name);
            Book b;
            b.start();
            for (int i = 0; i < keys && b.writes.isEmpty(); ++i) {
                b->replaceActive(b->TxtNote01 + u'x');
                b.advance(ms(gap));
            }
            b.advance(1h);
            QCOMPARE(b.writes.value(0, -1), saved);
            QCOMPARE(bytesOf(b.note(1)), QByteArray(b->TxtNote01.size(), 'x'));
            QVERIFY(!b.ticking()); // at rest, nothing ticks
        }
    }

    void eachNoteIsWrittenBackInTheEncodingItWasReadIn()
    {
        // UTF-8 another editor wrote, the bar's own marked UTF-8, the old format.
        const QByteArray read[] = {"caf\xC3\xA9\r\n",
                                   "\xEF\xBB\xBF"
                                   "caf\xC3\xA9 \xE2\x9C\x93\r\n",
                                   "caf\xE9\r\n"};
        Book b;
        for (int n = 1; n <= 3; ++n)
            put(b.note(n), read[n - 1]);
        b.start();
        for (qint16 n = 1; n <= 3; ++n) {
            b->ActiveNote = n;
            b->replaceActive(b->noteStore(n) + u'x');
        }
        QVERIFY(b->saveNow());
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(bytesOf(b.note(n)), read[n - 1] + 'x');
    }

    void aFailingSaveLosesNothingIsRetriedSaidOnceAndRescued()
    {
        Book b;
        put(b.note(1), "old");
        b.start();
        b.failure = u"Could not write it: the disk is full."_s;
        b->replaceActive(u"new ü"_s);
        QVERIFY(!b->saveNow());
        QCOMPARE(bytesOf(b.note(1)), "old");
        QVERIFY2(b.told.size() == 1 && b.told[0].contains(u"the disk is full"_s),
                 qPrintable(b.told.join(u'\n')));
        // Closing now keeps the unsaved note in a rescue file, once per text.
        QStringList written;
        const QString rescued = b.path(u"rescued/note01 (rescued 2026-12-07 085210"_s);
        QVERIFY(b->rescue(&written, nullptr) && b->rescue(&written, nullptr));
        QCOMPARE(written, QStringList{rescued + u").txt"_s});
        QCOMPARE(bytesOf(written.last()), "new \xFC");
        b->replaceActive(u"new"_s);
        QVERIFY(b->rescue(&written, nullptr));
        QCOMPARE(written.last(), rescued + u" 2).txt"_s);
        // Retried every 15 s while it fails, without saying it again.
        b.advance(60s);
        QCOMPARE(b.writes, (QList<qint64>{0, 2000, 15000, 30000, 45000, 60000}));
        QCOMPARE(b.told.size(), 1);
        QCOMPARE(b->unsavedCaptions(), u"Note 01"_s);
        b.failure.clear();
        b.advance(15s);
        QVERIFY(!b->hasUnsaved());
        QCOMPARE(bytesOf(b.note(1)), "new");
        QVERIFY(!b.ticking());
        // Closing writes no note that is saved, and creates the missing ones.
        QVERIFY(b->SaveText());
        QCOMPARE(b.writes.size(), 9);
        QCOMPARE(bytesOf(b.note(2)) + bytesOf(b.note(3)), QByteArray());
        // Never written larger than it could be read: every line break takes
        // two bytes on disk.
        b->replaceActive(QString(notefiles::kReadLimit / 2 + 1, u'\n'));
        QVERIFY(!b->saveNow());
        QCOMPARE(b.writes.size(), 9);
        QCOMPARE(bytesOf(b.note(1)), "new");
        QVERIFY2(b.told.last().contains(u"64 MiB"_s), qPrintable(b.told.last()));
    }
};

QTEST_GUILESS_MAIN(TestNoteBook)
#include "tst_notebook.moc"
