// What tests of files put on disk: bytes, the things other than a file that
// can sit where a note belongs, and a file put in another's place.
#pragma once

#include "core/autostart.h"
#include "core/diskfile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#include <sys/stat.h>
#endif

inline void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// What the file at `path` holds; "<none>" where it could not be read.
inline QByteArray bytesOf(const QString &path)
{
    QByteArray bytes("<none>");
    diskfile::readFile(path, 1 << 30, bytes);
    return bytes;
}

// For a test that walks a table of rows: once a check has failed, says in
// which row, as Qt Test does for the rows of a _data function.
[[nodiscard]] inline auto nameOnFailure(QAnyStringView name)
{
    return qScopeGuard([row = name.toString()] {
        if (QTest::currentTestFailed())
            qWarning("in the row \"%s\"", qPrintable(row));
    });
}

// Makes `what` at `path`: a "file" holding "text", a "folder", a "named
// pipe", a "link to a file", a "link to a named pipe", a "link that leads
// nowhere", or a "huge file" of 1025 bytes. False where the system has none.
inline bool make(const QString &what, const QString &path)
{
    using namespace Qt::StringLiterals;
    if (what == u"file" || what == u"huge file") {
        put(path, what == u"file" ? "text"_ba : QByteArray(1025, 'x'));
        return true;
    }
    if (what == u"folder")
        return QDir().mkdir(path);
#ifdef Q_OS_UNIX
    if (what == u"named pipe")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (what.startsWith(u"link to a "))
        return make(what.mid(10), path + u".real"_s) && QFile::link(path + u".real"_s, path);
    if (what == u"link that leads nowhere")
        return QFile::link(path + u".gone"_s, path);
#endif
    return false;
}

// Puts `from` in the place of `to` in one step, as sync tools and careful
// editors replace a file; Qt's own rename refuses an existing target.
inline bool renameOver(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(from).utf16()),
                         reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(to).utf16()),
                         MOVEFILE_REPLACE_EXISTING);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

// Where tests keep the start at login: under `dir` the program installed as
// `make install` lays it out (lib/marglet, and bin/marglet leading to it),
// and autostart folders of their own; on Windows a registry key of their own,
// emptied first.
inline autostart::Place testPlace(const QString &dir, const QString &prefix = QStringLiteral("usr"))
{
    using namespace Qt::StringLiterals;
    autostart::Place place;
#ifdef Q_OS_WIN
    Q_UNUSED(prefix);
    QSettings(u"HKEY_CURRENT_USER\\Software"_s, QSettings::NativeFormat).remove(u"Marglet tests"_s);
    place.program = dir + u"/Marglet/marglet.exe"_s;
    place.entries = u"HKEY_CURRENT_USER\\Software\\Marglet tests\\Run"_s;
#else
    const QString root = dir + u'/' + prefix;
    QDir().mkpath(root + u"/lib/marglet"_s);
    QDir().mkpath(root + u"/bin"_s);
    place.program = root + u"/lib/marglet/marglet"_s;
    put(place.program, "");
    QFile::link(u"../lib/marglet/marglet"_s, root + u"/bin/marglet"_s);
    place.entries = dir + u"/config/autostart"_s;
    place.systemEntries = {dir + u"/xdg/autostart"_s};
#endif
    return place;
}
