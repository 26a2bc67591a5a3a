#include "ansicodepage.h"
#include "notecodec.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

#include <functional>

namespace {

template <std::size_t N> QByteArray raw(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}

// The characters where Windows-1252 differs from Latin-1, the C1 controls
// that stand in for its five undefined bytes, and the Latin-1 upper half.
QString ansiEdges()
{
    QString s = QStringLiteral(u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ");
    s += QStringView(u"\u0081\u008D\u008F\u0090\u009D");
    for (char16_t c = 0xA0; c <= 0xFF; ++c)
        s += QChar(c);
    return s;
}

using Generator = std::function<QString(QRandomGenerator &)>;

QString randomText(QRandomGenerator &rng, const std::function<void(QString &)> &addOne)
{
    QString s;
    const int length = rng.bounded(0, 40);
    for (int i = 0; i < length; ++i)
        addOne(s);
    return s;
}

void addAscii(QRandomGenerator &rng, QString &s)
{
    s += rng.bounded(8) == 0 ? QChar(u'\n') : QChar(char16_t(rng.bounded(0x20, 0x7F)));
}

void addAnsi(QRandomGenerator &rng, QString &s)
{
    static const QString edges = ansiEdges();
    if (rng.bounded(2) == 0)
        addAscii(rng, s);
    else
        s += edges[rng.bounded(int(edges.size()))];
}

void addAnything(QRandomGenerator &rng, QString &s)
{
    switch (rng.bounded(4)) {
    case 0:
        addAnsi(rng, s);
        break;
    case 1: {
        char16_t c = 0;
        do {
            c = char16_t(rng.bounded(0x100, 0x10000));
        } while (QChar::isSurrogate(c));
        s += QChar(c);
        break;
    }
    case 2: {
        const char32_t emoji = char32_t(rng.bounded(0x1F300, 0x1FAFF));
        s += QString::fromUcs4(&emoji, 1);
        break;
    }
    default:
        s += QChar(char16_t(rng.bounded(0x00, 0x20))); // controls, NUL and "\n" among them
        if (s.back() == u'\r')
            s.back() = u'\n';
        break;
    }
}

// Text whose Windows-1252 bytes are valid UTF-8: what a UTF-8 file looks
// like when opened as Windows-1252, and the one way pure Windows-1252 text
// could be misread.
QString mojibake(QRandomGenerator &rng)
{
    const QString source = randomText(rng, [&](QString &s) { addAnything(rng, s); });
    QString text = ansi::decode(source.toUtf8());
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Generator)

class TestNoteCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyTextComesBackUnchanged_data()
    {
        QTest::addColumn<Generator>("generate");
        QTest::newRow("ASCII lines") << Generator([](QRandomGenerator &rng) {
            return randomText(rng, [&](QString &s) { addAscii(rng, s); });
        });
        QTest::newRow("Windows-1252 text") << Generator([](QRandomGenerator &rng) {
            return randomText(rng, [&](QString &s) { addAnsi(rng, s); });
        });
        QTest::newRow("any text, emoji and controls among it")
            << Generator([](QRandomGenerator &rng) {
                   return randomText(rng, [&](QString &s) { addAnything(rng, s); });
               });
        QTest::newRow("UTF-8 read as Windows-1252") << Generator(mojibake);
        QTest::newRow("text starting with the characters of a byte-order mark")
            << Generator([](QRandomGenerator &rng) {
                   return QStringLiteral(u"ï»¿") +
                          randomText(rng, [&](QString &s) { addAnsi(rng, s); });
               });
        QTest::newRow("text starting with U+FEFF") << Generator([](QRandomGenerator &rng) {
            return QChar(u'\uFEFF') + randomText(rng, [&](QString &s) { addAnything(rng, s); });
        });
    }
    void everyTextComesBackUnchanged()
    {
        QFETCH(Generator, generate);
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 2000; ++i) {
            const QString text = generate(rng);
            const QByteArray bytes = notecodec::encode(text);
            QCOMPARE(notecodec::decode(bytes), text);
            // Or a saved note would not load again.
            QVERIFY(notecodec::looksLikeText(bytes));
        }
    }

    void textThatFitsTheCodePageGetsTheOldBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("an empty note is an empty file") << QString() << QByteArray();
        QTest::newRow("accents and a line break")
            << QStringLiteral(u"Café\nZeile 2") << raw("Caf\xE9\r\nZeile 2");
        QTest::newRow("the euro sign and typographic quotes") << QStringLiteral(u"€5 „gut“ – ok…")
                                                              << raw("\x80"
                                                                     "5 \x84gut\x93 \x96 ok\x85");
        QTest::newRow("a bare C1 control stands for an undefined byte")
            << QStringLiteral(u"a\u0081\u009Db")
            << raw("a\x81\x9D"
                   "b");
        QTest::newRow("blank lines and a trailing line break")
            << QStringLiteral(u"\n\nx\n") << raw("\r\n\r\nx\r\n");
        QTest::newRow("a CR that came in with pasted text is a line break")
            << QStringLiteral(u"a\r\nb\rc") << raw("a\r\nb\r\nc");
    }
    void textThatFitsTheCodePageGetsTheOldBytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(notecodec::encode(text).toHex(' '), bytes.toHex(' '));
    }

    void textThatDoesNotFitIsUtf8BehindAMark_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("Cyrillic") << QStringLiteral(u"Привет\nмир");
        QTest::newRow("an emoji") << QStringLiteral(u"ok 👍");
        QTest::newRow("1252 text whose bytes would read as UTF-8") << QStringLiteral(u"Ã©");
        QTest::newRow("1252 text whose bytes would read as a mark") << QStringLiteral(u"ï»¿x");
        QTest::newRow("a NUL character") << QStringLiteral(u"a\u0000b");
    }
    void textThatDoesNotFitIsUtf8BehindAMark()
    {
        QFETCH(QString, text);
        QString withCrLf = text;
        withCrLf.replace(u'\n', QStringLiteral("\r\n"));
        QCOMPARE(notecodec::encode(text).toHex(' '),
                 (raw("\xEF\xBB\xBF") + withCrLf.toUtf8()).toHex(' '));
    }

    void filesReadAsTheirWriterMeantThem_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("an old Windows-1252 note")
            << raw("Caf\xE9\r\n\x80 \x93x\x94") << QStringLiteral(u"Café\n€ “x”");
        QTest::newRow("UTF-8 without a mark")
            << QByteArray("Caf\xC3\xA9\nok") << QStringLiteral(u"Café\nok");
        QTest::newRow("UTF-8 behind a mark, which is dropped") << raw("\xEF\xBB\xBF"
                                                                      "Caf\xC3\xA9\r\n")
                                                               << QStringLiteral(u"Café\n");
        QTest::newRow("a mark is dropped once only")
            << raw("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral(u"\uFEFFx");
        QTest::newRow("LF line ends")
            << QByteArray("one\ntwo\n\nthree") << QStringLiteral(u"one\ntwo\n\nthree");
        QTest::newRow("CR line ends")
            << QByteArray("one\rtwo\r\rthree") << QStringLiteral(u"one\ntwo\n\nthree");
        QTest::newRow("mixed line ends")
            << QByteArray("a\r\nb\rc\nd\r") << QStringLiteral(u"a\nb\nc\nd\n");
        QTest::newRow("CR CR LF is two line breaks")
            << QByteArray("a\r\r\nb") << QStringLiteral(u"a\n\nb");
    }
    void filesReadAsTheirWriterMeantThem()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(notecodec::decode(bytes), text);
    }

    void anOldFileIsWrittenBackByteForByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("German with umlauts") << raw("Gr\xFC\xDF"
                                                    "e\r\n\xC4rger \xFC"
                                                    "ber \xD6l\r\n");
        QTest::newRow("every byte from 0x80 up, one line each") << [] {
            QByteArray b;
            for (int c = 0x80; c <= 0xFF; ++c)
                b.append(char(c)).append("\r\n");
            return b;
        }();
        QTest::newRow("the five undefined bytes") << raw("\x81\x8D\x8F\x90\x9D");
        QTest::newRow("plain ASCII") << QByteArray("shopping\r\n- milk\r\n");
        QTest::newRow("only line breaks") << QByteArray("\r\n\r\n");
    }
    void anOldFileIsWrittenBackByteForByte()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(notecodec::encode(notecodec::decode(bytes)).toHex(' '), bytes.toHex(' '));
    }

    void bytesThatAreNotText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("text");
        QTest::newRow("an empty file is text") << QByteArray() << true;
        QTest::newRow("Windows-1252 is text") << raw("Caf\xE9\r\n") << true;
        QTest::newRow("a PNG picture is not") << raw("\x89PNG\r\n\x1A\n\0\0\0\rIHDR") << false;
        QTest::newRow("UTF-16 is not") << raw("\xFF\xFEh\0i\0") << false;
        QTest::newRow("a NUL at the very end is not") << raw("text\0") << false;
        QTest::newRow("a NUL behind a UTF-8 mark is our own note") << raw("\xEF\xBB\xBF"
                                                                          "a\0b")
                                                                   << true;
    }
    void bytesThatAreNotText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, text);
        QCOMPARE(notecodec::looksLikeText(bytes), text);
    }

    void aTenMegabyteNoteIsSavedInLinearTime()
    {
        // Forced onto the UTF-8 path by its last character. Linear work takes
        // well under a second here even in a sanitizer build; anything
        // quadratic takes hours.
        QString text;
        for (int i = 0; i < 10 * 1024 * 1024 / 32; ++i)
            text += QStringLiteral(u"Zeile mit Umlauten: äöü ß €\n");
        text += QChar(u'\u0416');
        QElapsedTimer clock;
        clock.start();
        const QByteArray bytes = notecodec::encode(text);
        const QString back = notecodec::decode(bytes);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(back, text);
    }
};

QTEST_GUILESS_MAIN(TestNoteCodec)
#include "tst_notecodec.moc"
