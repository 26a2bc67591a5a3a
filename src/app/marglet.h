#pragma once

#include "bar/frmmargletqk.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmoptions.h"

#include <QObject>
#include <QPointer>

class QScreen;

#include <memory>

// The program's windows and the sequences that start and end them.
class MargletApp : public QObject
{
    Q_OBJECT
public:
    // `options` is completed with what the bar knows (its files, its left
    // edge, its settings timer); tests use it to shorten the update steps.
    explicit MargletApp(BarEnvironment environment, OptionsEnvironment options = {},
                        QObject *parent = nullptr);
    ~MargletApp() override;

    FrmMargletQK &bar() { return *m_bar; }
    // The dialogs while they are open, else null.
    FrmAbout *about() const { return m_about; }
    FrmOptions *options() const { return m_options; }

    // Runs the bar's load sequence; the caller shows the bar afterwards.
    void Form_Load();

    void PicClose_Click();
    // Saves the notes when the program is asked to end some other way than
    // by its close button (a signal, the session ending, the display gone),
    // with nobody to ask: a note that cannot be saved to its file goes to a
    // rescue file. False when a note is not in its own file.
    bool saveBeforeExit();
    // Saves, asking the user while a note cannot be written; false when the
    // user chose to keep the bar open instead.
    bool saveOrAsk();
    // Not zero while a note is not in its own file, whatever else holds it.
    int exitStatus() const;
    void CmdAbout_Click();
    void CmdOptions_Click();

Q_SIGNALS:
    // The close sequence has finished; the program should end.
    void finished();

private:
    void closeWindows();
    void bringUp(QWidget *dialog);
    // The screen the bar sits on, which the dialogs open on.
    QScreen *barScreen() const;

    std::unique_ptr<FrmMargletQK> m_bar;
    QPointer<FrmAbout> m_about;
    QPointer<FrmOptions> m_options;
    OptionsEnvironment m_optionsEnvironment;
    bool m_ended = false; // the close sequence has run; nothing is saved again
};
