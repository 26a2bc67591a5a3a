#include "ansicodepage.h"
#include "settingscodec.h"

#include <QTest>

namespace {

QByteArray record(QByteArrayView value)
{
    QByteArray r(settingscodec::kRecordSize, '\0');
    std::memcpy(r.data(), value.data(), value.size());
    return r;
}

QByteArray fileOf(QByteArrayView r1, QByteArrayView r2, QByteArrayView r3, QByteArrayView r4)
{
    return record(r1) + record(r2) + record(r3) + record(r4);
}

// Literal bytes, NULs included.
template <std::size_t N>
QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

QByteArray nameRecord(quint16 length, QByteArrayView text)
{
    QByteArray r;
    r.append(char(length & 0xFF)).append(char(length >> 8)).append(text.data(), text.size());
    return r;
}

Settings make(qint16 right, qint16 top, const QString &skin, qint16 transparency)
{
    Settings s;
    s.PosFromRight = right;
    s.PosTop = top;
    s.SkinName = skin;
    s.Transparency = transparency;
    return s;
}

} // namespace

Q_DECLARE_METATYPE(Settings)

class TestSettingsCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void xpStyleBlueWithFadingIsTheDocumentedBytes()
    {
        QByteArray bytes;
        QVERIFY(settingscodec::encode(make(3840, 70, QStringLiteral("Blue"), 1), {}, bytes));
        QByteArray expected(512, '\0');
        expected[0] = '\x00';
        expected[1] = '\x0F';
        expected[128] = '\x46';
        const char name[] = {'\x04', '\x00', 'B', 'l', 'u', 'e'};
        std::memcpy(expected.data() + 256, name, sizeof name);
        expected[384] = '\x01';
        QCOMPARE(bytes.toHex(' '), expected.toHex(' '));
    }

    void classicStyleStoresItsPair()
    {
        QByteArray bytes;
        QVERIFY(settingscodec::encode(make(3590, 0, QStringLiteral("Blue"), 0), {}, bytes));
        QCOMPARE(bytes.mid(0, 2), QByteArray("\x06\x0E", 2));
        QCOMPARE(bytes.mid(128, 2), QByteArray("\x00\x00", 2));
        QCOMPARE(bytes.mid(384, 2), QByteArray("\x00\x00", 2));
    }

    void valuesSurviveARoundTrip_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::newRow("xp style, fading on") << make(3840, 70, QStringLiteral("Blue"), 1);
        QTest::newRow("classic style, fading off") << make(3590, 0, QStringLiteral("Silver"), 0);
        QTest::newRow("negative and odd values")
            << make(-32768, 32767, QStringLiteral("Olive"), -1);
        QTest::newRow("name of 126 bytes") << make(1, 2, QString(126, u'x'), 1);
        QTest::newRow("empty name") << make(3840, 70, QString(), 0);
        QTest::newRow("code page characters") << make(3840, 70, QStringLiteral("Café €™"), 1);
    }
    void valuesSurviveARoundTrip()
    {
        QFETCH(Settings, settings);
        QByteArray bytes;
        QVERIFY(settingscodec::encode(settings, {}, bytes));
        QCOMPARE(bytes.size(), 512);
        QCOMPARE(settingscodec::decode(bytes), settings);
    }

    void readsOfShortAndDamagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Settings>("expected");
        const QByteArray full = fileOf(raw("\x06\x0E"), raw("\x00\x00"), nameRecord(6, raw("Silver")), raw("\x01\x00"));
        const Settings first;
        QTest::newRow("empty file keeps every first-start value") << QByteArray() << first;
        QTest::newRow("one byte is not yet a value") << full.left(1) << first;
        QTest::newRow("first value only") << full.left(2) << make(3590, 70, QStringLiteral("Blue"), 0);
        QTest::newRow("cut inside the second record") << full.left(129) << make(3590, 70, QStringLiteral("Blue"), 0);
        QTest::newRow("last record cut after its value") << full.left(386) << make(3590, 0, QStringLiteral("Silver"), 1);
        QTest::newRow("last value cut in half") << full.left(385) << make(3590, 0, QStringLiteral("Silver"), 0);
        QTest::newRow("name cut short by the end of the file")
            << full.left(258 + 3) << make(3590, 0, QStringLiteral("Sil"), 0);
        QTest::newRow("stored length beyond its record")
            << fileOf(raw("\x06\x0E"), raw(""), nameRecord(200, QByteArray(126, 'n')), raw("\x01\x00"))
            << make(3590, 0, QString(126, u'n'), 1);
        QTest::newRow("maximum stored length")
            << fileOf(raw(""), raw(""), nameRecord(0xFFFF, raw("abc")), raw("")) << make(0, 0, QStringLiteral("abc") + QString(123, QChar(0)), 0);
        QTest::newRow("padding holds left-overs of a longer name")
            << fileOf(raw("\x00\x0F"), raw("\x46\x00"), nameRecord(4, raw("BlueprintLeftovers")), raw("\x01\x00\xFF\xFF"))
            << make(3840, 70, QStringLiteral("Blue"), 1);
        QTest::newRow("bytes after the last record are ignored")
            << full + QByteArray(300, '\xAB') << make(3590, 0, QStringLiteral("Silver"), 1);
    }
    void readsOfShortAndDamagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Settings, expected);
        QCOMPARE(settingscodec::decode(bytes), expected);
    }

    void namesThatCannotBeStoredAreRefusedWithAReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("127 bytes") << QString(127, u'x');
        QTest::newRow("outside the code page") << QStringLiteral("Синий");
    }
    void namesThatCannotBeStoredAreRefusedWithAReason()
    {
        QFETCH(QString, name);
        QByteArray out;
        QString error;
        QVERIFY(!settingscodec::encode(make(3840, 70, name, 0), {}, out, &error));
        QVERIFY(!error.isEmpty());
    }

    void writingOverAFileZeroesPaddingAndKeepsItsTail()
    {
        const QByteArray old = QByteArray(512, '\x5A') + QByteArray("tail");
        QByteArray out;
        QVERIFY(settingscodec::encode(make(3840, 70, QStringLiteral("Blue"), 1), old, out));
        QByteArray fresh;
        QVERIFY(settingscodec::encode(make(3840, 70, QStringLiteral("Blue"), 1), {}, fresh));
        QCOMPARE(out.left(512), fresh);
        QCOMPARE(out.mid(512), QByteArray("tail"));
    }

    void everyCodePageByteSurvivesDecodeAndEncode()
    {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString text = ansi::decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(text.at(0x80), QChar(0x20AC));
        QCOMPARE(text.at(0x9F), QChar(0x0178));
        QByteArray back;
        QVERIFY(ansi::encode(text, back));
        QCOMPARE(back, all);
    }
};

QTEST_GUILESS_MAIN(TestSettingsCodec)
#include "tst_settingscodec.moc"
