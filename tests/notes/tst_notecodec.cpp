#include "ansicodepage.h"
#include "notecodec.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

template <std::size_t N> QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

// Any character a note may hold, weighted towards the ones where Windows-1252
// and UTF-8 can be confused: what Windows-1252 puts at 0x80..0x9F, the C1
// controls that stand in for its five undefined bytes, and Latin-1 above A0.
QString randomNote(QRandomGenerator &rng, bool codePageOnly)
{
    static const QString ansi = [] {
        QString s = QStringLiteral(u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ\u0081\u008D\u008F\u0090\u009D\n");
        for (char16_t c = 0xA0; c <= 0xFF; ++c)
            s += QChar(c);
        return s;
    }();
    QString s;
    for (int i = rng.bounded(40); i > 0; --i) {
        switch (rng.bounded(codePageOnly ? 2 : 6)) {
        case 0:
            s += QChar(char16_t(rng.bounded(0x20, 0x7F)));
            break;
        case 1:
            s += ansi[rng.bounded(int(ansi.size()))];
            break;
        case 2:
            s += QChar(char16_t(rng.bounded(0x100, 0xD800)));
            break;
        case 3: {
            const char32_t emoji = char32_t(rng.bounded(0x1F300, 0x1FAFF));
            s += QString::fromUcs4(&emoji, 1);
            break;
        }
        case 4:
            s += QChar(char16_t(rng.bounded(0x20))); // NUL and CR among them
            break;
        default:
            s += rng.bounded(2) ? QStringLiteral("\r\n") : QStringLiteral("\n");
        }
    }
    return s;
}

} // namespace

class TestNoteCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyCharacterSurvivesASaveAndLoad_data()
    {
        QTest::addColumn<bool>("codePageOnly");
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("asUtf8Bytes");
        QTest::newRow("Windows-1252 text") << true << QString() << false;
        QTest::newRow("any text") << false << QString() << false;
        QTest::newRow("text starting with the characters of a UTF-8 mark")
            << true << QStringLiteral(u"ï»¿") << false;
        QTest::newRow("text starting with U+FEFF") << false << QStringLiteral(u"\uFEFF") << false;
        // The one way Windows-1252 text could be misread: its bytes are UTF-8.
        QTest::newRow("UTF-8 opened as Windows-1252") << false << QString() << true;
    }
    void everyCharacterSurvivesASaveAndLoad()
    {
        QFETCH(bool, codePageOnly);
        QFETCH(QString, start);
        QFETCH(bool, asUtf8Bytes);
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 2000; ++i) {
            QString text = start + randomNote(rng, codePageOnly);
            if (asUtf8Bytes)
                text = ansi::decode(text.toUtf8());
            const QByteArray bytes = notecodec::encode(text);
            // Line breaks come back as "\n", whatever they came in as.
            QCOMPARE(
                notecodec::decode(bytes),
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n'));
            QVERIFY(notecodec::looksLikeText(bytes)); // or the saved note would not load
        }
    }

    void notesAreWrittenInTheOldFormatWhenTheyFit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("an empty note is an empty file") << QString() << QByteArray();
        QTest::newRow("accents and a line break")
            << QStringLiteral(u"Café\nZeile 2") << raw("Caf\xE9\r\nZeile 2");
        QTest::newRow("the euro sign, quotes and an undefined byte")
            << QStringLiteral(u"€ „x“\u0081\n\n") << raw("\x80 \x84x\x93\x81\r\n\r\n");
        QTest::newRow("pasted CR LF and lone CR become CR LF")
            << QStringLiteral(u"a\r\nb\rc") << raw("a\r\nb\r\nc");
        QTest::newRow("Cyrillic needs UTF-8")
            << QStringLiteral(u"Я\n") << raw("\xEF\xBB\xBF\xD0\xAF\r\n");
        QTest::newRow("1252 text whose bytes would read as UTF-8")
            << QStringLiteral(u"Ã©") << raw("\xEF\xBB\xBF\xC3\x83\xC2\xA9");
        QTest::newRow("a NUL, which only a marked file may hold") << QStringLiteral(u"a\u0000")
                                                                  << raw("\xEF\xBB\xBF"
                                                                         "a\0");
    }
    void notesAreWrittenInTheOldFormatWhenTheyFit()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(notecodec::encode(text).toHex(' '), bytes.toHex(' '));
    }

    void filesAreReadAsTheirWriterMeantThem_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("an old Windows-1252 note")
            << raw("Caf\xE9\r\n\x80 \x93x\x94") << QStringLiteral(u"Café\n€ “x”");
        QTest::newRow("UTF-8 without a mark") << raw("Caf\xC3\xA9") << QStringLiteral(u"Café");
        QTest::newRow("a mark is dropped, once")
            << raw("\xEF\xBB\xBF\xEF\xBB\xBF\xC3\xA9\r\n") << QStringLiteral(u"\uFEFFé\n");
        QTest::newRow("LF line ends") << raw("a\nb\n\nc") << QStringLiteral("a\nb\n\nc");
        QTest::newRow("CR line ends") << raw("a\rb\r\rc") << QStringLiteral("a\nb\n\nc");
        QTest::newRow("CR CR LF is two line breaks") << raw("a\r\r\nb") << QStringLiteral("a\n\nb");
    }
    void filesAreReadAsTheirWriterMeantThem()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(notecodec::decode(bytes), text);
    }

    void anOldFileIsWrittenBackByteForByte()
    {
        QByteArray bytes("Gr\xFC\xDF"
                         "e\r\n\r\n");
        for (int c = 0x80; c <= 0xFF; ++c)
            bytes.append(char(c)).append("\r\n");
        QCOMPARE(notecodec::encode(notecodec::decode(bytes)).toHex(' '), bytes.toHex(' '));
    }

    void bytesThatAreNotText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("text");
        QTest::newRow("an empty file is text") << QByteArray() << true;
        QTest::newRow("a PNG picture is not") << raw("\x89PNG\r\n\x1A\n\0\0\0\rIHDR") << false;
        QTest::newRow("UTF-16 is not") << raw("\xFF\xFEh\0i\0") << false;
        QTest::newRow("a NUL behind a UTF-8 mark is a note of ours")
            << raw("\xEF\xBB\xBF\0") << true;
    }
    void bytesThatAreNotText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, text);
        QCOMPARE(notecodec::looksLikeText(bytes), text);
    }

    void aTenMegabyteNoteIsSavedInLinearTime()
    {
        // Linear work takes well under a second here even with sanitizers;
        // anything quadratic takes hours.
        QString text =
            QStringLiteral(u"Zeile mit Umlauten: äöü ß €\n").repeated(10 * 1024 * 1024 / 32);
        text += QChar(u'Я'); // onto the UTF-8 path, the slower one
        QElapsedTimer clock;
        clock.start();
        const QString back = notecodec::decode(notecodec::encode(text));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(back, text);
    }
};

QTEST_GUILESS_MAIN(TestNoteCodec)
#include "tst_notecodec.moc"
