#include "bar/padpieces.h"
#include "barfixture.h"
#include "settings/skins.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QRandomGenerator>
#include <QTextBlock>

namespace {

// The pad shows the active note and is named after it, and only its tab
// looks active and is selected.
void checkShowsActiveNote(const BarFixture &f)
{
    const int active = f.notes().ActiveNote;
    QCOMPARE(f.padText(), f.notes().noteStore(active));
    const QImage activeTab = QPixmap(u":/images/tab_active.gif"_qs).toImage();
    for (int n = 1; n <= 3; ++n) {
        const QByteArray tab = "PicTab0" + QByteArray::number(n);
        QCOMPARE(f.picture(tab) == activeTab, n == active);
        QCOMPARE(QAccessible::queryAccessibleInterface(f.control(tab))->state().selected,
                 n == active);
    }
    if (auto *pad = f.bar->findChild<QPlainTextEdit *>())
        QCOMPARE(pad->accessibleName(), QStringLiteral("Note 0%1").arg(active));
}

QString focusName()
{
    QWidget *focus = QApplication::focusWidget();
    return focus ? QAccessible::queryAccessibleInterface(focus)->text(QAccessible::Name)
                 : u"nothing"_qs;
}

// What Tab (Ctrl+Tab in the note pad) reaches from the focus, in turn, by the
// names assistive tools hear.
QString tabWalk()
{
    QStringList names;
    QWidget *const from = QApplication::focusWidget();
    for (QWidget *focus = from; focus && names.size() < 20 && (names.isEmpty() || focus != from);
         focus = QApplication::focusWidget()) {
        names.append(focusName());
        QTest::keyClick(focus, Qt::Key_Tab,
                        qobject_cast<QPlainTextEdit *>(focus) ? Qt::ControlModifier
                                                              : Qt::NoModifier);
    }
    return names.join(u'|');
}

} // namespace

