#pragma once

#include "bar/frmmargletqk.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmoptions.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QScreen;

// The program's windows: the bar, and the About and Options dialogs it opens.
class MargletApp : public QObject
{
    Q_OBJECT
public:
    // `options` is completed with what the bar knows (its files, its left
    // edge, its settings timer); tests use it to shorten the update steps.
    // The bar's load and close sequences are its own.
    explicit MargletApp(BarEnvironment environment, OptionsEnvironment options = {},
                        QObject *parent = nullptr);
    ~MargletApp() override;

    FrmMargletQK &bar() { return *m_bar; }
    // The dialogs while they are open, else null.
    FrmAbout *about() const { return m_about; }
    FrmOptions *options() const { return m_options; }

    void CmdAbout_Click();
    void CmdOptions_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Where the keyboard was before a dialog took it: one of the program's
    // own controls, or another program's window.
    struct FocusOrigin
    {
        QPointer<QWidget> control;
        quintptr foreign = 0;
    };

    // The bar's close sequence unloads the dialogs before the bar.
    void closeDialogs();
    void bringUp(QWidget *dialog, FocusOrigin &origin);
    void giveFocusBack(const FocusOrigin &origin);
    // The screen the bar sits on, which the dialogs open on.
    QScreen *barScreen() const;

    std::unique_ptr<FrmMargletQK> m_bar;
    QPointer<FrmAbout> m_about;
    QPointer<FrmOptions> m_options;
    FocusOrigin m_aboutOrigin;
    FocusOrigin m_optionsOrigin;
    OptionsEnvironment m_optionsEnvironment;
};
