#pragma once

#include "dialogs/frmoptions.h"

#include "core/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

// An Options window over a folder of its own, with what it told the bar
// and the user kept in order.
class DialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Qt Test runs these around each test of a class derived from this one.
    void init() { m_place = testPlace(m_dir.emplace().path()); }
    void cleanup() { delete m_dialog; }

protected:
    std::optional<QTemporaryDir> m_dir;
    autostart::Place m_place; // where the start at login is kept
    QStringList m_log;        // what the dialog told the bar and the user, in order
    QPointer<FrmOptions> m_dialog;

    QString entry(const QString &name) const { return m_dir->filePath(name); }
    OptionsEnvironment environment(const QString &settings = u"settings.dat"_s)
    {
        m_log.clear();
        OptionsEnvironment env;
        env.settingsPath = entry(settings);
        env.skinBases = {m_dir->path()};
        env.enableApplyTimer = [this, file = env.settingsPath] {
            m_log.append(u"timer, %1 bytes"_s.arg(QFileInfo(file).size()));
        };
        env.report = [this](const QString &message) { m_log.append(message); };
        env.moduleFolder = QStringLiteral(MARGLET_PROGRAM_DIR);
        env.autostart = m_place;
        return env;
    }
    FrmOptions &open(const QString &settings = u"settings.dat"_s)
    {
        return *(m_dialog = new FrmOptions(environment(settings)));
    }
    OptionsEnvironment checking(const QString &base, int spacing)
    {
        OptionsEnvironment env = environment();
        env.updateBase = base;
        env.firstTick = std::chrono::milliseconds(1);
        env.stepInterval = std::chrono::milliseconds(spacing);
        return env;
    }
    void touch(const QString &name)
    {
        QVERIFY(QDir(m_dir->path()).mkpath(QFileInfo(name).path()));
        QVERIFY(QFile(entry(name)).open(QIODevice::WriteOnly));
    }
};
