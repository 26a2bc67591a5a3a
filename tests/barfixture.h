#pragma once

// A bar in a folder of its own, with all it tells the user recorded and its
// controls found by their names. Ticks wait for the test unless it asks for
// real ones.

#include "bar/barmotion.h"
#include "bar/barnotes.h"
#include "bar/frmmargletqk.h"
#include "bar/picturebox.h"
#include "core/testfiles.h"
#include "notes/filedialogseam.h"
#include "notes/notebook.h"
#include "settings/settingsfile.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Answers the file dialogs as a test tells it to.
struct FakeDialog : FileDialogSeam
{
    std::optional<QString> answer;
    QString offered; // the path the last dialog suggested

    std::optional<QString> openFile(QWidget *, const QString &s, const QString &) override
    {
        return (offered = s, answer);
    }
    std::optional<QString> saveFile(QWidget *w, const QString &s, const QString &f) override
    {
        return openFile(w, s, f);
    }
};

// An image of a skin that comes with the program, as the bar shows it.
inline QImage skinImage(const QString &skin, const QString &file)
{
    return QPixmap(QStringLiteral(MARGLET_ASSETS_DIR "/skins/%1/%2").arg(skin, file)).toImage();
}

struct BarFixture
{
    QTemporaryDir dir;
    FakeDialog dialog;
    QStringList reports;
    QStringList fileErrors;
    QStringList questions;
    QList<CloseChoice> answers; // to the questions on closing, in turn
    BarEnvironment env;
    FrmMargletQK *bar = nullptr;

    // No stored settings is a first start.
    explicit BarFixture(std::optional<Settings> stored = Settings())
    {
        if (stored)
            settingsfile::save(path(QStringLiteral("settings.dat")), *stored);
        env.dataFolder = dir.path();
        env.rescueFolder = path(QStringLiteral("rescued"));
        env.skinBases = {QStringLiteral(MARGLET_ASSETS_DIR)};
        env.report = [this](const QString &m) { reports.append(m); };
        env.fileError = [this](const QString &text, const QString &) { fileErrors.append(text); };
        env.fileDialog = &dialog;
        env.askOnClose = [this](const QString &problem, bool) {
            questions.append(problem);
            return answers.isEmpty() ? CloseChoice::KeepOpen : answers.takeFirst();
        };
        env.tick = std::chrono::hours(1);
        env.autosaveDelay = std::chrono::hours(1);
    }

    // A bar of the fixture's own, or the one given, through its load sequence.
    FrmMargletQK &start(FrmMargletQK *given = nullptr)
    {
        if (!given)
            m_own = std::make_unique<FrmMargletQK>(env);
        bar = given ? given : m_own.get();
        bar->Form_Load();
        return *bar;
    }

    template <typename T = PictureBox> T *control(const char *name) const
    {
        T *found = bar->findChild<T *>(QLatin1StringView(name));
        return found ? found : (qFatal("no control %s", name), nullptr);
    }
    QPlainTextEdit *pad() const { return control<QPlainTextEdit>("TxtNotepad"); }
    NoteBook &notes() const { return bar->findChild<BarNotes *>()->notes(); }
    QString padText() const { return bar->findChild<BarNotes *>()->notepadText(); }
    BarMotion &motion() const { return *bar->findChild<BarMotion *>(); }
    QTimer &applyTimer() const { return *bar->findChild<QTimer *>(u"TmrApplySettings"_qs); }
    QImage picture(const char *name) const { return control(name)->picture().toImage(); }

    // Both timers in turn, as the event loop runs them, until the slide ends.
    void slide()
    {
        for (int ticks = 0; motion().TmrExpand.isActive() && ticks < 100; ++ticks) {
            motion().TmrExpand_Timer();
            motion().TmrSetOpacity_Timer();
        }
    }
    // The user opens the bar: what lies below its strip is reached only then.
    FrmMargletQK &open()
    {
        click("PicMaxMin");
        slide();
        return *bar;
    }
    // As the Options dialog's Apply: the timer's one tick, whatever its interval.
    void apply()
    {
        applyTimer().setInterval(0);
        bar->enableApplySettings();
        QTRY_VERIFY(!applyTimer().isActive());
    }
    void click(const char *name) { QTest::mouseClick(control<QWidget>(name), Qt::LeftButton); }

    QString path(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const { put(path(name), bytes); }
    QByteArray read(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private:
    std::unique_ptr<FrmMargletQK> m_own;
};
