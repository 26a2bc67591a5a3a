// A note book for tests, and what other programs do to its files.
#pragma once

#include "core/diskfile.h"
#include "notes/notebook.h"

#include <QPointer>
#include <QTemporaryDir>

#include "core/testfiles.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
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
    QByteArray read(const QString &path) const
    {
        QByteArray bytes("<none>"); // as it was, unless the file was read
        diskfile::readFile(path, 1 << 30, bytes);
        return bytes;
    }
    // Every file in the folder other than the notes, with what it holds.
    QStringList others() const
    {
        QStringList all;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::System))
            if (!name.startsWith(u"note0"_s) || name.contains(u' '))
                all.append(name + u": "_s + QString::fromLatin1(read(path(name))));
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
