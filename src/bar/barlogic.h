#pragma once

#include <QRect>
#include <QRegion>

#include <array>
#include <functional>
#include <optional>

// The parts of the bar's behaviour that need no window: its outline, one step
// of the slide and the fade's height bands.
namespace barlogic {

// Heights in twips; the window itself has whole-pixel heights.
inline constexpr int kCollapsedHeight = 255;
inline constexpr int kExpandedHeight = 5145;
inline constexpr int kStep = 175;
inline constexpr int kExpandEndAbove = 4950;
inline constexpr int kCollapseEndBelow = 430;

// The outline, in window pixels: a title strip with rounded corners, a narrow
// neck below it and a body with rounded bottom corners. Right and bottom
// edges are exclusive.
inline constexpr std::array<QRect, 16> kOutline = {{
    QRect(QPoint(2, 0), QPoint(182, 0)),
    QRect(QPoint(1, 1), QPoint(183, 1)),
    QRect(QPoint(0, 2), QPoint(184, 14)),
    QRect(QPoint(1, 15), QPoint(183, 15)),
    QRect(QPoint(2, 16), QPoint(182, 16)),
    QRect(QPoint(6, 17), QPoint(178, 17)),
    QRect(QPoint(4, 18), QPoint(180, 18)),
    QRect(QPoint(3, 19), QPoint(181, 19)),
    QRect(QPoint(2, 20), QPoint(182, 20)),
    QRect(QPoint(1, 21), QPoint(183, 22)),
    QRect(QPoint(0, 23), QPoint(184, 336)),
    QRect(QPoint(1, 337), QPoint(183, 338)),
    QRect(QPoint(2, 339), QPoint(182, 339)),
    QRect(QPoint(3, 340), QPoint(181, 340)),
    QRect(QPoint(4, 341), QPoint(180, 341)),
    QRect(QPoint(6, 342), QPoint(178, 342)),
}};

QRegion outlineRegion();

struct ExpandTick
{
    int height = 0;        // twips, as the window made it
    bool finished = false; // the resting height is reached
};

// One tick of the slide. `setHeight` asks the window for a height in twips
// and returns the height it then has; the end tests use what it returns.
ExpandTick expandTick(qint16 expanded, int height, const std::function<int(int)> &setHeight);

// The alpha the fade gives a bar of this height in pixels, or nothing for the
// band that leaves the alpha as it is.
std::optional<quint8> fadeOpacity(int heightPixels);

} // namespace barlogic
