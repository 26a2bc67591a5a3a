#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

// What the slide and the fade may touch of the bar's window.
struct MotionWindow
{
    // The height in twips, and in the window's whole pixels.
    std::function<int()> heightTwips;
    std::function<int()> heightPixels;
    // Asks for a height in twips; returns the height the window then has.
    std::function<int(int)> setHeightTwips;
    // The whole window's alpha, 0..255.
    std::function<void(quint8)> setAlpha;
    // The expand/collapse button shows the image for this state: the
    // collapse image when `expanded`.
    std::function<void(bool expanded)> showButton;
};

// The bar's slide (open to 343 px, shut to 17 px, one step per tick) and
// its fade (an alpha picked from the height at every tick). It owns both
// timers; the window forwards the button's click and applies what comes out.
class BarMotion : public QObject
{
    Q_OBJECT
public:
    explicit BarMotion(MotionWindow window, std::chrono::milliseconds tick,
                       QObject *parent = nullptr);

    // 0 collapsed, 1 expanded; it changes only when a slide ends.
    qint16 Expanded = 0;
    // The alpha that TransparentWindow applies.
    quint8 Opacity = 0;
    QTimer TmrExpand;
    QTimer TmrSetOpacity;

    // Whether the fade follows the height (transparency chosen, and a system
    // that has it).
    void setFading(bool fading);

    void PicMaxMin_Click();
    void TmrExpand_Timer();
    void TmrSetOpacity_Timer();
    // Gives Opacity to the window; an unchanged alpha is not sent again.
    void TransparentWindow();
    // Lets the fade tick again; it stops itself once nothing can change.
    void wakeFade();

Q_SIGNALS:
    // A slide leaves its resting height `from`.
    void slideStarted(qint16 from);
    // A slide has reached its resting height.
    void slideEnded(qint16 expanded);

private:
    MotionWindow m_window;
    bool m_fading = false;
    std::optional<quint8> m_applied; // the alpha the window has, once given
};