class TestBar : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theButtonShowsTheImageForTheBarsState_data()
    {
        QTest::addColumn<int>("ticks");      // into a slide at the apply; below 0, a shutting one
        QTest::addColumn<QString>("during"); // what the button shows right after the apply
        QTest::addColumn<QString>("after");  // and once the slide has ended
        QTest::newRow("at rest") << 0 << SkinSource::kMax << SkinSource::kMax;
        QTest::newRow("while opening") << 5 << SkinSource::kMax << SkinSource::kMin;
        QTest::newRow("while shutting") << -5 << SkinSource::kMin << SkinSource::kMax;
    }
    void theButtonShowsTheImageForTheBarsState()
    {
        QFETCH(int, ticks);
        QFETCH(QString, during);
        QFETCH(QString, after);
        BarFixture f;
        f.start();
        if (ticks < 0)
            f.open();
        if (ticks != 0)
            f.click("PicMaxMin");
        for (int i = 0; i < std::abs(ticks); ++i)
            f.motion().TmrExpand_Timer();
        // A new skin from the Options dialog reaches the button on the next tick.
        QVERIFY(settingsfile::save(f.bar->settingsPath(), Settings{3840, 70, u"Olive"_qs, 0}));
        f.apply();
        QCOMPARE(f.picture("PicMaxMin"), skinImage(u"Olive"_qs, during));
        f.slide();
        QCOMPARE(f.picture("PicMaxMin"), skinImage(u"Olive"_qs, after));
        QCOMPARE(f.picture("PicClose"), skinImage(u"Olive"_qs, SkinSource::kClose));
        const QAccessible::State state =
            QAccessible::queryAccessibleInterface(f.control("PicMaxMin"))->state();
        QCOMPARE(bool(state.expanded), after == SkinSource::kMin);
        QCOMPARE(bool(state.collapsed), after == SkinSource::kMax);
    }

    // Tab types in the note pad and Ctrl+Tab leaves it; a bar shut while
    // the pad has the keyboard keeps it on the strip, and what it hides
    // neither takes the keyboard nor can be pressed.
    void theKeyboardReachesOnlyWhatTheBarShows()
    {
        BarFixture f;
        f.start().show();
        f.bar->takeFocusBack(f.control("PicClose"));
        QVERIFY(QTest::qWaitForWindowActive(f.bar));
        // As a screen reader presses it: the keyboard stays where it is.
        const auto press = [&f] {
            QAccessible::queryAccessibleInterface(f.control("PicMaxMin"))
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
            f.slide();
        };
        press();
        QCOMPARE(focusName(), u"Close"_qs);
        f.pad()->setFocus();
        QTest::keyClick(f.pad(), Qt::Key_Tab);
        QCOMPARE(f.notes().TxtNote01, u"\t"_qs);
        QCOMPARE(tabWalk(), u"Note 01|Save As Text File|Load Text File|About|Options|Close|"
                            u"Collapse|Note 01|Note 02|Note 03"_qs);
        QTest::keyClick(f.pad(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(focusName(), u"Note 03"_qs);
        // A tab is pressed by the keys of a button, not by a letter.
        for (const Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            f.click("PicTab01");
            QTest::keyClick(f.control("PicTab02"), key);
            QCOMPARE(f.notes().ActiveNote, key == Qt::Key_A ? 1 : 2);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(f.control("PicTab02"))->role(),
                 QAccessible::PageTab);
        f.pad()->setFocus();
        press();
        QCOMPARE(tabWalk(), u"Expand|Close"_qs);
        // Nothing hidden in the tree takes the focus or can be pressed.
        QList<QAccessibleInterface *> all{QAccessible::queryAccessibleInterface(f.bar)};
        for (qsizetype i = 0; i < all.size(); ++i) {
            for (int c = 0; c < all[i]->childCount(); ++c)
                all.append(all[i]->child(c));
            const auto *actions = all[i]->actionInterface();
            const bool pressable = actions && actions->actionNames().contains(
                                                  QAccessibleActionInterface::pressAction());
            QVERIFY2(!all[i]->state().invisible || (!all[i]->state().focusable && !pressable),
                     qPrintable(all[i]->text(QAccessible::Name)));
        }
    }

    void theNoteOnShowFollowsItsFileWhereTheCaretWas()
    {
        BarFixture f;
        f.write(u"note01.qkn"_qs, "first");
        f.start();
        f.click("PicMaxMin");
        QTextCursor cursor = f.pad()->textCursor();
        cursor.setPosition(3);
        f.pad()->setTextCursor(cursor);
        // As a sync tool does: a new file takes the old one's name.
        f.write(u"n1"_qs, "first, and more from elsewhere");
        QVERIFY(renameOver(f.path(u"n1"_qs), f.path(u"note01.qkn"_qs)));
        QTRY_COMPARE(f.pad()->toPlainText(), QStringLiteral("first, and more from elsewhere"));
        QCOMPARE(f.pad()->textCursor().position(), 3);
        QVERIFY(!f.notes().hasUnsaved());
    }

    void everyWayOfPickingATabShowsThatNoteAndKeepsTheOthers_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("note");
        for (int note = 1; note <= 3; ++note) {
            QTest::addRow("picture of tab %d", note) << u"PicTab0%1"_qs.arg(note) << note;
            QTest::addRow("caption of tab %d", note) << u"LblNote0%1"_qs.arg(note) << note;
        }
    }
    void everyWayOfPickingATabShowsThatNoteAndKeepsTheOthers()
    {
        QFETCH(QString, control);
        QFETCH(int, note);
        BarFixture f;
        const QString texts[] = {u"a"_qs, u"b"_qs, u"c"_qs};
        for (int n = 1; n <= 3; ++n)
            f.write(u"note0%1.qkn"_qs.arg(n), texts[n - 1].toLatin1());
        f.start().resize(185, 343);
        checkShowsActiveNote(f);
        f.click("PicMaxMin");
        QTest::keyClicks(f.pad(), QStringLiteral("1"));
        QTest::mouseClick(f.control<QWidget>(qPrintable(control)), Qt::LeftButton, {},
                          QPoint(3, 3));
        QCOMPARE(f.notes().ActiveNote, note);
        checkShowsActiveNote(f);
        QTest::keyClicks(f.pad(), QStringLiteral("2"));
        // Picking the tab on show again changes nothing.
        f.click(qPrintable(QStringLiteral("PicTab0%1").arg(note)));
        checkShowsActiveNote(f);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(f.notes().noteStore(n),
                     (n == note ? u"2"_qs : u""_qs) + (n == 1 ? u"1"_qs : u""_qs) + texts[n - 1]);
        // Neither edit reaches the disk before a save.
        QCOMPARE(f.read(u"note01.qkn"_qs), QByteArray("a"));
    }

    void theStoreFollowsEveryKindOfEdit_data()
    {
        QTest::addColumn<QByteArray>("note");
        QTest::newRow("short lines") << QByteArray();
        // Held in pieces: a line of words and a run without a break point,
        // each longer than Qt lays out at typing speed.
        QTest::newRow("lines held in pieces")
            << QByteArray("word ").repeated(4000) + "\r\nend\r\n" + QByteArray("x").repeated(7000);
    }
    void theStoreFollowsEveryKindOfEdit()
    {
        QFETCH(QByteArray, note);
        BarFixture f;
        f.write(u"note01.qkn"_qs, note);
        f.start();
        f.click("PicMaxMin");
        QCOMPARE(f.padText(), QString::fromLatin1(note).replace(u"\r\n"_qs, u"\n"_qs));
        QCOMPARE(padpieces::everCut(f.pad()->document()), !note.isEmpty());
        QVERIFY(!f.notes().hasUnsaved()); // showing a note is no edit of it
        QRandomGenerator random(20261206);
        const QString pieces[] = {u"a"_qs, u"word "_qs, u"\n"_qs, u"two\nlines"_qs, u"€ü"_qs,
                                  QString(QChar(0x00A0)), u"😀"_qs, QString(),
                                  // shown as line breaks, so saved as line breaks
                                  u"a\u2028b\uFDD0c\uFDD1d\u2029e"_qs};
        QTextDocument *document = f.pad()->document();
        for (int step = 0; step < 400; ++step) {
            QTextCursor cursor(document);
            const int length = document->characterCount() - 1;
            int at = random.bounded(length + 1);
            // Half the edits go next to a seam, where the pad and the note part.
            QList<int> seams;
            for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
                if (padpieces::afterSeam(b))
                    seams.append(b.position());
            if (!seams.isEmpty() && random.bounded(2))
                at = std::clamp(seams[random.bounded(seams.size())] + random.bounded(3) - 1, 0,
                                length);
            cursor.setPosition(at);
            const int kind = random.bounded(seams.isEmpty() ? 5 : 7);
            if (kind < 2) {
                cursor.insertText(pieces[random.bounded(int(std::size(pieces)))]);
            } else if (kind == 2) {
                cursor.setPosition(std::min(length, at + random.bounded(6)),
                                   QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            } else if (kind == 3) {
                document->undo();
            } else if (kind == 4) {
                f.pad()->setTextCursor(cursor);
                const Qt::Key keys[] = {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Delete};
                QTest::keyClick(f.pad(), keys[random.bounded(3)]);
            } else if (kind == 5) {
                // A pasted long line comes in pieces.
                QGuiApplication::clipboard()->setText(u"y"_qs.repeated(random.bounded(5000)));
                f.pad()->setTextCursor(cursor);
                f.pad()->paste();
            } else {
                // A copy leaves the seams out.
                cursor.setPosition(std::min(length, at + random.bounded(3000)),
                                   QTextCursor::KeepAnchor);
                f.pad()->setTextCursor(cursor);
                f.pad()->copy();
                const auto inNote = [&](int at) {
                    return at - padpieces::seams(document, at).before;
                };
                const int from = inNote(cursor.selectionStart());
                QCOMPARE(QGuiApplication::clipboard()->text(),
                         f.padText().mid(from, inNote(cursor.selectionEnd()) - from));
            }
            QCOMPARE(f.notes().TxtNote01, f.padText());
        }
        if (note.isEmpty())
            QVERIFY(f.notes().TxtNote01.contains(QChar(0x00A0))); // kept, not a space
    }

    void longLinesAreCutSoThatNothingIsCutApart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        QTest::newRow("short lines") << u"a line of words\n"_qs.repeated(20000) << false;
        QTest::newRow("a paragraph") << u"word "_qs.repeated(3000) << false;
        QTest::newRow("a line of words") << u"word "_qs.repeated(40000) << true;
        QTest::newRow("a key") << u"0123456789abcdef"_qs.repeated(2000) << true;
        QTest::newRow("emoji") << u"😀"_qs.repeated(3000) << true;
        QTest::newRow("accents") << u"e\u0301"_qs.repeated(3000) << true;
        QTest::newRow("right to left") << u"שלום עולם "_qs.repeated(4000) << true;
        QTest::newRow("ideographs") << u"漢字"_qs.repeated(10000) << true;
    }
    void longLinesAreCutSoThatNothingIsCutApart()
    {
        QFETCH(QString, text);
        QFETCH(bool, cut);
        const QList<qsizetype> cuts = padpieces::cuts(text);
        QCOMPARE(!cuts.isEmpty(), cut);
        qsizetype piece = 0;
        for (const qsizetype at : cuts) {
            QVERIFY(at > piece && at - piece <= padpieces::kPiece);
            QVERIFY(!text[at].isLowSurrogate() && !text[at].isMark());
            // A line with spaces is cut after one.
            if (text.contains(u' '))
                QCOMPARE(text[at - 1], u' ');
            piece = at;
        }
    }

    void aSeamIsNotPartOfTheNote()
    {
        BarFixture f;
        f.write(u"note01.qkn"_qs, QByteArray("x").repeated(5000));
        f.start();
        f.click("PicMaxMin");
        QTextBlock seam = f.pad()->document()->begin().next();
        QVERIFY(padpieces::afterSeam(seam));
        const int at = seam.position() - 1; // where the note's text parts
        // Delete and Backspace take the character beyond the seam.
        QTextCursor cursor(f.pad()->document());
        cursor.setPosition(at);
        f.pad()->setTextCursor(cursor);
        QTest::keyClick(f.pad(), Qt::Key_Delete);
        QTest::keyClick(f.pad(), Qt::Key_Backspace);
        // Return after a seam starts a real line.
        cursor = QTextCursor(seam);
        cursor.movePosition(QTextCursor::NextCharacter);
        f.pad()->setTextCursor(cursor);
        QTest::keyClick(f.pad(), Qt::Key_Return);
        QTest::keyClick(f.pad(), Qt::Key_Z);
        QVERIFY(f.notes().SaveText());
        QCOMPARE(f.read(u"note01.qkn"_qs),
                 QByteArray("x").repeated(at) + "\r\nz" + QByteArray("x").repeated(5000 - at - 2));
    }

    void importReplacesTheActiveNoteOrChangesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("note2");   // the second note afterwards
        QTest::addColumn<QString>("message"); // empty: no message at all
        const QString failed = QStringLiteral("Error Loading Text File");
        QTest::newRow("LF lines") << u"lf.txt"_qs << u"a\nb"_qs << QString();
        QTest::newRow("cancelled") << QString() << u"two"_qs << QString();
        QTest::newRow("missing file") << u"missing.txt"_qs << u"two"_qs << failed;
        QTest::newRow("not text") << u"binary.dat"_qs << u"two"_qs << failed;
    }
    void importReplacesTheActiveNoteOrChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, note2);
        QFETCH(QString, message);
        BarFixture f;
        f.write(u"lf.txt"_qs, "a\nb");
        f.write(u"binary.dat"_qs, QByteArray("\177ELF\0\0\0", 7));
        f.write(u"note01.qkn"_qs, "one");
        f.write(u"note02.qkn"_qs, "two");
        f.start();
        f.open();
        f.click("PicTab02");
        if (!name.isEmpty())
            f.dialog.answer = f.path(name);
        f.click("CmdImport");
        QCOMPARE(f.fileErrors, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(f.notes().TxtNote02, note2);
        QCOMPARE(f.notes().TxtNote01, QStringLiteral("one"));
        checkShowsActiveNote(f);
    }

    void exportWritesTheActiveNoteAsTypedOrSaysWhyNot()
    {
        BarFixture f;
        f.write(u"note03.qkn"_qs, "line 1\r\nline 2 \xfc");
        f.start();
        f.open();
        f.click("PicTab03");
        const QString target = f.path(u"no-extension"_qs);
        f.write(u"no-extension"_qs, "previous content that is longer");
        f.dialog.answer = target;
        f.click("CmdExport");
        QVERIFY(f.fileErrors.isEmpty());
        QCOMPARE(f.read(u"no-extension"_qs), QByteArray("line 1\r\nline 2 \xfc"));
        QVERIFY(!QFile::exists(target + u".txt"_qs));
        // The next dialog, import or export, offers the path chosen last.
        f.dialog.answer.reset();
        f.click("CmdImport");
        QCOMPARE(f.dialog.offered, target);

        f.dialog.answer = f.path(u"no-extension/below.txt"_qs);
        f.click("CmdExport");
        QCOMPARE(f.dialog.offered, target); // the cancel forgot nothing
        QCOMPARE(f.fileErrors, QStringList{QStringLiteral("Error Saving Text File")});
        QCOMPARE(f.notes().TxtNote03, QStringLiteral("line 1\nline 2 \u00fc"));
    }
};

QTEST_MAIN(TestBar)
#include "tst_bar.moc"
