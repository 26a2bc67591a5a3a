#include "ansicodepage.h"
#include "atomicwrite.h"
#include "filedialogseam.h"
#include "notecodec.h"
#include "notefiles.h"
#include "notesaver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using notefiles::LoadStatus;

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

using Chosen = std::optional<QString>;

// Answers each dialog with the next of `answers` and notes what it offered.
struct ScriptedDialog : FileDialogSeam
{
    QList<Chosen> answers;
    QStringList offered;
    Chosen openFile(QWidget *, const QString &p, const QString &) override { return answer(p); }
    Chosen saveFile(QWidget *, const QString &p, const QString &) override { return answer(p); }
    Chosen answer(const QString &offer)
    {
        offered.append(offer);
        return answers.takeFirst();
    }
};

} // namespace

class TestNotes : public QObject
{
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir;
    QString m_texts[3] = {u"typed"_s, QString(64 * 1024, u'y')};
    NoteSaver::TextOf m_textOf = [this](int n) { return m_texts[n - 1]; };
    QString note(int n) const { return notefiles::notePath(m_dir->path(), n); }
    // Every file in the folder, with what it holds.
    QByteArrayList onDisk() const
    {
        QByteArrayList all;
        for (const QString &n : QDir(m_dir->path()).entryList(QDir::Files)) {
            QFile f(m_dir->filePath(n));
            all.append(n.toLatin1() + ' ' + (f.open(QIODevice::ReadOnly) ? f.readAll() : "?"));
        }
        return all;
    }

private Q_SLOTS:
    void init()
    {
        m_dir.emplace(); // fresh for each test, whatever the last one left
        for (int n = 1; n <= 3; ++n)
            QVERIFY(writeFileAtomically(note(n), "on disk"));
    }

