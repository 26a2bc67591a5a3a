#pragma once

#include "settings/skins.h"

#include <QObject>
#include <QPixmap>

#include <functional>

// The skin's five images as the bar shows them: the background, the button
// panel, the close button, and the expand and collapse images held for the
// expand/collapse button. A file it cannot use is told once, the files
// missing at one go in one message, and the built-in image takes its place.
class BarSkin : public QObject
{
    Q_OBJECT
public:
    BarSkin(QStringList skinBases, std::function<void(const QString &)> report,
            QObject *parent = nullptr);

    // Reads all five files of the skin again; nothing is cached.
    void LoadSkin(const QString &skinName);

    const QPixmap &background() const { return m_background; }
    const QPixmap &buttonArea() const { return m_buttonArea; }
    const QPixmap &close() const { return m_close; }

    // What the expand/collapse button shows for the bar's state: the expand
    // image while collapsed, the collapse image while expanded. From the
    // holders LoadSkin filled, or read from the skin's file afresh.
    enum class From
    {
        Holders,
        File,
    };
    QPixmap maxMin(qint16 expanded, From from, const QString &skinName = {});

private:
    QPixmap picture(const QString &skinName, const QString &fileName);
    void flushMissingReport();

    SkinSource m_source;
    std::function<void(const QString &)> m_report;
    QPixmap m_background;
    QPixmap m_buttonArea;
    QPixmap m_close;
    QPixmap PicMaxButton;
    QPixmap PicMinButton;
    QStringList m_reportedMissing;
    QStringList m_pendingMissing;
};
