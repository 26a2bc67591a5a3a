// Time of one keystroke in the note pad, from the key event to the note's
// store being current, for notes of several sizes (or the one size given).
// The worst case includes Qt's one-time layout of the last line when it
// first wraps, which a bare QPlainTextEdit pays as well. Runs on any Qt
// platform; `make bench` uses the offscreen one.
#include "frmmargletqk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

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

double medianMs(QList<qint64> nanos)
{
    std::sort(nanos.begin(), nanos.end());
    return nanos.at(nanos.size() / 2) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("%-10s %12s %12s\n", "note", "median ms", "worst ms");
    QList<qsizetype> sizes = {10'000, 1'000'000, 10'000'000};
    if (argc > 1)
        sizes = {QByteArray(argv[1]).toLongLong()};
    for (const qsizetype size : sizes) {
        BarEnvironment env;
        env.dataFolder = dir.path();
        env.report = [](const QString &) {};
        env.autosaveDelay = std::chrono::hours(1);
        FrmMargletQK bar(env);
        bar.resize(185, 343);
        bar.show();
        bar.ActiveNote = 1;
        bar.TxtNote01 = noteOfSize(size);
        bar.setNotepadText(bar.TxtNote01);
        bar.ensureNotepad();
        bar.TxtNotepad->setFocus();
        bar.TxtNotepad->moveCursor(QTextCursor::End);
        QCoreApplication::processEvents();

        // The first keystroke lays the document out; it is not what typing costs.
        QTest::keyClick(bar.TxtNotepad, Qt::Key_A);
        QCoreApplication::processEvents();

        QList<qint64> nanos;
        for (int i = 1; i < 41; ++i) {
            QElapsedTimer clock;
            clock.start();
            QTest::keyClick(bar.TxtNotepad, Qt::Key_A);
            QCoreApplication::processEvents(); // the repaint belongs to the keystroke
            nanos.append(clock.nsecsElapsed());
        }
        if (bar.TxtNote01.size() != size + 41) {
            std::fprintf(stderr, "the note has %lld characters, not %lld\n",
                         qlonglong(bar.TxtNote01.size()), qlonglong(size + 41));
            return 1;
        }
        std::printf("%-10s %12.2f %12.2f\n",
                    size >= 1'000'000 ? qPrintable(QStringLiteral("%1 MB").arg(size / 1'000'000))
                                      : qPrintable(QStringLiteral("%1 KB").arg(size / 1000)),
                    medianMs(nanos), *std::max_element(nanos.begin(), nanos.end()) / 1e6);
    }
    return 0;
}