    void everyNoteSurvivesASaveAndLoad_data()
    {
        QTest::addColumn<int>("kinds");
        QTest::addColumn<QString>("start");
        QTest::newRow("Windows-1252 text") << 3 << QString();
        QTest::newRow("any text") << 6 << QString();
        QTest::newRow("text starting with the characters of a UTF-8 mark") << 3 << u"ï»¿"_s;
    }
    void everyNoteSurvivesASaveAndLoad()
    {
        QFETCH(int, kinds);
        QFETCH(QString, start);
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 3000; ++i) {
            const QString text = start + randomNote(rng, kinds);
            const QByteArray bytes = notecodec::encode(text);
            QCOMPARE(notecodec::decode(bytes), withLf(text));
            QVERIFY(notecodec::looksLikeText(bytes)); // or the saved note would not load
        }
    }

    void notesUseTheOldFormatWhenTheyFit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QByteArray everyHighByte = "Gr\xFC\xDF"_ba;
        for (int c = 0x80; c <= 0xFF; ++c)
            everyHighByte.append("\r\n").append(char(c));
        QTest::newRow("an old file is written back byte for byte")
            << notecodec::decode(everyHighByte) << everyHighByte;
        QTest::newRow("the euro sign, accents, quotes, an undefined byte, any line break as CR LF")
            << u"€ Café „x“\u0081\n\r\nb\rc"_s << "\x80 Caf\xE9 \x84x\x93\x81\r\n\r\nb\r\nc"_ba;
        QTest::newRow("1252 text whose bytes would read as UTF-8 gets a mark")
            << u"Ã©"_s << "\xEF\xBB\xBF\xC3\x83\xC2\xA9"_ba;
        QTest::newRow("other text is UTF-8 behind a mark, and only that mark is dropped")
            << u"\uFEFFЯ\n"_s << "\xEF\xBB\xBF\xEF\xBB\xBF\xD0\xAF\r\n"_ba;
    }
    void notesUseTheOldFormatWhenTheyFit()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(notecodec::encode(text).toHex(' '), bytes.toHex(' '));
        QCOMPARE(notecodec::decode(bytes), withLf(text));
    }

    void loadingANoteSaysWhatItFound_data()
    {
        QTest::addColumn<QByteArray>("occupant");
        QTest::addColumn<LoadStatus>("status");
        QTest::addColumn<QString>("expected"); // the text, or what the error says
        QTest::newRow("a missing note is empty")
            << QByteArray() << LoadStatus::Missing << QString();
        QTest::newRow("UTF-8 without a mark and LF, CR and CR CR LF line ends are read")
            << "Caf\xC3\xA9\nb\r\rc\r\r\nd"_ba << LoadStatus::Loaded << u"Café\nb\n\nc\n\nd"_s;
        QTest::newRow("a marked UTF-8 note cut inside its last character keeps a mark for it")
            << "\xEF\xBB\xBFNa\xC3\xAFve \xC3"_ba << LoadStatus::Loaded << u"Naïve \uFFFD"_s;
        QTest::newRow("a folder fails") << "<folder>"_ba << LoadStatus::Failed << u"folder"_s;
        QTest::newRow("a file over 64 MiB fails")
            << "<huge>"_ba << LoadStatus::Failed << u"64 MiB"_s;
        QTest::newRow("a picture fails")
            << "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"_ba << LoadStatus::Failed << u"text file"_s;
    }
    void loadingANoteSaysWhatItFound()
    {
        QFETCH(QByteArray, occupant);
        QFETCH(LoadStatus, status);
        QFETCH(QString, expected);
        QFile file(note(2));
        QVERIFY(file.remove());
        if (occupant == "<folder>")
            QVERIFY(QDir().mkpath(note(2)));
        else if (occupant == "<huge>") // sparse, so nothing is written
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(notefiles::kReadLimit + 1));
        else if (!occupant.isNull())
            QVERIFY(writeFileAtomically(note(2), occupant));
        QString text = u"kept"_s, why;
        QCOMPARE(notefiles::loadNote(note(2), text, &why), status);
        const bool failed = status == LoadStatus::Failed;
        QCOMPARE(text, failed ? u"kept"_s : expected);
        QVERIFY2(failed ? why.contains(note(2)) && why.contains(expected) : why.isEmpty(),
                 qPrintable(why));
    }

    void aFailedSaveKeepsThePreviousFileAndIsReportedOnce()
    {
        // Writes past 4 KiB stop part way with an error, as on a full disk.
        rlimit unlimited{};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const auto diskFull = [&](bool full) {
            const rlimit limit{full ? 4096 : unlimited.rlim_cur, unlimited.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        };
        const auto restore = qScopeGuard([&] { diskFull(false); });
        std::signal(SIGXFSZ, SIG_IGN); // so that the writer sees the error
        NoteSaver saver(m_dir->path(), m_textOf, 1h);
        QSignalSpy failed(&saver, &NoteSaver::saveFailed);
        diskFull(true);
        saver.markChanged(1);
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        // Only changed notes are written, and no half-written file is left.
        QCOMPARE(onDisk(),
                 QByteArrayList({"note01.qkn typed", "note02.qkn on disk", "note03.qkn on disk"}));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), 2);
        QVERIFY(failed.at(0).at(1).toString().contains(note(2)));
        // Neither a later save nor a later edit says the same thing again.
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 1);
        diskFull(false);
        QVERIFY(saver.saveNow());
        QCOMPARE(onDisk().at(1), "note02.qkn " + m_texts[1].toLatin1());
        // Once it worked, the same trouble is news again.
        diskFull(true);
        saver.markChanged(2);
        QVERIFY(!saver.saveNow());
        QCOMPARE(failed.count(), 2);
    }

    void theSaveWaitsForAPauseInTyping()
    {
        NoteSaver saver(m_dir->path(), m_textOf, 100ms);
        QElapsedTimer clock;
        clock.start();
        for (qint64 lastKey = 0; clock.elapsed() < 300; lastKey = clock.elapsed()) {
            m_texts[2] += u'x';
            saver.markChanged(3);
            QTest::qWait(5); // the typist's pace, not a wait for the result
            // A stall longer than the delay may rightly let a save through.
            QVERIFY2(saver.isDirty(3) || clock.elapsed() - lastKey >= 95, "saved while typing");
        }
        QTRY_VERIFY(!saver.isDirty(3));
        QCOMPARE(onDisk().last(), "note03.qkn " + m_texts[2].toLatin1()); // as last typed
    }

    void oldFiltersBecomeQtFilters_data()
    {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QString>("qt");
        QTest::newRow("the stored filter keeps its descriptions")
            << u"Text (*.txt)|*.txt|All (*.*)|*.*"_s << u"Text (*.txt);;All (*.*)"_s;
        QTest::newRow("patterns are added, split by spaces, and entries without one dropped")
            << u"Text|*.txt; *.log|None| ;|Odd"_s << u"Text (*.txt *.log)"_s;
        QTest::newRow("parentheses that are not the patterns stay words")
            << u"Notes (*.txt;*.qkn)|*.txt;*.qkn"_s << u"Notes (*.txt;*.qkn) (*.txt *.qkn)"_s;
    }
    void oldFiltersBecomeQtFilters()
    {
        QFETCH(QString, pipe);
        QFETCH(QString, qt);
        QCOMPARE(qtFilter(pipe), qt);
    }

    void theLastChosenPathIsOfferedNextWhicheverDialogChoseIt()
    {
        ScriptedDialog scripted;
        scripted.answers = {u"/in"_s, std::nullopt, u""_s, u"/out"_s};
        LastPathFileDialog dialog(scripted);
        dialog.openFile(nullptr, u"/1"_s, {});
        QCOMPARE(dialog.saveFile(nullptr, u"/2"_s, {}), std::nullopt);
        dialog.openFile(nullptr, u"/3"_s, {});
        QCOMPARE(dialog.saveFile(nullptr, u"/4"_s, {}), u"/out"_s);
        // Neither a cancel nor an empty answer forgets the path before it.
        QCOMPARE(scripted.offered, QStringList({u"/1"_s, u"/in"_s, u"/in"_s, u"/in"_s}));
    }
};

QTEST_GUILESS_MAIN(TestNotes)
#include "tst_notefiles.moc"
