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
    void onlyARegularFileIsReadOrWrittenAndNothingWaits_data()
    {
        using enum ReadStatus;
        QTest::addColumn<QString>("what");
        QTest::addColumn<ReadStatus>("status");
        QTest::addColumn<QString>("said"); // a word of the read error, if any
        QTest::addColumn<Kind>("after");   // what the path is after a write
        QTest::newRow("a file") << u"file"_s << Read << QString() << Kind::Regular;
        QTest::newRow("nothing") << u"nothing"_s << Missing << QString() << Kind::Regular;
        QTest::newRow("a folder") << u"folder"_s << Failed << u"a folder"_s << Kind::Folder;
        QTest::newRow("over the limit") << u"huge file"_s << Failed << u"larger"_s << Kind::Regular;
#ifdef Q_OS_UNIX // links, pipes, sockets and devices as the system makes them
        QTest::newRow("a link to a file") << u"link to a file"_s << Read << u""_s << Kind::Regular;
        QTest::newRow("a link that leads nowhere")
            << u"link that leads nowhere"_s << Missing << u""_s << Kind::Regular;
        QTest::newRow("a named pipe") << u"named pipe"_s << Failed << u"pipe"_s << Kind::Pipe;
        QTest::newRow("a link to a pipe")
            << u"link to a named pipe"_s << Failed << u"pipe"_s << Kind::Pipe;
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
        const QString aside = dir.filePath(u"aside"_s);
        if (status == ReadStatus::Read) { // kept aside, it stays where it was too
            QVERIFY(diskfile::keepAside(path, aside));
            QCOMPARE(diskfile::readFile(path, 100, bytes), ReadStatus::Read);
        }

        error.clear();
        const bool written = diskfile::replace(path, "new", &error);
        QCOMPARE(written, after == Kind::Regular);
        QCOMPARE(diskfile::kindOf(path), after);
        QCOMPARE(QFileInfo(path).isSymLink(), what.startsWith(u"link"));
        if (written)
            QCOMPARE((diskfile::readFile(path, 100, bytes), bytes), "new");
        else
            QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
        QVERIFY(!QFileInfo(aside).isSymLink()); // what a link leads to is kept
        QCOMPARE(diskfile::readFile(aside, 100, bytes) == ReadStatus::Read ? bytes : "",
                 status == ReadStatus::Read ? "text" : "");
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
        diskfile::readFile(path, 100, bytes);
        QCOMPARE(bytes, "old");
        // Nothing half-written is left about.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"note01.qkn"_s});
    }
