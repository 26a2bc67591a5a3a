#include "settingscodec.h"

#include "core/ansicodepage.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace settingscodec {
namespace {

qsizetype recordStart(int record)
{
    return qsizetype(record) * kRecordSize;
}

bool readInt16(QByteArrayView bytes, int record, qint16 &value)
{
    const qsizetype at = recordStart(record);
    if (bytes.size() < at + 2)
        return false;
    value = qFromLittleEndian<qint16>(bytes.data() + at);
    return true;
}

void putInt16(QByteArray &out, int record, qint16 value)
{
    qToLittleEndian<qint16>(value, out.data() + recordStart(record));
}

} // namespace

bool canStoreName(QStringView name)
{
    QByteArray bytes;
    return ansi::encode(name, bytes) && bytes.size() <= kMaxNameBytes;
}

Settings decode(QByteArrayView bytes, const Settings &start)
{
    Settings s = start;
    readInt16(bytes, 0, s.PosFromRight);
    readInt16(bytes, 1, s.PosTop);
    const qsizetype nameAt = recordStart(2);
    if (bytes.size() >= nameAt + 2) {
        const quint16 stored = qFromLittleEndian<quint16>(bytes.data() + nameAt);
        const qsizetype present = bytes.size() - (nameAt + 2);
        const qsizetype length = std::min<qsizetype>({stored, kMaxNameBytes, present});
        s.SkinName = ansi::decode(bytes.sliced(nameAt + 2, length));
    }
    readInt16(bytes, 3, s.Transparency);
    return s;
}

bool encode(const Settings &settings, QByteArrayView existing, QByteArray &out, QString *error)
{
    QByteArray name;
    if (!ansi::encode(settings.SkinName, name)) {
        if (error)
            *error = QCoreApplication::translate(
                         "Settings", "The skin name \"%1\" has characters that cannot be stored.")
                         .arg(settings.SkinName);
        return false;
    }
    if (name.size() > kMaxNameBytes) {
        if (error)
            *error =
                QCoreApplication::translate(
                    "Settings", "The skin name is %1 characters long; at most %2 can be stored.")
                    .arg(name.size())
                    .arg(kMaxNameBytes);
        return false;
    }

    out = existing.toByteArray();
    if (out.size() < kFileSize)
        out.resize(kFileSize);
    std::memset(out.data(), 0, kFileSize);
    putInt16(out, 0, settings.PosFromRight);
    putInt16(out, 1, settings.PosTop);
    qToLittleEndian<quint16>(quint16(name.size()), out.data() + recordStart(2));
    std::memcpy(out.data() + recordStart(2) + 2, name.constData(), name.size());
    putInt16(out, 3, settings.Transparency);
    return true;
}

} // namespace settingscodec
