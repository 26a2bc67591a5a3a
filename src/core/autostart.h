#pragma once

#include <QString>
#include <QStringList>

// Starting the bar when the user logs in, kept where the system keeps it and
// nowhere else: an XDG autostart entry `marglet.desktop` on Linux, the value
// `Marglet` of the user's Run key on Windows (which the installer sets too).
namespace autostart {

// Where this program's start at login is kept; passed in so that tests use
// folders and a registry key of their own.
struct Place
{
    QString program; // the running executable, absolute
    // Linux: the user's autostart folder; Windows: the Run key, as QSettings
    // names it ("HKEY_CURRENT_USER\\...\\Run").
    QString entries;
    QStringList systemEntries; // Linux: the system's autostart folders, the first one wins
    QString temporary;         // Windows: the folder the system empties
};

struct State
{
    bool on = false; // this program starts at login
    // Why the choice cannot be made here, in plain words and mostly in a
    // short line; empty when it can.
    QString blocked;
};

// This process's place.
Place systemPlace();

// What the system will do at the next login, read afresh.
State read(const Place &place);

// Makes this program start at login, or not; says why it could not.
bool write(const Place &place, bool on, QString *error);

// The check box's caption, in the system's own words.
QString caption();

// The Run value that starts `program`, and whether a value names it: the
// system compares paths without regard to case, and the quotes only keep a
// path with spaces whole.
QString runValue(const QString &program);
bool runValueNames(const QString &value, const QString &program);

} // namespace autostart