#endif

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
    void familyFollowsMajorPlusMinorHundredths()
    {
        // Low byte major, next byte minor; the high word is build and flags.
        QCOMPARE(familyForVersionWord(0x0A280005), kFamilyNew); // 5.00, with build bits
        QCOMPARE(familyForVersionWord(0xC0005A04), kFamilyOld); // 4.90, with the 9x bit
    }

    void onlyAFolderThatRefusesWritesSendsFilesToTheUserFolder_data()
    {
        QTest::addColumn<diskfile::FolderAccess>("program");
        QTest::addColumn<QString>("told"); // a word of the notice, if any
        QTest::newRow("writable") << diskfile::FolderAccess::Writable << QString();
        QTest::newRow("full, which a move would not mend: said so")
            << diskfile::FolderAccess::Full << u"no room"_s;
        QTest::newRow("refused: the notes come along, and the user is told where")
            << diskfile::FolderAccess::Refused << u"kept in"_s;
    }
    void onlyAFolderThatRefusesWritesSendsFilesToTheUserFolder()
    {
        QFETCH(diskfile::FolderAccess, program);
        QFETCH(QString, told);
        const bool moved = program == diskfile::FolderAccess::Refused;
        QTemporaryDir dir;
        const QString from = dir.filePath(u"program"_s);
        const QString to = dir.filePath(u"user/share/marglet"_s);
        QVERIFY(QDir().mkpath(from));
        put(from + u"/note02.qkn"_s, "kept");
        const QStringList carried{u"settings.dat"_s, u"note02.qkn"_s};
        const auto probe = [&](const QString &folder, QString *why) {
            *why = u"the reason."_s;
            return folder == from ? program : diskfile::FolderAccess::Writable;
        };
        const Folders f = chooseFolders(from, to, carried, probe);
        QCOMPARE(f.data, moved ? to : from);
        QCOMPARE(f.skinBases, moved ? (QStringList{from, to}) : QStringList{from});
        QCOMPARE(f.notices.size(), told.isEmpty() ? 0 : 1);
        QVERIFY2(f.notices.value(0).contains(told), qPrintable(f.notices.value(0)));
        QByteArray copied;
        diskfile::readFile(to + u"/note02.qkn"_s, 100, copied);
        QCOMPARE(copied, moved ? "kept"_ba : QByteArray());
        if (moved) {
            QVERIFY(f.notices.first().contains(QDir::toNativeSeparators(to)));
            // Only the first time: later starts find the notes there.
            QVERIFY(chooseFolders(from, to, carried, probe).notices.isEmpty());
        }
    }

    // What a second start hands over is outside input: only a request in
    // its own form, with a launch id of printable ASCII, brings the bar.
    void onlyAWellFormedRequestBringsTheBar_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("id"); // null: dropped
        QTest::addColumn<qint64>("time");   // the launch's time; -1 for none
        const QByteArray longest(handover::kMaxLaunchId - 6, 'x');
        const auto row = [](const char *name, const QByteArray &message, const QByteArray &id,
                            qint64 time) { QTest::newRow(name) << message << id << time; };
        row("no launch id", "marglet:bring", "", -1);
        row("a launcher's id", "marglet:bring xfce4-panel-7-host-marglet_TIME81234",
            "xfce4-panel-7-host-marglet_TIME81234", 81234);
        row("a token, spaces and quotes", "marglet:bring a \"b\" c", "a \"b\" c", -1);
        row("no time past 32 bits", "marglet:bring a_TIME4294967296", "a_TIME4294967296", -1);
        row("no time of zero", "marglet:bring a_TIME0", "a_TIME0", -1);
        row("the longest id", "marglet:bring " + longest + "_TIME9", longest + "_TIME9", 9);
        row("an id too long", "marglet:bring x" + longest + "_TIME9", {}, -1);
        row("a control character", "marglet:bring a\nb", {}, -1);
        row("a byte past ASCII", "marglet:bring caf\xc3\xa9", {}, -1);
        row("an empty id", "marglet:bring ", {}, -1);
        row("no space", "marglet:bringx", {}, -1);
        row("another message", "hello", {}, -1);
    }
    void onlyAWellFormedRequestBringsTheBar()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, id);
        QFETCH(qint64, time);
        const std::optional<QByteArray> read = handover::decode(message);
        QCOMPARE(read.value_or(QByteArray()), id);
        QCOMPARE(read.has_value(), !id.isNull());
        if (read) {
            const std::optional<quint32> launched = handover::launchTime(id);
            QCOMPARE(launched ? qint64(*launched) : -1, time);
            QCOMPARE(handover::encode(id), message); // what a second start sends
        }
    }

    // A second start reaches only a bar that listens on these notes, is
    // never held up or misled by what else is at the bar's address, and a
    // bar answers only its own user.
    void aSecondStartReachesOnlyTheBarThatListens_data()
    {
        QTest::addColumn<QString>("there"); // at the bar's address
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<Sent>("sent");
        QTest::addColumn<bool>("brought");
        const QByteArray request = handover::encode("host_TIME5");
        QTest::newRow("a bar") << u"bar"_s << request << Sent::HandedOver << true;
        QTest::newRow("nothing") << QString() << request << Sent::NobodyListens << false;
        QTest::newRow("a bar that has ended")
            << u"ended"_s << request << Sent::NobodyListens << false;
        QTest::newRow("a request too long")
            << u"bar"_s << request + QByteArray(handover::kMaxMessage, 'x') << Sent::HandedOver
            << false;
#ifndef Q_OS_WIN
        QTest::newRow("a file") << u"file"_s << request << Sent::Refused << false;
        QTest::newRow("another user's socket") << u"foreign"_s << request << Sent::Refused << false;
        QTest::newRow("another user asks")
            << u"bar, other user"_s << request << Sent::HandedOver << false;
#endif
    }
    void aSecondStartReachesOnlyTheBarThatListens()
    {
        QFETCH(QString, there);
        QFETCH(QByteArray, message);
        QFETCH(Sent, sent);
        QFETCH(bool, brought);
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
            QSKIP("this process may not give a file to another user");
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
            return;
        }
        // The bar answers the next start, after whatever it dropped.
        auto next = std::async(std::launch::async,
                               [&] { return handover::send(endpoint, "marglet:bring"_ba, &why); });
        QTRY_COMPARE(asked.size(), brought ? 2 : 1);
        QCOMPARE(next.get(), Sent::HandedOver);
        QCOMPARE(asked.first().first().toByteArray(), brought ? "host_TIME5"_ba : ""_ba);
    }

#ifndef Q_OS_WIN
    void aSystemWideInstallKeepsEachUsersNotesWithTheUserQuietly()
    {
        QTemporaryDir dir;
        const auto writable = [](const QString &, QString *) {
            return diskfile::FolderAccess::Writable; // as for root
        };
        const Folders f = chooseFolders(u"/usr/lib/marglet"_s, dir.path(), {}, writable);
        QCOMPARE(f.data, dir.path());
        QVERIFY(f.notices.isEmpty());
        QVERIFY(!systemWide(u"/home/ann/.local/lib/marglet"_s));
    }
