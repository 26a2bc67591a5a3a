#include "barlogic.h"

namespace barlogic {

QRegion outlineRegion()
{
    QRegion region;
    region.setRects(kOutline.data(), int(kOutline.size()));
    return region;
}

ExpandTick expandTick(qint16 expanded, int height, const std::function<int(int)> &setHeight)
{
    if (expanded == 0) {
        const int now = setHeight(height + kStep);
        if (now > kExpandEndAbove)
            return {setHeight(kExpandedHeight), true};
        return {now, false};
    }
    const int now = setHeight(height - kStep);
    if (now < kCollapseEndBelow)
        return {setHeight(kCollapsedHeight), true};
    return {now, false};
}

std::optional<quint8> fadeOpacity(int heightPixels)
{
    struct Band
    {
        int upTo; // inclusive
        int opacity;
    };
    // -1: heights in this band leave the alpha unchanged.
    static constexpr Band kBands[] = {
        {17, 100},  {41, -1},   {81, 118},  {127, 136}, {166, 154},
        {207, 175}, {248, 193}, {290, 205}, {320, 223},
    };
    for (const Band &band : kBands) {
        if (heightPixels <= band.upTo) {
            if (band.opacity < 0)
                return std::nullopt;
            return quint8(band.opacity);
        }
    }
    return quint8(240);
}

} // namespace barlogic
