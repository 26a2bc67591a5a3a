#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QPushButton;

// The About box: the program's picture with its version and credits over
// it. It deletes itself when closed, so each opening builds it afresh;
// whether one is open already is the caller's business.
class FrmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget *parent = nullptr);
    ~FrmAbout() override;

    QPushButton *CmdClose = nullptr;
    QLabel *LblAppVersion = nullptr;
    QLabel *LblInfo01 = nullptr;
    QLabel *LblInfo02 = nullptr;
    QLabel *LblURL = nullptr;

    void CmdClose_Click();

protected:
    void paintEvent(QPaintEvent *event) override;
    // Escape closes it, as Close does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPixmap m_background;
};
