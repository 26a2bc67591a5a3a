#pragma once

#include "barenvironment.h"
#include "settings/settingscodec.h"

#include <QObject>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <memory>

class BarMotion;
class BarNotes;
class BarPlacement;
class BarSkin;
class PictureBox;
class QWidget;

// The bar's controls that its settings reach.
struct BarParts
{
    QWidget *window = nullptr;
    PictureBox *PicMaxMin = nullptr;
    PictureBox *PicBtnArea = nullptr;
    PictureBox *PicClose = nullptr;
    BarNotes *notes = nullptr;
    std::function<void(const QString &)> report; // each problem once
};

// The bar's settings, held as one value, and what follows from them: the
// load sequence, the settings applied again when the Options dialog saves
// them (opacity, place, skin), and the window side of the slide and fade.
class BarSetup : public QObject
{
    Q_OBJECT
public:
    BarSetup(const BarEnvironment &environment, BarParts parts);
    ~BarSetup() override;

    BarMotion &motion() { return *m_motion; }
    BarPlacement &placement() { return *m_placement; }
    const QPixmap &background() const;
    QString settingsPath() const;

    void Form_Load();
    void LoadSettings();
    void ShapeWindow(QWidget *window);
    void ApplySettings();
    void LoadSkin();
    void TransparentWindow();
    void placeOnScreen();
    QTimer TmrApplySettings{this}; // a child, so that tests can find it
    void TmrApplySettings_Timer();

private:
    void showMaxMin(bool expanded);

    QString m_dataFolder;
    BarParts m_parts;
    Settings m_settings; // as last read from settings.dat
    BarSkin *m_skin;
    BarMotion *m_motion;
    std::unique_ptr<BarPlacement> m_placement;
};
