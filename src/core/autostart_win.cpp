// Start at sign-in on Windows: the value Marglet under the user's Run key,
// the program's full path in quotes, as the installer writes it. Any program
// folder will do, since the value names the program itself.
#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace autostart {

using namespace Qt::StringLiterals;

namespace {

const QString kValue = u"Marglet"_s;

QString tr(const char *text)
{
    return QCoreApplication::translate("Autostart", text);
}

QString lead()
{
    return tr("Marglet could not change whether it starts when you sign in.") + u"\n\n"_s;
}

} // namespace

Place systemPlace()
{
    Place place;
    place.program = QCoreApplication::applicationFilePath();
    place.entries = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"_s;
    place.temporary = QDir::tempPath();
    return place;
}

State read(const Place &place)
{
    const QSettings run(place.entries, QSettings::NativeFormat);
    State state;
    state.on = runValueNames(run.value(kValue).toString(), place.program);
    // A program opened straight from a zip runs from a copy in the
    // temporary folder, which is gone by the next sign-in.
    const QString folder = QFileInfo(place.program).absolutePath();
    const QString temporary = QDir::cleanPath(place.temporary);
    if (!temporary.isEmpty() && (folder + u'/').startsWith(temporary + u'/', Qt::CaseInsensitive))
        state.blocked = tr("Marglet runs from a temporary folder: unpack it first.");
    else if (!run.isWritable())
        state.blocked = tr("Windows does not allow it for this user.");
    return state;
}

bool write(const Place &place, bool on, QString *error)
{
    const QString blocked = read(place).blocked;
    if (!blocked.isEmpty()) {
        *error = lead() + blocked;
        return false;
    }
    {
        QSettings run(place.entries, QSettings::NativeFormat);
        if (on)
            run.setValue(kValue, runValue(place.program));
        else
            run.remove(kValue);
        run.sync();
        if (run.status() == QSettings::NoError && read(place).on == on)
            return true;
    }
    *error = lead() + tr("Windows did not take the change to \"%1\".")
                          .arg(QDir::toNativeSeparators(place.entries) + u'\\' + kValue);
    return false;
}

QString caption()
{
    return tr("Start Marglet when I sign in");
}

} // namespace autostart
