#pragma once

#include <QByteArray>
#include <QString>

// The four values kept in settings.dat. The defaults are what a first start
// uses: the XP-style position, the Blue skin, no fading.
struct Settings
{
    qint16 PosFromRight = 3840;
    qint16 PosTop = 70;
    QString SkinName = QStringLiteral("Blue");
    qint16 Transparency = 0;

    friend bool operator==(const Settings &, const Settings &) = default;
};

namespace settingscodec {

inline constexpr int kRecordSize = 128;
inline constexpr int kRecordCount = 4;
inline constexpr int kFileSize = kRecordSize * kRecordCount;
inline constexpr int kMaxNameBytes = kRecordSize - 2;

// Whether `name` fits its record: every character has a byte in the code
// page, and there are at most kMaxNameBytes of them.
bool canStoreName(QStringView name);

// Reads the records the bytes hold. A record whose value lies beyond the end
// keeps the value `start` has for it; a stored name length is clipped to its
// record and to the bytes present.
Settings decode(QByteArrayView bytes, const Settings &start = Settings());

// Writes the four records over `existing`, as a write in place would: bytes
// after the fourth record are kept. Fails with a message for a name that
// cannot be stored in its record.
bool encode(const Settings &settings, QByteArrayView existing, QByteArray &out,
            QString *error = nullptr);

} // namespace settingscodec