#endif

    // A Wayland window can neither keep its place nor stay on top, so X11
    // wins wherever a display is there, said once; without one, the user is
    // told. What the session picks for other reasons (tests run offscreen)
    // stays.
    void x11IsTakenWhereverThereIsADisplay_data()
    {
        QTest::addColumn<QByteArray>("requested");
        QTest::addColumn<bool>("display");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("noted");
        QTest::addColumn<bool>("warned");
        const auto row = [](const char *name, const QByteArray &requested, bool display,
                            const QByteArray &platform, bool noted, bool warned) {
            QTest::newRow(name) << requested << display << platform << noted << warned;
        };
        row("nothing asked", "", true, "xcb;wayland", false, false);
        row("nothing asked, no display", "", false, "wayland", false, true);
        row("wayland", "wayland", true, "xcb;wayland", true, false);
        row("wayland first in a list", "wayland;xcb", true, "xcb;wayland", true, false);
        row("wayland-egl", "wayland-egl", true, "xcb;wayland-egl", true, false);
        row("wayland, no display", "wayland", false, "", false, true);
        row("xcb first", "xcb;wayland", true, "", false, false);
        row("offscreen", "offscreen", true, "", false, false);
        row("minimal, no display", "minimal", false, "", false, false);
    }
    void x11IsTakenWhereverThereIsADisplay()
    {
        QFETCH(QByteArray, requested);
        QFETCH(bool, display);
        QFETCH(QByteArray, platform);
        QFETCH(bool, noted);
        QFETCH(bool, warned);
        const PlatformChoice choice = choosePlatform(requested, display);
        QCOMPARE(choice.platform, platform);
        QCOMPARE(choice.note.contains(u"QT_QPA_PLATFORM="_s + QString::fromLatin1(requested)),
                 noted);
        QVERIFY(!choice.note.contains(u'\n'));
        QCOMPARE(choice.warning.contains(u"Wayland"_s), warned);
    }

    // The system's lock on a file (flock, or LockFileEx on Windows) must keep
    // a second bar away and never keep the only one away, whatever a bar
    // that was killed left behind; running without one at all is said.
    void aSecondBarIsKeptAwayAndTheOnlyOneNever_data()
    {
        QTest::addColumn<QString>("before"); // what is there when the bar starts
        QTest::addColumn<Result>("result");
        QTest::newRow("the file of a bar that was killed") << u"left"_s << Result::Acquired;
        QTest::newRow("a bar that runs") << u"bar"_s << Result::HeldElsewhere;
        QTest::newRow("no folder for it") << u"no folder"_s << Result::Failed;
        // A bar in a folder out of room can lock only the folder; one on a
        // file system that cannot lock folders, only the file. A reader that
        // only opens it (a backup tool) keeps nobody away.
        QTest::newRow("another's lock on the file only") << u"file"_s << Result::HeldElsewhere;
        QTest::newRow("a reader holds it open") << u"reader"_s << Result::Acquired;
#ifndef Q_OS_WIN
        QTest::newRow("another's lock on the folder only") << u"folder"_s << Result::HeldElsewhere;
#endif
    }
    void aSecondBarIsKeptAwayAndTheOnlyOneNever()
    {
        QFETCH(QString, before);
        QFETCH(Result, result);
        QTemporaryDir dir;
        const QString path =
            dir.filePath(before == u"no folder" ? u"missing/.marglet.lock"_s : u".marglet.lock"_s);
        std::optional<RunningLock> other;
        if (before == u"left")
            put(path, "2147483646\nmarglet\n");
        else if (before == u"bar")
            QCOMPARE(other.emplace(path).tryLock(), Result::Acquired);
        const bool opened = before == u"file" || before == u"reader";
#ifdef Q_OS_WIN
        const HANDLE fd =
            opened
                ? ::CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                                GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr)
                : INVALID_HANDLE_VALUE;
        auto unlock = qScopeGuard([fd] { ::CloseHandle(fd); });
        OVERLAPPED start = {};
        QVERIFY(
            before != u"file" ||
            ::LockFileEx(fd, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start));
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

    // Start at login is read where the next login looks, and changed there.
    void startAtLoginIsKeptWhereTheSystemLooks_data()
    {
        QTest::addColumn<QString>("before");  // what the system has
        QTest::addColumn<QString>("prefix");  // where the program is installed
        QTest::addColumn<bool>("on");         // what the system will do
        QTest::addColumn<QString>("blocked"); // a word of why it cannot be changed
        QTest::addColumn<QString>("stored");  // once turned on; %1 the test's folder
        const auto row = [](const char *name, const QString &before, const QString &prefix, bool on,
                            const QString &blocked, const QString &stored) {
            QTest::newRow(name) << before << prefix << on << blocked << stored;
        };
#ifdef Q_OS_WIN
        const QString value = u"\"%1\\Marglet\\marglet.exe\""_s;
        row("nothing", {}, {}, false, {}, value);
        row("the installer's value", u"installer"_s, {}, true, {}, value);
        row("another program's value", u"other"_s, {}, false, {}, value);
        row("opened from a zip, so run from the temporary folder", u"temporary"_s, {}, false,
            u"temporary"_s, {});
#else
        const QString exec = u"%1/usr/bin/marglet"_s;
        const QString usr = u"usr"_s;
        row("nothing", {}, usr, false, {}, exec);
        row("a system entry", u"system"_s, usr, true, {}, exec);
        row("a system entry the user's hides", u"system, hidden"_s, usr, false, {}, exec);
        row("another program's", u"other"_s, usr, false, {}, exec);
        row("turned off by GNOME", u"gnome off"_s, usr, false, {}, exec);
        row("a link to another program's menu entry, never written through", u"link"_s, usr, false,
            {}, exec);
        row("a prefix that must be quoted", {}, u"my $notes"_s, false, {},
            u"\"%1/my \\\\$notes/bin/marglet\""_s);
        row("a build, not installed", {}, u"build"_s, false, u"installed"_s, {});
        row("a file where the configuration folder belongs", u"config file"_s, usr, false,
            u"write in"_s, {});
#endif
    }
    void startAtLoginIsKeptWhereTheSystemLooks()
    {
        QFETCH(QString, before);
        QFETCH(QString, prefix);
        QFETCH(bool, on);
        QFETCH(QString, blocked);
        QFETCH(QString, stored);
        QTemporaryDir dir;
        autostart::Place place = testPlace(dir.path(), prefix);
#ifdef Q_OS_WIN
        if (before == u"temporary")
            place.temporary = dir.path();
        else if (!before.isEmpty())
            QSettings(place.entries, QSettings::NativeFormat)
                .setValue(u"Marglet"_s, before == u"other" ? u"C:\\Other\\marglet.exe"_s
                                                           : autostart::runValue(place.program));
        const auto kept = [&] {
            return QSettings(place.entries, QSettings::NativeFormat).value(u"Marglet"_s).toString();
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
        const auto kept = [&] {
            QByteArray bytes;
            diskfile::readFile(user, 4096, bytes);
            return QString::fromUtf8(bytes);
        };
        const QString folder = dir.path();
#endif
        const QString was = kept();
        const autostart::State state = autostart::read(place);
        QCOMPARE(state.on, on);
        QVERIFY2(state.blocked.contains(blocked) && state.blocked.isEmpty() == blocked.isEmpty(),
                 qPrintable(state.blocked));
        QString error;
        if (!blocked.isEmpty()) {
            QVERIFY(!autostart::write(place, !on, &error));
            QVERIFY2(error.contains(blocked), qPrintable(error));
            QCOMPARE(kept(), was);
            return;
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
        QVERIFY2(kept().contains(u"\nExec="_s + stored.arg(folder) + u'\n'), qPrintable(kept()));
        QVERIFY(autostart::write(place, false, &error));
        // Off, the user's entry is gone, or stays to hide a system entry
        // that would start the bar.
        QCOMPARE(kept().contains(u"\nHidden=true\n"_s), before.startsWith(u"system"));
        QCOMPARE(QFileInfo::exists(user), before.startsWith(u"system"));
        QByteArray bytes;
        QVERIFY(diskfile::readFile(menu, 4096, bytes) == ReadStatus::Missing || bytes == entry);
#endif
    }

    void aRunValueNamesTheProgramWhateverItsCaseAndQuotes_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("names");
        QTest::newRow("as the installer writes it")
            << u"\"C:\\Apps\\Marglet\\marglet.exe\""_s << true;
        QTest::newRow("in other letters' case, unquoted")
            << u"c:\\apps\\MARGLET\\Marglet.exe"_s << true;
        QTest::newRow("quoted, with arguments")
            << u"\"C:\\Apps\\Marglet\\marglet.exe\" /x"_s << true;
        QTest::newRow("another folder's") << u"\"C:\\Other\\marglet.exe\""_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void aRunValueNamesTheProgramWhateverItsCaseAndQuotes()
    {
        QFETCH(QString, value);
        QFETCH(bool, names);
        QCOMPARE(autostart::runValueNames(value, u"C:/Apps/Marglet/marglet.exe"_s), names);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
