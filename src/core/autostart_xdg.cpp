// Start at login on freedesktop desktops, by the Desktop Application
// Autostart rules: an entry in the user's folder takes the place of a
// system one of the same name, and Hidden=true in it turns both off.
#include "autostart.h"

#include "diskfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace autostart {

using namespace Qt::StringLiterals;

namespace {

const QString kName = u"marglet.desktop"_s;
constexpr qint64 kEntryLimit = 64 * 1024;

QString tr(const char *text)
{
    return QCoreApplication::translate("Autostart", text);
}

QString lead()
{
    return tr("Marglet could not change whether it starts when you log in.") + u"\n\n"_s;
}

// What a session reads from an entry.
struct Entry
{
    bool found = false;
    bool enabled = false;
    QString program; // the file its Exec starts
    QString error;   // why it could not be read
};

// The first argument of an Exec value. The value's own escapes (\s \n \t
// \r \\) are undone first; then a quoted argument may hold spaces, with
// " ` $ and \ escaped.
QString firstArgument(const QString &exec)
{
    QString value;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const qsizetype known = i + 1 < exec.size() && exec[i] == u'\\'
                                    ? QStringView(u"s\\ntr").indexOf(exec[i + 1])
                                    : -1;
        value += known < 0 ? exec[i] : QStringView(u" \\\n\t\r")[known];
        i += known < 0 ? 0 : 1;
    }
    QString argument;
    if (!value.startsWith(u'"'))
        argument = value.section(u' ', 0, 0);
    for (qsizetype i = 1; value.startsWith(u'"') && i < value.size() && value[i] != u'"'; ++i) {
        if (value[i] == u'\\' && i + 1 < value.size())
            ++i;
        argument += value[i];
    }
    return argument.replace(u"%%"_s, u"%"_s);
}

Entry readEntry(const QString &path)
{
    Entry entry;
    QByteArray bytes;
    const diskfile::ReadStatus status = diskfile::readFile(path, kEntryLimit, bytes, &entry.error);
    entry.found = status != diskfile::ReadStatus::Missing;
    if (status != diskfile::ReadStatus::Read)
        return entry;
    bool main = false;
    bool hidden = false;
    bool gnomeOff = false; // how GNOME's own settings turn an entry off
    QString exec;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'['))
            main = line == u"[Desktop Entry]";
        if (!main || equals < 1 || line.startsWith(u'#'))
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        hidden = key == u"Hidden" ? value == u"true" : hidden;
        gnomeOff = key == u"X-GNOME-Autostart-enabled" ? value == u"false" : gnomeOff;
        exec = key == u"Exec" ? value : exec;
    }
    entry.enabled = !hidden && !gnomeOff;
    entry.program = firstArgument(exec);
    if (!entry.program.isEmpty() && !entry.program.contains(u'/'))
        entry.program = QStandardPaths::findExecutable(entry.program);
    return entry;
}

// The entry the session goes by: the user's, else the first system one.
Entry effective(const Place &place)
{
    Entry entry = readEntry(QDir(place.entries).filePath(kName));
    for (qsizetype i = 0; !entry.found && i < place.systemEntries.size(); ++i)
        entry = readEntry(QDir(place.systemEntries[i]).filePath(kName));
    return entry;
}

bool systemEntryOn(const Place &place)
{
    for (const QString &folder : place.systemEntries) {
        const Entry entry = readEntry(QDir(folder).filePath(kName));
        if (entry.found)
            return entry.enabled;
    }
    return false;
}

// The installed layout (make install, make run, the Debian package): the
// program folder <prefix>/lib/marglet, and <prefix>/bin/marglet leading to
// the program in it, which stays there between logins. Empty for a build
// or a copy, which may be gone or replaced by the next login.
QString launcher(const QString &program)
{
    const QFileInfo file(program);
    QDir folder = file.absoluteDir();
    if (folder.dirName() != u"marglet" || !folder.cdUp() || folder.dirName() != u"lib" ||
        !folder.cdUp())
        return {};
    const QString link = folder.filePath(u"bin/marglet"_s);
    const QString target = QFileInfo(link).canonicalFilePath();
    return !target.isEmpty() && target == file.canonicalFilePath() ? link : QString();
}

