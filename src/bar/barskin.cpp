#include "barskin.h"

#include <QCoreApplication>
#include <QTimer>

BarSkin::BarSkin(QStringList skinBases, std::function<void(const QString &)> report,
                 QObject *parent)
    : QObject(parent), m_source(std::move(skinBases)), m_report(std::move(report))
{
}

void BarSkin::LoadSkin(const QString &skinName)
{
    m_background = picture(skinName, SkinSource::kBackground);
    m_buttonArea = picture(skinName, SkinSource::kButtonArea);
    m_close = picture(skinName, SkinSource::kClose);
    PicMaxButton = picture(skinName, SkinSource::kMax);
    PicMinButton = picture(skinName, SkinSource::kMin);
}

QPixmap BarSkin::maxMin(qint16 expanded, From from, const QString &skinName)
{
    const bool collapse = expanded == 1;
    if (from == From::File)
        return picture(skinName, collapse ? SkinSource::kMin : SkinSource::kMax);
    return collapse ? PicMinButton : PicMaxButton;
}

QPixmap BarSkin::picture(const QString &skinName, const QString &fileName)
{
    QString missing;
    const QImage image = m_source.load(skinName, fileName, &missing);
    if (!missing.isEmpty() && !m_reportedMissing.contains(missing)) {
        m_reportedMissing.append(missing);
        // Gathered, so that one skin with several files missing is one message.
        if (m_pendingMissing.isEmpty())
            QTimer::singleShot(0, this, &BarSkin::flushMissingReport);
        m_pendingMissing.append(missing);
    }
    return QPixmap::fromImage(image);
}

void BarSkin::flushMissingReport()
{
    if (m_pendingMissing.isEmpty())
        return;
    const QString files = m_pendingMissing.join(u'\n');
    m_pendingMissing.clear();
    m_report(QCoreApplication::translate(
                 "FrmMargletQK",
                 "These skin images are missing, cannot be read or are larger than the bar:\n%1\n\n"
                 "The bar shows its built-in Blue images in their place.")
                 .arg(files));
}
