#include "core/autostart.h"
#include "core/diskfile.h"
#include "core/folders.h"
#include "core/handover.h"
#include "core/platformchoice.h"
#include "core/runninglock.h"
#include "core/windowsversiondetect.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>

#include <future>

#include "core/testfiles.h"

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#endif

using namespace Qt::StringLiterals;
using namespace WindowsVersionDetect;
using Result = RunningLock::Result;
using Sent = handover::Sent;
using diskfile::Kind;
using diskfile::ReadStatus;

class TestCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void onlyARegularFileIsReadOrWrittenAndNothingWaits()
    {
        using enum ReadStatus;
        // What is at the path, what reading it gives and a word of the read
        // error, if any, and what the path is after a write.
        const std::tuple<QString, ReadStatus, QString, Kind> rows[] = {
            {u"file"_s, Read, {}, Kind::Regular},
            {u"nothing"_s, Missing, {}, Kind::Regular},
            {u"folder"_s, Failed, u"a folder"_s, Kind::Folder},
            {u"huge file"_s, Failed, u"larger"_s, Kind::Regular},
#ifdef Q_OS_UNIX // links, pipes, sockets and devices as the system makes them
            {u"link to a file"_s, Read, {}, Kind::Regular},
            {u"link that leads nowhere"_s, Missing, {}, Kind::Regular},
            {u"named pipe"_s, Failed, u"pipe"_s, Kind::Pipe},
            {u"link to a named pipe"_s, Failed, u"pipe"_s, Kind::Pipe},
#endif
        };
        for (const auto &[what, status, said, after] : rows) {
            const auto row = nameOnFailure(what);
            QTemporaryDir dir;
            const QString path = dir.filePath(u"x"_s);
            if (what != u"nothing" && !make(what, path))
                continue; // this process may not make one
            QByteArray bytes = "kept";
            QString error;
            QCOMPARE(diskfile::readFile(path, 1024, bytes, &error), status);
            QCOMPARE(bytes, status == Read ? "text"_ba : "kept"_ba);
            QVERIFY2(error.contains(said) && error.isEmpty() == said.isEmpty(), qPrintable(error));
            QCOMPARE(diskfile::canRead(path), status == Read || what == u"huge file");
            const QString aside = dir.filePath(u"aside"_s);
            if (status == Read) { // kept aside, it stays where it was too
                QVERIFY(diskfile::keepAside(path, aside));
                QCOMPARE(diskfile::readFile(path, 100, bytes), Read);
            }

            error.clear();
            const bool written = diskfile::replace(path, "new", &error);
            QCOMPARE(written, after == Kind::Regular);
            QCOMPARE(diskfile::kindOf(path), after);
            QCOMPARE(QFileInfo(path).isSymLink(), what.startsWith(u"link"));
            if (written)
                QCOMPARE(bytesOf(path), "new");
            else
                QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
            QVERIFY(!QFileInfo(aside).isSymLink()); // what a link leads to is kept
            QCOMPARE(bytesOf(aside), status == Read ? "text" : "<none>");
        }
    }

#ifdef Q_OS_UNIX // a write cut short by a file size limit
    void aWriteCutShortKeepsTheOldFile()
    {
        // Writes past 4 KiB stop part way with an error, as on a full disk.
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_IGN); // so that the writer sees the error
        const rlimit limit{4096, unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &unlimited); });
        // Qt's QSaveFile keeps up to 16 KiB to itself until commit(), where
        // a failure to write it went unseen.
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note01.qkn"_s);
        put(path, "old");
        QString error;
        QVERIFY(!diskfile::replace(path, QByteArray(6000, 'n'), &error));
        QVERIFY2(error.contains(u"larger than the system allows"_s), qPrintable(error));
        QCOMPARE(bytesOf(path), "old");
        // Nothing half-written is left about.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"note01.qkn"_s});
    }
