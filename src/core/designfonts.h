#pragma once

#include <QFont>
#include <QStringList>

#include <cmath>

// Fonts by their design size in points at 96 dpi, with the families that
// stand in for them where the originals are not installed, so that the
// windows keep their layout whatever the screen's DPI setting says.
namespace designfonts {

inline QFont designFont(const QStringList &families, double points, bool bold = false)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(int(std::lround(points * 96.0 / 72.0)));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

inline QFont arial(double points, bool bold = false)
{
    return designFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")},
                      points, bold);
}

inline QFont sansSerif(double points, bool bold = false)
{
    return designFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                       QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
                      points, bold);
}

// What every control of a form has unless given another font.
inline QFont formDefault()
{
    return sansSerif(8.25);
}

} // namespace designfonts