// The launcher as an Exec value. The full path, not the name alone: the
// session that reads the entry may search another PATH than a shell does
// (~/.local/bin is added by ~/.profile, which not every login reads).
QString execValue(const QString &path)
{
    const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    QString argument = path;
    argument.replace(u'%', u"%%"_s);
    if (std::any_of(path.begin(), path.end(), [&](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : std::as_const(argument)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = u'"' + quoted + u'"';
    }
    return argument.replace(u'\\', u"\\\\"_s)
        .replace(u'\n', u"\\n"_s)
        .replace(u'\t', u"\\t"_s)
        .replace(u'\r', u"\\r"_s);
}

QString entryText(const QString &launcher, bool hidden)
{
    QString text = u"[Desktop Entry]\n"
                   "Type=Application\n"
                   "Name=QKS Marglet\n"
                   "Comment=Three quick notes in a small bar that stays on top\n"
                   "Exec=%1\n"
                   "Icon=marglet\n"
                   "Terminal=false\n"_s.arg(execValue(launcher));
    return hidden ? text + u"Hidden=true\n"_s : text;
}

// Short enough to stand beside the check box, mostly in one line.
QString blockedReason(const Place &place)
{
    if (launcher(place.program).isEmpty())
        return tr("Only an installed Marglet can start at login.");
    // The folder is made when it is first needed: what counts is the
    // nearest one that is there.
    QFileInfo there(place.entries);
    while (!there.exists() && !there.isSymLink() && !there.isRoot())
        there = QFileInfo(there.absolutePath());
    QString why;
    if (diskfile::folderAccess(there.absoluteFilePath(), &why) == diskfile::FolderAccess::Refused)
        return tr("Cannot write in \"%1\": %2").arg(place.entries, why);
    return {};
}

} // namespace

Place systemPlace()
{
    // The user's folder first ($XDG_CONFIG_HOME), then the system's
    // ($XDG_CONFIG_DIRS), as Qt lists them.
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (QString &folder : folders)
        folder += u"/autostart"_s;
    Place place;
    place.program = QCoreApplication::applicationFilePath();
    place.entries = folders.value(0);
    place.systemEntries = folders.mid(1);
    return place;
}

State read(const Place &place)
{
    const Entry entry = effective(place);
    State state;
    state.on = entry.enabled && !entry.program.isEmpty() &&
               QFileInfo(entry.program).canonicalFilePath() ==
                   QFileInfo(place.program).canonicalFilePath();
    state.blocked = blockedReason(place);
    if (state.blocked.isEmpty())
        state.blocked = entry.error;
    return state;
}

bool write(const Place &place, bool on, QString *error)
{
    const QString blocked = read(place).blocked;
    if (!blocked.isEmpty()) {
        *error = lead() + blocked;
        return false;
    }
    const QString path = QDir(place.entries).filePath(kName);
    // Off over a system entry of the same name, the user's entry stays to
    // hide it: removing it would let that one start the bar.
    const bool kept = on || systemEntryOn(place);
    // A link in the entry's place is replaced, never written through: what
    // it leads to (often the menu's own entry) is not this choice's to change.
    if ((!kept || QFileInfo(path).isSymLink()) &&
        ::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        *error = lead() + tr("Could not remove \"%1\": %2").arg(path, diskfile::plainReason(errno));
        return false;
    }
    if (!kept)
        return true;
    QDir().mkpath(place.entries);
    if (diskfile::replace(path, entryText(launcher(place.program), !on).toUtf8(), error))
        return true;
    *error = lead() + *error;
    return false;
}

QString caption()
{
    return tr("Start Marglet when I log in");
}

} // namespace autostart