#endif

    void familyFollowsMajorPlusMinorHundredths()
    {
        // Low byte major, next byte minor; the high word is build and flags.
        QCOMPARE(familyForVersionWord(0x0A280005), kFamilyNew); // 5.00, with build bits
        QCOMPARE(familyForVersionWord(0xC0005A04), kFamilyOld); // 4.90, with the 9x bit
    }

    void onlyAFolderThatRefusesWritesSendsFilesToTheUserFolder()
    {
        using enum diskfile::FolderAccess;
        QTemporaryDir probed;
        QString why;
        QCOMPARE(diskfile::folderAccess(probed.path(), &why), Writable);
        put(probed.filePath(u"plain"_s), "x");
        // Not even root can create a file below a plain file.
        QCOMPARE(diskfile::folderAccess(probed.filePath(u"plain"_s), &why), Refused);
        QVERIFY(!why.isEmpty());
        QCOMPARE(
            QDir(probed.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{u"plain"_s}); // the probe leaves nothing behind

        // The program folder's access, and a word of the notice, if any.
        const std::tuple<const char *, diskfile::FolderAccess, QString> rows[] = {
            {"writable", Writable, {}},
            {"full, which a move would not mend: said so", Full, u"no room"_s},
            {"refused: the notes come along, and the user is told where", Refused, u"kept in"_s},
        };
        for (const auto &[name, program, told] : rows) {
            const auto row = nameOnFailure(name);
            const bool moved = program == Refused;
            QTemporaryDir dir;
            const QString from = dir.filePath(u"program"_s);
            const QString to = dir.filePath(u"user/share/marglet"_s);
            QVERIFY(QDir().mkpath(from));
            put(from + u"/note02.qkn"_s, "kept");
            const QStringList carried{u"settings.dat"_s, u"note02.qkn"_s};
            const auto probe = [&, program](const QString &folder, QString *reason) {
                *reason = u"the reason."_s;
                return folder == from ? program : Writable;
            };
            const Folders f = chooseFolders(from, to, carried, probe);
            QCOMPARE(f.data, moved ? to : from);
            QCOMPARE(f.skinBases, moved ? (QStringList{from, to}) : QStringList{from});
            QCOMPARE(f.notices.size(), told.isEmpty() ? 0 : 1);
            QVERIFY2(f.notices.value(0).contains(told), qPrintable(f.notices.value(0)));
            QCOMPARE(bytesOf(to + u"/note02.qkn"_s), moved ? "kept" : "<none>");
            if (moved) {
                QVERIFY(f.notices.first().contains(QDir::toNativeSeparators(to)));
                // Only the first time: later starts find the notes there.
                QVERIFY(chooseFolders(from, to, carried, probe).notices.isEmpty());
            }
        }
#ifndef Q_OS_WIN
        // A system-wide install keeps each user's notes with the user, quietly.
        QTemporaryDir home;
        const auto writable = [](const QString &, QString *) { return Writable; }; // as for root
        const Folders f = chooseFolders(u"/usr/lib/marglet"_s, home.path(), {}, writable);
        QCOMPARE(f.data, home.path());
        QVERIFY(f.notices.isEmpty());
        QVERIFY(!systemWide(u"/home/ann/.local/lib/marglet"_s));
#endif
    }

    // What a second start hands over is outside input: only a request in
    // its own form, with a launch id of printable ASCII, brings the bar.
    void onlyAWellFormedRequestBringsTheBar()
    {
        const QByteArray longest(handover::kMaxLaunchId - 6, 'x');
        // The message, the launch id read from it (null: dropped) and the
        // launch's time (-1 for none).
        const std::tuple<const char *, QByteArray, QByteArray, qint64> rows[] = {
            {"no launch id", "marglet:bring", "", -1},
            {"a launcher's id", "marglet:bring xfce4-panel-7-host-marglet_TIME81234",
             "xfce4-panel-7-host-marglet_TIME81234", 81234},
            {"a token, spaces and quotes", "marglet:bring a \"b\" c", "a \"b\" c", -1},
            {"no time past 32 bits", "marglet:bring a_TIME4294967296", "a_TIME4294967296", -1},
            {"no time of zero", "marglet:bring a_TIME0", "a_TIME0", -1},
            {"the longest id", "marglet:bring " + longest + "_TIME9", longest + "_TIME9", 9},
            {"an id too long", "marglet:bring x" + longest + "_TIME9", {}, -1},
            {"a control character", "marglet:bring a\nb", {}, -1},
            {"a byte past ASCII", "marglet:bring caf\xc3\xa9", {}, -1},
            {"an empty id", "marglet:bring ", {}, -1},
            {"no space", "marglet:bringx", {}, -1},
            {"another message", "hello", {}, -1},
        };
        for (const auto &[name, message, id, time] : rows) {
            const auto row = nameOnFailure(name);
            const std::optional<QByteArray> read = handover::decode(message);
            QCOMPARE(read.value_or(QByteArray()), id);
            QCOMPARE(read.has_value(), !id.isNull());
            if (read) {
                const std::optional<quint32> launched = handover::launchTime(id);
                QCOMPARE(launched ? qint64(*launched) : -1, time);
                QCOMPARE(handover::encode(id), message); // what a second start sends
            }
        }
    }

    // A second start reaches only a bar that listens on these notes, is
    // never held up or misled by what else is at the bar's address, and a
    // bar answers only its own user.
    void aSecondStartReachesOnlyTheBarThatListens()
    {
        const QByteArray request = handover::encode("host_TIME5");
        // What is at the bar's address, what is sent, what sending gives,
        // and whether the bar is brought.
        const std::tuple<const char *, QString, QByteArray, Sent, bool> rows[] = {
            {"a bar", u"bar"_s, request, Sent::HandedOver, true},
            {"nothing", {}, request, Sent::NobodyListens, false},
            {"a bar that has ended", u"ended"_s, request, Sent::NobodyListens, false},
            {"a request too long", u"bar"_s, request + QByteArray(handover::kMaxMessage, 'x'),
             Sent::HandedOver, false},
#ifndef Q_OS_WIN
            {"a file", u"file"_s, request, Sent::Refused, false},
            {"another user's socket", u"foreign"_s, request, Sent::Refused, false},
            {"another user asks", u"bar, other user"_s, request, Sent::HandedOver, false},
#endif
        };
        for (const auto &[name, there, message, sent, brought] : rows) {
            const auto row = nameOnFailure(name);
            QTemporaryDir dir;
            QString why;
#ifdef Q_OS_WIN
            const QString endpoint = u"\\\\.\\pipe\\marglet-"_s + QUuid::createUuid().toString();
            if (there == u"ended")
                QVERIFY(HandOverListener(endpoint).listen(&why)); // gone with it
#else
            const QString endpoint = dir.filePath(u"bar.bring"_s);
            const QByteArray path = QFile::encodeName(endpoint);
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
            const auto to = reinterpret_cast<const sockaddr *>(&address);
            if (there == u"ended" || there == u"foreign") { // a socket nobody reads: a killed bar's
                const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
                QVERIFY(::bind(fd, to, sizeof address) == 0);
                ::close(fd);
            }
            if (there == u"foreign" && ::lchown(path.constData(), 65534, 65534) != 0)
                continue; // this process may not give a file to another user
            if (there == u"file")
                put(endpoint, "kept");
#endif
            HandOverListener bar(endpoint);
            QSignalSpy asked(&bar, &HandOverListener::requested);
            if (there.startsWith(u"bar"))
                QVERIFY2(bar.listen(&why), qPrintable(why));
            // From another thread, as from another process: the bar answers on
            // its own event loop.
            auto result = std::async(std::launch::async, [&] {
#ifndef Q_OS_WIN
                if (there == u"bar, other user") { // let in, and not asking the polite way
                    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
                    ::chmod(path.constData(), 0777);
                    const pid_t child = ::fork();
                    if (child == 0)
                        ::_exit(::setuid(65534) == 0 &&
                                        ::sendto(::socket(AF_UNIX, SOCK_DGRAM, 0), message.data(),
                                                 size_t(message.size()), 0, to,
                                                 sizeof address) == message.size()
                                    ? 0
                                    : 1);
                    int status = -1;
                    ::waitpid(child, &status, 0);
                    return status == 0 ? Sent::HandedOver : Sent::Refused;
                }
#endif
                return handover::send(endpoint, message, &why);
            });
            QTRY_VERIFY(result.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
            QCOMPARE(result.get(), sent);
            QCOMPARE(why.isEmpty(), sent != Sent::Refused);
            if (there == u"ended") // the next bar takes the address over
                QVERIFY2(bar.listen(&why), qPrintable(why));
            else if (!there.startsWith(u"bar")) { // what is in the way stays there
                QCOMPARE(bar.listen(&why), there.isEmpty());
                QVERIFY(there.isEmpty() || why.contains(endpoint));
                continue;
            }
            // The bar answers the next start, after whatever it dropped.
            auto next = std::async(std::launch::async, [&] {
                return handover::send(endpoint, "marglet:bring"_ba, &why);
            });
            QTRY_COMPARE(asked.size(), brought ? 2 : 1);
            QCOMPARE(next.get(), Sent::HandedOver);
            QCOMPARE(asked.first().first().toByteArray(), brought ? "host_TIME5"_ba : ""_ba);
        }
    }

    // A Wayland window can neither keep its place nor stay on top, so X11
    // wins wherever a display is there, said once; without one, the user is
    // told. What the session picks for other reasons (tests run offscreen)
    // stays.
    void x11IsTakenWhereverThereIsADisplay()
    {
        // What was asked for, whether there is a display, what is taken,
        // and whether that is noted or the user warned.
        const std::tuple<const char *, QByteArray, bool, QByteArray, bool, bool> rows[] = {
            {"nothing asked", "", true, "xcb;wayland", false, false},
            {"nothing asked, no display", "", false, "wayland", false, true},
            {"wayland", "wayland", true, "xcb;wayland", true, false},
            {"wayland first in a list", "wayland;xcb", true, "xcb;wayland", true, false},
            {"wayland-egl", "wayland-egl", true, "xcb;wayland-egl", true, false},
            {"wayland, no display", "wayland", false, "", false, true},
            {"xcb first", "xcb;wayland", true, "", false, false},
            {"offscreen", "offscreen", true, "", false, false},
            {"minimal, no display", "minimal", false, "", false, false},
        };
        for (const auto &[name, requested, display, platform, noted, warned] : rows) {
            const auto row = nameOnFailure(name);
            const PlatformChoice choice = choosePlatform(requested, display);
            QCOMPARE(choice.platform, platform);
            QCOMPARE(choice.note.contains(u"QT_QPA_PLATFORM="_s + QString::fromLatin1(requested)),
                     noted);
            QVERIFY(!choice.note.contains(u'\n'));
            QCOMPARE(choice.warning.contains(u"Wayland"_s), warned);
        }
    }

    // The system's lock on a file (flock, or LockFileEx on Windows) must keep
    // a second bar away and never keep the only one away, whatever a bar
    // that was killed left behind; running without one at all is said.
    void aSecondBarIsKeptAwayAndTheOnlyOneNever()
    {
        // What is there when the bar starts, and what the bar's lock gives.
        // A bar in a folder out of room can lock only the folder; one on a
        // file system that cannot lock folders, only the file. A reader that
        // only opens it (a backup tool) keeps nobody away.
        const std::tuple<const char *, QString, Result> rows[] = {
            {"the file of a bar that was killed", u"left"_s, Result::Acquired},
            {"a bar that runs", u"bar"_s, Result::HeldElsewhere},
            {"no folder for it", u"no folder"_s, Result::Failed},
            {"another's lock on the file only", u"file"_s, Result::HeldElsewhere},
            {"a reader holds it open", u"reader"_s, Result::Acquired},
#ifndef Q_OS_WIN
            {"another's lock on the folder only", u"folder"_s, Result::HeldElsewhere},
#endif
        };
        for (const auto &[name, before, result] : rows) {
            const auto row = nameOnFailure(name);
            QTemporaryDir dir;
            const QString path = dir.filePath(before == u"no folder" ? u"missing/.marglet.lock"_s
                                                                     : u".marglet.lock"_s);
            std::optional<RunningLock> other;
            if (before == u"left")
                put(path, "2147483646\nmarglet\n");
            else if (before == u"bar")
                QCOMPARE(other.emplace(path).tryLock(), Result::Acquired);
            const bool opened = before == u"file" || before == u"reader";
#ifdef Q_OS_WIN
            const HANDLE fd =
                opened ? ::CreateFileW(
                             reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                             GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             0, nullptr)
                       : INVALID_HANDLE_VALUE;
            auto unlock = qScopeGuard([fd] { ::CloseHandle(fd); });
            OVERLAPPED start = {};
            QVERIFY(before != u"file" ||
                    ::LockFileEx(fd, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                 &start));
#else
            QFile file(path); // open, and so locked, until the end
            if (before == u"folder")
                QVERIFY(file.open(::open(QFile::encodeName(dir.path()).constData(), O_RDONLY),
                                  QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
            else if (opened)
                QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(!file.isOpen() || before == u"reader" ||
                    ::flock(file.handle(), LOCK_EX | LOCK_NB) == 0);
#endif
            RunningLock lock(path);
            QCOMPARE(lock.tryLock(), result);
            // Running without a lock would let a second bar write over the notes.
            QCOMPARE(lock.error().contains(u".marglet.lock"_s), result == Result::Failed);
        }
    }

    // Start at login is read where the next login looks, and changed there.
    void startAtLoginIsKeptWhereTheSystemLooks()
    {
#ifdef Q_OS_WIN
        const QString value = u"\"%1\\Marglet\\marglet.exe\""_s;
#else
        const QString exec = u"%1/usr/bin/marglet"_s;
        const QString usr = u"usr"_s;
#endif
        const QString none;
        // What the system has, where the program is installed, what the
        // system will do, a word of why it cannot be changed, and what is
        // stored once turned on (%1 the test's folder).
        const std::tuple<const char *, QString, QString, bool, QString, QString> rows[] = {
#ifdef Q_OS_WIN
            {"nothing", none, none, false, none, value},
            {"the installer's value", u"installer"_s, none, true, none, value},
            {"another program's value", u"other"_s, none, false, none, value},
            {"opened from a zip, so run from the temporary folder", u"temporary"_s, none, false,
             u"temporary"_s, none},
#else
            {"nothing", none, usr, false, none, exec},
            {"a system entry", u"system"_s, usr, true, none, exec},
            {"a system entry the user's hides", u"system, hidden"_s, usr, false, none, exec},
            {"another program's", u"other"_s, usr, false, none, exec},
            {"turned off by GNOME", u"gnome off"_s, usr, false, none, exec},
            {"a link to another program's menu entry, never written through", u"link"_s, usr, false,
             none, exec},
            {"a prefix that must be quoted", none, u"my $notes"_s, false, none,
             u"\"%1/my \\\\$notes/bin/marglet\""_s},
            {"a build, not installed", none, u"build"_s, false, u"installed"_s, none},
            {"a file where the configuration folder belongs", u"config file"_s, usr, false,
             u"write in"_s, none},
#endif
        };
        for (const auto &[name, before, prefix, on, blocked, stored] : rows) {
            const auto row = nameOnFailure(name);
            QTemporaryDir dir;
            autostart::Place place = testPlace(dir.path(), prefix);
#ifdef Q_OS_WIN
            if (before == u"temporary")
                place.temporary = dir.path();
            else if (!before.isEmpty())
                QSettings(place.entries, QSettings::NativeFormat)
                    .setValue(u"Marglet"_s, before == u"other"
                                                ? u"C:\\Other\\marglet.exe"_s
                                                : autostart::runValue(place.program));
            const auto kept = [&] {
                return QSettings(place.entries, QSettings::NativeFormat)
                    .value(u"Marglet"_s)
                    .toString();
            };
            const QString folder = QDir::toNativeSeparators(dir.path());
#else
            if (prefix == u"build")
                QVERIFY(QFile::remove(dir.filePath(u"build/bin/marglet"_s)));
            const QString user = place.entries + u"/marglet.desktop"_s;
            const QString menu = dir.filePath(u"menu.desktop"_s);
            const bool other = before == u"other" || before == u"link";
            const QByteArray entry =
                "[Desktop Entry]\nType=Application\nName=M\nExec=" +
                QFile::encodeName(other ? u"/opt/other/marglet"_s
                                        : dir.filePath(prefix + u"/bin/marglet"_s)) +
                " --hold\n";
            // What the user's own entry adds, in the rows that have one.
            const QHash<QString, QByteArray> users{
                {u"other"_s, ""},
                {u"system, hidden"_s, "Hidden=true\n"},
                {u"gnome off"_s, "X-GNOME-Autostart-enabled=false\n"}};
            if (before == u"config file")
                put(dir.filePath(u"config"_s), "");
            QDir().mkpath(place.entries);
            QDir().mkpath(place.systemEntries[0]);
            if (before.startsWith(u"system"))
                put(place.systemEntries[0] + u"/marglet.desktop"_s, entry);
            if (users.contains(before))
                put(user, entry + users[before]);
            if (before == u"link")
                QVERIFY((put(menu, entry), QFile::link(menu, user)));
            const auto kept = [&] { return QString::fromUtf8(bytesOf(user)); };
            const QString folder = dir.path();
#endif
            const QString was = kept();
            const autostart::State state = autostart::read(place);
            QCOMPARE(state.on, on);
            QVERIFY2(state.blocked.contains(blocked) &&
                         state.blocked.isEmpty() == blocked.isEmpty(),
                     qPrintable(state.blocked));
            QString error;
            if (!blocked.isEmpty()) {
                QVERIFY(!autostart::write(place, !on, &error));
                QVERIFY2(error.contains(blocked), qPrintable(error));
                QCOMPARE(kept(), was);
                continue;
            }
            for (const bool wanted : {!on, on, true}) {
                QVERIFY2(autostart::write(place, wanted, &error), qPrintable(error));
                QCOMPARE(autostart::read(place).on, wanted);
            }
#ifdef Q_OS_WIN
            QCOMPARE(kept(), stored.arg(folder));
            QVERIFY(autostart::write(place, false, &error));
            QCOMPARE(kept(), QString());
#else
            QVERIFY2(kept().contains(u"\nExec="_s + stored.arg(folder) + u'\n'),
                     qPrintable(kept()));
            QVERIFY(autostart::write(place, false, &error));
            // Off, the user's entry is gone, or stays to hide a system entry
            // that would start the bar.
            QCOMPARE(kept().contains(u"\nHidden=true\n"_s), before.startsWith(u"system"));
            QCOMPARE(QFileInfo::exists(user), before.startsWith(u"system"));
            QCOMPARE(bytesOf(menu), before == u"link" ? entry : "<none>"_ba);
#endif
        }
    }

    void aRunValueNamesTheProgramWhateverItsCaseAndQuotes()
    {
        const std::tuple<const char *, QString, bool> rows[] = {
            {"as the installer writes it", u"\"C:\\Apps\\Marglet\\marglet.exe\""_s, true},
            {"in other letters' case, unquoted", u"c:\\apps\\MARGLET\\Marglet.exe"_s, true},
            {"quoted, with arguments", u"\"C:\\Apps\\Marglet\\marglet.exe\" /x"_s, true},
            {"another folder's", u"\"C:\\Other\\marglet.exe\""_s, false},
            {"empty", {}, false},
        };
        for (const auto &[name, value, names] : rows) {
            const auto row = nameOnFailure(name);
            QCOMPARE(autostart::runValueNames(value, u"C:/Apps/Marglet/marglet.exe"_s), names);
        }
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
