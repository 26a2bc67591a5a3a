// Time of one keystroke in the note pad, from the key event to the note's
// store being current and the pad repainted, for notes of several sizes (or
// the one size given), against a bare QPlainTextEdit of the same size,
// font and text. Each figure is the median over several rounds of the
// median keystroke of a round; the worst is the slowest single keystroke.
// The worst includes Qt's one-time layout of the last line when it first
// wraps, which the bare editor pays as well. `make bench` runs it on Xvfb.
#include "bar/barnotes.h"
#include "bar/frmmargletqk.h"
#include "core/designfonts.h"
#include "notes/notebook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRounds = 5;
constexpr int kKeysPerRound = 40;

QString noteOfSize(qsizetype bytes)
{
    const QString line = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789\n");
    QString text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    text.truncate(bytes);
    return text;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

struct Figures
{
    double medianMs = 0;
    double worstMs = 0;
};

// Types into `pad`, which must already hold the note with the caret at its end.
Figures typeInto(QPlainTextEdit *pad)
{
    // The first keystroke lays the document out; it is not what typing costs.
    QTest::keyClick(pad, Qt::Key_A);
    QCoreApplication::processEvents();
    QList<qint64> roundMedians;
    qint64 worst = 0;
    for (int round = 0; round < kRounds; ++round) {
        QList<qint64> nanos;
        for (int i = 0; i < kKeysPerRound; ++i) {
            QElapsedTimer clock;
            clock.start();
            QTest::keyClick(pad, Qt::Key_A);
            QCoreApplication::processEvents(); // the repaint belongs to the keystroke
            nanos.append(clock.nsecsElapsed());
        }
        roundMedians.append(median(nanos));
        worst = std::max(worst, *std::max_element(nanos.begin(), nanos.end()));
    }
    return {median(roundMedians) / 1e6, worst / 1e6};
}

Figures bar(const QString &note, const QString &folder, bool *ok)
{
    BarEnvironment env;
    env.dataFolder = folder;
    env.report = [](const QString &) {};
    env.autosaveDelay = std::chrono::hours(1);
    env.autosaveLimit = std::chrono::hours(1);
    FrmMargletQK bar(env);
    bar.Form_Load();
    bar.show();
    // Opened as the user opens it: a shut bar's pad takes no keys.
    QTest::mouseClick(bar.findChild<QWidget *>(QStringLiteral("PicMaxMin")), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return bar.height() == 343; }))
        qFatal("the bar never opened");
    auto *pad = bar.findChild<QPlainTextEdit *>();
    // Picking a note is what gives the pad its text.
    QTest::mouseClick(bar.findChild<QWidget *>(QStringLiteral("PicTab01")), Qt::LeftButton);
    BarNotes *notes = bar.findChild<BarNotes *>();
    notes->setNotepadText(note);
    pad->setFocus();
    pad->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    const Figures figures = typeInto(pad);
    *ok = notes->notes().TxtNote01.size() == note.size() + 1 + kRounds * kKeysPerRound;
    return figures;
}

Figures bare(const QString &note)
{
    QPlainTextEdit pad;
    pad.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    pad.setGeometry(8, 48, 169, 193);
    pad.setFrameShape(QFrame::NoFrame);
    pad.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pad.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pad.setFont(designfonts::sansSerif(8.25));
    pad.setPlainText(note);
    pad.show();
    pad.setFocus();
    pad.moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    return typeInto(&pad);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("One keystroke in the note pad, median of %d rounds of %d keys\n", kRounds,
                kKeysPerRound);
    std::printf("%-8s %14s %14s %15s %16s %9s\n", "note", "bar median ms", "bar worst ms",
                "bare median ms", "bare worst ms", "median");
    QList<qsizetype> sizes = {10'000, 1'000'000, 10'000'000};
    if (argc > 1)
        sizes = {QByteArray(argv[1]).toLongLong()};
    for (const qsizetype size : sizes) {
        const QString note = noteOfSize(size);
        bool ok = false;
        const Figures ours = bar(note, dir.path(), &ok);
        if (!ok) {
            std::fprintf(stderr, "the note's store missed keystrokes\n");
            return 1;
        }
        const Figures base = bare(note);
        const QString label = size >= 1'000'000 ? QStringLiteral("%1 MB").arg(size / 1'000'000)
                                                : QStringLiteral("%1 KB").arg(size / 1000);
        std::printf("%-8s %14.2f %14.2f %15.2f %16.2f %8.2fx\n", qPrintable(label), ours.medianMs,
                    ours.worstMs, base.medianMs, base.worstMs, ours.medianMs / base.medianMs);
    }
    return 0;
}
