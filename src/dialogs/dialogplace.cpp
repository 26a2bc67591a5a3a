#include "dialogplace.h"

#include "core/twips.h"

#include <algorithm>

namespace dialogplace {

namespace {

// Centred on a span that starts at `from`, the halves taken in twips and
// rounded to whole pixels as the dialogs' own rule does.
int centredIn(int from, int length, int outer)
{
    return from + twips::toPixels(twips::fromPixels(length) / 2.0 - twips::fromPixels(outer) / 2.0);
}

} // namespace

QPoint options(const QRect &screen, int barLeft, const QSize &outer)
{
    return {centredIn(screen.x(), barLeft - screen.x(), outer.width()),
            centredIn(screen.y(), screen.height(), outer.height())};
}

QPoint centred(const QRect &screen, const QSize &outer)
{
    return {centredIn(screen.x(), screen.width(), outer.width()),
            centredIn(screen.y(), screen.height(), outer.height())};
}

QPoint keptWhole(QPoint topLeft, const QSize &outer, const QRect &area)
{
    if (area.isEmpty())
        return topLeft;
    const int x = std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - outer.height()));
    return {x, y};
}

} // namespace dialogplace
