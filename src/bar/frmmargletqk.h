#pragma once

#include "barmotion.h"
#include "settings/settingscodec.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

class CaptionLabel;
class FileDialogSeam;
class LastPathFileDialog;
class NoteBook;
class PictureBox;
class QPlainTextEdit;
class QPushButton;
class SkinSource;

// What the user may do when closing while a note cannot be saved.
enum class CloseChoice
{
    TryAgain,
    Rescue,      // keep the text in a rescue file, then close
    KeepOpen,    // keep the bar and its text
    CloseAnyway, // only offered once a rescue file could not be written either
};

// What the bar needs from the world around it.
struct BarEnvironment
{
    QString dataFolder;    // settings.dat and the note files
    QString rescueFolder;  // where notes go that cannot be saved where they belong
    QStringList skinBases; // folders that hold a skins folder
    // Tells the user something went wrong; the default shows a message box.
    std::function<void(const QString &)> report;
    std::chrono::milliseconds tick{10};
    // A save follows this pause in typing; steady typing waits no longer
    // than `autosaveLimit`, and a failing save is tried again this often.
    std::chrono::milliseconds autosaveDelay{2000};
    std::chrono::milliseconds autosaveLimit{30000};
    std::chrono::milliseconds retryInterval{15000};
    // The open and save-as dialogs; the default is Qt's.
    FileDialogSeam *fileDialog = nullptr;
    // The message box of import and export: a fixed text, and the reason.
    std::function<void(const QString &text, const QString &reason)> fileError;
    // Asked when notes cannot be saved on closing. `rescueFailed` tells that
    // the last rescue file could not be written, and lets the user close
    // without saving.
    std::function<CloseChoice(const QString &problem, bool rescueFailed)> askOnClose;
};

// The bar: a borderless, always-on-top strip that slides open to show three
// notes. Members carry the names the rest of the program knows them by; the
// load and close sequences that drive them live with the program's start.
class FrmMargletQK : public QWidget
{
    Q_OBJECT
public:
    explicit FrmMargletQK(BarEnvironment environment, QWidget *parent = nullptr);
    ~FrmMargletQK() override;

    // Settings, as last read from settings.dat.
    qint16 PosFromRight = 0;
    qint16 PosTop = 0;
    QString SkinName;
    qint16 Transparency = 0;

    // The pictures the visible controls take their images from.
    QPixmap PicActiveTab;
    QPixmap PicTab;
    QPixmap PicMinButton;
    QPixmap PicMaxButton;

    // Visible controls.
    CaptionLabel *LblTitleBarShd = nullptr;
    CaptionLabel *LblTitleBar = nullptr;
    PictureBox *PicBtnArea = nullptr;
    PictureBox *PicClose = nullptr;
    PictureBox *PicMaxMin = nullptr;
    PictureBox *PicTab01 = nullptr;
    PictureBox *PicTab02 = nullptr;
    PictureBox *PicTab03 = nullptr;
    CaptionLabel *LblNote01 = nullptr;
    CaptionLabel *LblNote02 = nullptr;
    CaptionLabel *LblNote03 = nullptr;
    QPlainTextEdit *TxtNotepad = nullptr;
    QPushButton *CmdExport = nullptr;
    QPushButton *CmdImport = nullptr;
    QPushButton *CmdAbout = nullptr;
    QPushButton *CmdOptions = nullptr;

    QTimer TmrApplySettings;

    // The slide and the fade: Expanded, Opacity and their timers.
    BarMotion &motion() { return *m_motion; }
    const BarMotion &motion() const { return *m_motion; }

    const BarEnvironment &environment() const { return m_env; }
    QString settingsPath() const;
    const QPixmap &backgroundPicture() const { return m_background; }

    void LoadSettings();
    void ShapeWindow(QWidget *window);
    void ApplySettings();
    void LoadSkin();
    void TransparentWindow();

    // Loads one image of the current skin, telling the user once about each
    // file that is missing and using the built-in image in its place.
    QPixmap loadSkinPicture(const QString &fileName);

    // Height in twips, set and read back through the window's whole pixels.
    // Only the height changes: the place is the one the settings give.
    int heightTwips() const;
    int setHeightTwips(int twips);
    void setLeftTopTwips(double left, double top);
    // Left is the primary screen's right edge less PosFromRight, Top is the
    // screen's top plus PosTop, wherever that screen lies on the desktop.
    void placeOnScreen();
    // Where the bar is meant to be, in pixels of the virtual desktop; a
    // window manager's idea of it is never read back.
    QPoint place() const { return m_place; }

    // The note pad is built once the bar is on screen, or sooner when
    // something needs it: a collapsed bar does not show it, and building it
    // loads the fonts.
    void ensureNotepad();

    // The notes, their files and the note on show.
    NoteBook &notes() { return *m_notes; }
    const NoteBook &notes() const { return *m_notes; }
    void LoadText();
    // As closing does: the notes that changed are written, and notes
    // without a file get one; false when one could not be written.
    bool SaveText();
    bool hasUnsavedNotes() const;
    void SwitchNote(const qint16 &ActiveNote);
    // Replaces the pad's whole text, as start-up, a tab switch and an import
    // do; the change handler carries it into the active note's store.
    void setNotepadText(const QString &text);
    // The pad's text exactly as the user sees it (the pad's own plain-text
    // view turns no-break spaces into spaces).
    QString notepadText() const;
    void TxtNotepad_Change(int position, int removed, int added);
    void PicTab01_Click();
    void PicTab02_Click();
    void PicTab03_Click();
    void LblNote01_Click();
    void LblNote02_Click();
    void LblNote03_Click();
    void CmdImport_Click();
    void CmdExport_Click();

    static inline const QString kFileFilter =
        QStringLiteral("Text files (*.txt)|*.txt|All Files (*.*)|*.*");

    void PicMaxMin_Click();
    void TmrApplySettings_Timer();

    // Closes the window for good, at the end of the close sequence.
    void closeForGood();

Q_SIGNALS:
    void closeClicked();
    void aboutClicked();
    void optionsClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Any other close (Alt+F4, a window manager's menu) takes the same road
    // as the close button, so that the notes are saved and the program ends
    // instead of running on with no window.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void finishStartup();
    void showNoteAgain(int note);
    void report(const QString &message);

    void flushMissingReport();
    void selectTab(qint16 note);
    void setBarGeometry(QSize size);
    void slideEnded(qint16 expanded);
    void allowFocus();
    void acceptFocus(bool accept);

    BarEnvironment m_env;
    std::unique_ptr<SkinSource> m_skins;
    std::unique_ptr<NoteBook> m_notes;
    std::unique_ptr<BarMotion> m_motion;
    std::unique_ptr<FileDialogSeam> m_ownDialog;
    std::unique_ptr<LastPathFileDialog> CmnDlgSaveLoad;
    QPixmap m_background;
    QStringList m_reportedMissing;
    QStringList m_pendingMissing;
    QStringList m_reported;
    QPoint m_place;
    bool m_placed = false;
    bool m_closing = false;
    bool m_finishScheduled = false;
    const QString *m_padReplacement = nullptr;
};
