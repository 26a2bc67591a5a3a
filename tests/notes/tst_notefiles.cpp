#include "core/ansicodepage.h"
#include "notes/filedialogseam.h"
#include "notes/notecodec.h"

#include <QRandomGenerator>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace Qt::StringLiterals;
using notecodec::Encoding;

namespace {

QString withLf(QString text)
{
    return text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
}

// The first `kinds` of: ASCII, C0 controls (NUL, CR and LF among them), what
// the code page's high bytes stand for (C1 controls for its undefined five),
// any C1 control or Latin-1 letter, the rest of the BMP, emoji.
QString randomNote(QRandomGenerator &rng, int kinds)
{
    static constexpr quint32 from[] = {0x20, 0, 0x80, 0x80, 0x100, 0x1F300};
    static constexpr quint32 to[] = {0x7F, 0x20, 0x100, 0x100, 0xD800, 0x1FB00};
    QString s;
    for (int i = rng.bounded(40); i > 0; --i) {
        const int kind = rng.bounded(kinds);
        char32_t c = rng.bounded(from[kind], to[kind]);
        if (kind == 2)
            c = ansi::decode(QByteArray(1, char(c))).at(0).unicode();
        s += QString::fromUcs4(&c, 1);
    }
    return s;
}

} // namespace

class TestNotes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
#ifdef Q_OS_WIN // a Russian system's notes are in its own code page, not 1252
    void aRussianSystemReadsItsOwnCodePage()
    {
        if (::GetACP() != 1251)
            QSKIP("this system's code page is another");
        QCOMPARE(ansi::decode("\xC0\xFF\x80"), u"\u0410\u044F\u0402"_s);
    }
#endif

    void everyNoteSurvivesASaveAndLoad()
    {
        QRandomGenerator rng(20240611);
        // Windows-1252 text, any text, and text starting with the characters
        // of a UTF-8 mark.
        for (const auto &[kinds, start] :
             QList<std::pair<int, QString>>{{3, {}}, {6, {}}, {3, u"ï»¿"_s}})
            for (int i = 0; i < 3000; ++i) {
                const QString text = start + randomNote(rng, kinds);
                // Whichever way the note was read, it is written so that it reads back.
                for (const Encoding kept : {Encoding::Legacy, Encoding::Utf8, Encoding::Utf8Bom}) {
                    const QByteArray bytes = notecodec::encode(text, kept);
                    QCOMPARE(notecodec::decode(bytes), withLf(text));
                    QVERIFY(notecodec::looksLikeText(bytes)); // or the saved note would not load
                }
            }
    }

    void aNoteReadsAsThePadShowsItAndIsWrittenBackTheSameWay_data()
    {
        QTest::addColumn<QByteArray>("onDisk");
        QTest::addColumn<QString>("typed"); // appended before the note is written back
        QTest::addColumn<QByteArray>("written");
        QByteArray everyHighByte = "Gr\xFC\xDF"_ba;
        for (int c = 0x7F; c <= 0xFF; ++c)
            everyHighByte.append("\r\n").append(char(c));
        QTest::newRow("an old file, byte for byte") << everyHighByte << u""_s << everyHighByte;
        QTest::newRow("a new note: the euro sign, accents, quotes, an undefined byte, CR LF")
            << QByteArray() << u"€ Café „x“\u0081Àÿ\n\r\nb\rc"_s
            << "\x80 Caf\xE9 \x84x\x93\x81\xC0\xFF\r\n\r\nb\r\nc"_ba;
        QTest::newRow("a new note whose 1252 bytes would read as UTF-8 gets a mark")
            << QByteArray() << u"Ã©"_s << "\xEF\xBB\xBF\xC3\x83\xC2\xA9"_ba;
        QTest::newRow("a new note starting with U+FEFF keeps it behind a mark")
            << QByteArray() << u"\uFEFFЯ\n"_s << "\xEF\xBB\xBF\xEF\xBB\xBF\xD0\xAF\r\n"_ba;
        QTest::newRow("UTF-8 from another editor stays UTF-8 without a mark")
            << "caf\xC3\xA9"_ba << u"!"_s << "caf\xC3\xA9!"_ba;
        QTest::newRow("marked UTF-8 keeps its mark even where the code page would do")
            << "\357\273\277abc"_ba << u"\n"_s << "\357\273\277abc\r\n"_ba;
        QTest::newRow("Windows-1252 becomes marked UTF-8 only when it must")
            << "caf\xE9"_ba << u"Я"_s << "\357\273\277caf\xC3\xA9\xD0\xAF"_ba;
        QTest::newRow("plain ASCII is the old format") << "abc"_ba << u"é"_s << "abc\xE9"_ba;
        QTest::newRow("UTF-8 that would not read back without a mark gets one")
            << "caf\xC3\xA9"_ba << u"\u0000"_s << "\357\273\277caf\xC3\xA9\x00"_ba;
        // Read as the pad shows it: every line end, and what the pad shows as
        // one, is a line break; a cut last character is kept as a mark.
        QTest::newRow("UTF-8 with LF, CR and CR CR LF line ends")
            << "Caf\xC3\xA9\nb\r\rc\r\r\nd"_ba << QString()
            << "Caf\xC3\xA9\r\nb\r\n\r\nc\r\n\r\nd"_ba;
        QTest::newRow("the pad's other line breaks") << u"a\u2028b\u2029c\uFDD0d\uFDD1e"_s.toUtf8()
                                                     << QString() << "a\r\nb\r\nc\r\nd\r\ne"_ba;
        QTest::newRow("marked UTF-8 cut inside its last character")
            << "\xEF\xBB\xBFNa\xC3\xAFve \xC3"_ba << QString()
            << "\xEF\xBB\xBFNa\xC3\xAFve \xEF\xBF\xBD"_ba;
    }
    void aNoteReadsAsThePadShowsItAndIsWrittenBackTheSameWay()
    {
        if (ansi::inUse() != ansi::windows1252())
            QSKIP("the rows are Windows-1252's bytes; this system's code page is another");
        QFETCH(QByteArray, onDisk);
        QFETCH(QString, typed);
        QFETCH(QByteArray, written);
        Encoding found = Encoding::Legacy;
        const QString read = notecodec::decode(onDisk, &found);
        QVERIFY(!read.contains(u'\r'));
        const QString text = read + typed;
        QCOMPARE(notecodec::encode(text, found).toHex(' '), written.toHex(' '));
        QCOMPARE(notecodec::decode(written), withLf(text));
    }

    void theStoredFilterBecomesQtsFilter()
    {
        QCOMPARE(qtFilter(u"Text files (*.txt)|*.txt|All Files (*.*)|*.*"_s),
                 u"Text files (*.txt);;All Files (*.*)"_s);
    }
};

QTEST_GUILESS_MAIN(TestNotes)
#include "tst_notefiles.moc"
