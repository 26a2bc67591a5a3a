#pragma once

#include "barenvironment.h"

#include <QPixmap>
#include <QWidget>

#include <memory>
#include <optional>

class BarClosing;
class BarFocus;
class BarNotes;
class BarSetup;
class CaptionLabel;
class PictureBox;
class NotePad;
class QPushButton;

// The bar: a borderless, always-on-top strip that slides open to show three
// notes. It builds its controls, paints and hands each event to the part
// that deals with it: BarSetup (settings, skin, place, slide and fade),
// BarNotes, BarFocus and BarClosing. Controls carry their names as object
// names.
class FrmMargletQK : public QWidget
{
    Q_OBJECT
public:
    explicit FrmMargletQK(BarEnvironment environment, QWidget *parent = nullptr);
    ~FrmMargletQK() override;

    // The load sequence; the caller shows the bar afterwards.
    void Form_Load();
    // The close sequence: saves (asking while a note cannot be written),
    // has the dialogs closed, closes the bar and says it has finished.
    void PicClose_Click();
    // Saving on the other ways out.
    BarClosing &closing() { return *m_closing; }
    // From now on problems go to the log only: nothing may show a message.
    void reportToLogOnly();

    // What the Options dialog is given of the bar.
    QString settingsPath() const;
    const BarEnvironment &environment() const { return m_env; }
    // Where the bar is meant to be, in pixels of the virtual desktop.
    QPoint place() const;
    // Enables TmrApplySettings: the settings file is applied once, a tick
    // later, however often this is called before then.
    void enableApplySettings();
    // Places the bar again by the settings' rule, as after a screen change.
    void placeOnScreen();
    // The user started the program again: the bar opens (by its slide) and
    // takes the keyboard, with the caret after the open note's last
    // character. `launchId` is what the launcher gave that start.
    void comeForward(const QByteArray &launchId);
    // Gives the keyboard back to `control`, which had it before a dialog
    // took it; to the strip if the bar has hidden the control since.
    void takeFocusBack(QWidget *control);

Q_SIGNALS:
    void aboutClicked();
    void optionsClicked();
    // The close sequence has saved: the dialogs close before the bar does.
    void unloading();
    // The close sequence has finished; the program should end.
    void finished();

protected:
    void paintEvent(QPaintEvent *event) override;
    // Any other close (Alt+F4, a window manager's menu) takes the same road
    // as the close button, so that the notes are saved and the program ends
    // instead of running on with no window.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    PictureBox *buildTab(int note, CaptionLabel *&caption);
    // The note pad is built once the bar is on screen, or sooner when
    // something needs it: a collapsed bar does not show it, and building it
    // loads the fonts. It takes in its note when first wanted.
    void ensureNotepad();
    void nameNotepad();
    void buildNotepad();
    void finishStartup();
    void slideStarted(qint16 from);
    void slideEnded(qint16 expanded);
    void SwitchNote(const qint16 &ActiveNote);
    void selectTab(qint16 note);
    void PicMaxMin_Click();
    void PicTab01_Click() { selectTab(1); }
    void PicTab02_Click() { selectTab(2); }
    void PicTab03_Click() { selectTab(3); }
    void LblNote01_Click() { selectTab(1); }
    void LblNote02_Click() { selectTab(2); }
    void LblNote03_Click() { selectTab(3); }
    void CmdImport_Click();
    void CmdExport_Click();

    BarEnvironment m_env;
    BarNotes *m_notes = nullptr;
    BarFocus *m_focus = nullptr;
    BarSetup *m_setup = nullptr;
    std::unique_ptr<BarClosing> m_closing;
    QPixmap PicActiveTab;
    QPixmap PicTab;

    PictureBox *PicBtnArea = nullptr;
    PictureBox *PicClose = nullptr;
    PictureBox *PicMaxMin = nullptr;
    QWidget *TabStrip = nullptr;
    PictureBox *PicTab01 = nullptr;
    PictureBox *PicTab02 = nullptr;
    PictureBox *PicTab03 = nullptr;
    NotePad *TxtNotepad = nullptr;
    QPushButton *CmdExport = nullptr;
    QPushButton *CmdImport = nullptr;
    QPushButton *CmdAbout = nullptr;
    QPushButton *CmdOptions = nullptr;
    // Fitted to their text once on screen.
    CaptionLabel *LblTitleBar = nullptr;
    CaptionLabel *LblTitleBarShd = nullptr;
    CaptionLabel *LblNote01 = nullptr;
    CaptionLabel *LblNote02 = nullptr;
    CaptionLabel *LblNote03 = nullptr;
    QStringList m_reported;
    // Asked to come forward while sliding shut: it opens again once shut.
    std::optional<QByteArray> m_forwardWhenShut;
    bool m_closeForGood = false;
    bool m_finishScheduled = false;
};
