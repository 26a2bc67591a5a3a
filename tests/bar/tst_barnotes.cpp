#include "bar/frmmargletqk.h"
#include "bar/picturebox.h"
#include "notes/filedialogseam.h"
#include "notes/notebook.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "renameover.h"
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace std::chrono_literals;

namespace {

// Answers the file dialogs as a test tells it to.
class FakeDialog : public FileDialogSeam
{
public:
    std::optional<QString> answer;
    QString offered;
    QString filter;
    int shown = 0;

    std::optional<QString> openFile(QWidget *, const QString &suggested, const QString &f) override
    {
        return pick(suggested, f);
    }
    std::optional<QString> saveFile(QWidget *, const QString &suggested, const QString &f) override
    {
        return pick(suggested, f);
    }

private:
    std::optional<QString> pick(const QString &suggested, const QString &f)
    {
        ++shown;
        offered = suggested;
        filter = f;
        return answer;
    }
};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct Bar
{
    QTemporaryDir dir;
    FakeDialog dialog;
    QStringList reports;
    QStringList fileErrors;
    std::unique_ptr<FrmMargletQK> bar;

    Bar()
    {
        BarEnvironment env;
        env.dataFolder = dir.path();
        env.report = [this](const QString &m) { reports.append(m); };
        env.fileError = [this](const QString &text, const QString &) { fileErrors.append(text); };
        env.fileDialog = &dialog;
        env.autosaveDelay = 1h;
        bar = std::make_unique<FrmMargletQK>(env);
    }
    // As start-up leaves the notes.
    void start()
    {
        bar->notes().ActiveNote = 1;
        bar->LoadText();
        bar->setNotepadText(bar->notes().TxtNote01);
        bar->ensureNotepad();
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    FrmMargletQK *operator->() { return bar.get(); }

    void checkInvariant()
    {
        QCOMPARE(bar->notepadText(), bar->notes().noteStore(bar->notes().ActiveNote));
        const PictureBox *tabs[] = {bar->PicTab01, bar->PicTab02, bar->PicTab03};
        for (int n = 1; n <= 3; ++n) {
            const QPixmap &expected =
                n == bar->notes().ActiveNote ? bar->PicActiveTab : bar->PicTab;
            QCOMPARE(tabs[n - 1]->picture().toImage(), expected.toImage());
        }
    }
};

} // namespace

class TestBarNotes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void notesLoadFromTheirFilesAndAMissingOneIsEmpty()
    {
        Bar bar;
        writeFile(bar.path(QStringLiteral("note01.qkn")), "first\r\nline two");
        writeFile(bar.path(QStringLiteral("note03.qkn")), "{\\rtf1 literal}");
        bar.start();
        QCOMPARE(bar->notes().TxtNote01, QStringLiteral("first\nline two"));
        QCOMPARE(bar->notes().TxtNote02, QString());
        QCOMPARE(bar->notes().TxtNote03, QStringLiteral("{\\rtf1 literal}"));
        bar.checkInvariant();
        QVERIFY(bar.reports.isEmpty());
        QVERIFY(!bar->hasUnsavedNotes()); // loading is not an edit
    }

    void theNoteOnShowFollowsItsFileWhereTheCaretWas()
    {
        Bar bar;
        writeFile(bar.path(QStringLiteral("note01.qkn")), "first");
        bar.start();
        QTextCursor cursor = bar->TxtNotepad->textCursor();
        cursor.setPosition(3);
        bar->TxtNotepad->setTextCursor(cursor);
        // As a sync tool does: a new file takes the old one's name.
        writeFile(bar.path(QStringLiteral("new")), "first, and more from elsewhere");
        QVERIFY(QFile::rename(bar.path(QStringLiteral("new")), bar.path(QStringLiteral("n1"))));
        QVERIFY(renameOver(bar.path(QStringLiteral("n1")), bar.path(QStringLiteral("note01.qkn"))));
        QTRY_COMPARE(bar->TxtNotepad->toPlainText(),
                     QStringLiteral("first, and more from elsewhere"));
        bar.checkInvariant();
        QCOMPARE(bar->TxtNotepad->textCursor().position(), 3);
        QVERIFY(!bar->hasUnsavedNotes());
    }

    void switchingTabsKeepsEachNotesText()
    {
        Bar bar;
        bar.start();
        QTest::keyClicks(bar->TxtNotepad, QStringLiteral("one"));
        bar->PicTab02_Click();
        bar.checkInvariant();
        QTest::keyClicks(bar->TxtNotepad, QStringLiteral("two"));
        bar->PicTab01_Click();
        bar.checkInvariant();
        QCOMPARE(bar->TxtNotepad->toPlainText(), QStringLiteral("one"));
        QCOMPARE(bar->notes().TxtNote01, QStringLiteral("one"));
        QCOMPARE(bar->notes().TxtNote02, QStringLiteral("two"));
        QCOMPARE(bar->notes().TxtNote03, QString());
        // Neither edit reaches disk before a save.
        QVERIFY(!QFile::exists(bar.path(QStringLiteral("note01.qkn"))));
    }

    void everyWayOfPickingATabSelectsThatNote_data()
    {
        QTest::addColumn<int>("via"); // 0: the tab picture, 1: its caption
        QTest::addColumn<int>("note");
        for (int note = 1; note <= 3; ++note) {
            QTest::addRow("picture of tab %d", note) << 0 << note;
            QTest::addRow("caption of tab %d", note) << 1 << note;
        }
    }
    void everyWayOfPickingATabSelectsThatNote()
    {
        QFETCH(int, via);
        QFETCH(int, note);
        Bar bar;
        bar->notes().TxtNote01 = QStringLiteral("a");
        bar->notes().TxtNote02 = QStringLiteral("b");
        bar->notes().TxtNote03 = QStringLiteral("c");
        bar->notes().ActiveNote = 1;
        bar->setNotepadText(bar->notes().TxtNote01);
        bar->resize(185, 343);
        ClickableWidget *pictures[] = {bar->PicTab01, bar->PicTab02, bar->PicTab03};
        ClickableWidget *captions[] = {bar->LblNote01, bar->LblNote02, bar->LblNote03};
        QTest::mouseClick((via == 0 ? pictures : captions)[note - 1], Qt::LeftButton, {},
                          QPoint(via == 0 ? 48 : 3, via == 0 ? 18 : 3));
        QCOMPARE(bar->notes().ActiveNote, note);
        bar.checkInvariant();
        QCOMPARE(bar->TxtNotepad->toPlainText(), QString(QChar(u'a' + note - 1)));
        // Picking the tab on show again changes nothing.
        QTest::mouseClick(pictures[note - 1], Qt::LeftButton, {}, QPoint(48, 18));
        bar.checkInvariant();
        QCOMPARE(bar->notes().TxtNote01 + bar->notes().TxtNote02 + bar->notes().TxtNote03,
                 QStringLiteral("abc"));
        QVERIFY(!bar->hasUnsavedNotes());
    }

    void theStoreFollowsEveryKindOfEdit()
    {
        Bar bar;
        bar.start();
        QRandomGenerator random(20261206);
        const QString pieces[] = {QStringLiteral("a"), QStringLiteral("word "),
                                  QStringLiteral("\n"), QStringLiteral("two\nlines"),
                                  QStringLiteral("€ü"), QString(QChar(0x00A0)), QStringLiteral("😀"),
                                  QString(),
                                  // shown as line breaks, so saved as line breaks
                                  QStringLiteral("a\u2028b\uFDD0c\uFDD1d\u2029e")};
        QTextDocument *document = bar->TxtNotepad->document();
        for (int step = 0; step < 400; ++step) {
            QTextCursor cursor(document);
            const int length = document->characterCount() - 1;
            const int at = random.bounded(length + 1);
            cursor.setPosition(at);
            switch (random.bounded(5)) {
            case 0:
            case 1:
                cursor.insertText(pieces[random.bounded(int(std::size(pieces)))]);
                break;
            case 2:
                cursor.setPosition(std::min(length, at + random.bounded(6)),
                                   QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
                break;
            case 3:
                document->undo();
                break;
            default:
                bar->TxtNotepad->setTextCursor(cursor);
                QTest::keyClick(bar->TxtNotepad,
                                random.bounded(2) ? Qt::Key_Backspace : Qt::Key_Return);
                break;
            }
            QCOMPARE(bar->notes().TxtNote01, bar->notepadText());
        }
        QVERIFY(bar->notes().TxtNote01.contains(QChar(0x00A0))); // kept, not turned into a space
    }

    void importReplacesTheActiveNote_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("LF lines") << QByteArray("a\nb") << QStringLiteral("a\nb");
        QTest::newRow("UTF-8 text") << QByteArray("caf\xc3\xa9") << QStringLiteral("café");
    }
    void importReplacesTheActiveNote()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        Bar bar;
        bar->notes().TxtNote01 = QStringLiteral("one");
        bar->notes().TxtNote02 = QStringLiteral("two");
        bar->PicTab02_Click();
        writeFile(bar.path(QStringLiteral("in.txt")), content);
        bar.dialog.answer = bar.path(QStringLiteral("in.txt"));
        bar->CmdImport_Click();
        QVERIFY(bar.fileErrors.isEmpty());
        QCOMPARE(bar->notes().TxtNote02, text);
        QCOMPARE(bar->notes().TxtNote01, QStringLiteral("one"));
        bar.checkInvariant();
        QCOMPARE(bar.dialog.filter, FrmMargletQK::kFileFilter);
        bar->PicTab01_Click();
        bar->PicTab02_Click();
        QCOMPARE(bar->TxtNotepad->toPlainText(), text);
    }

    void aFailedImportChangesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message"); // empty: no message at all
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("missing file")
            << QStringLiteral("missing.txt") << QStringLiteral("Error Loading Text File");
        QTest::newRow("a folder") << QStringLiteral("folder")
                                  << QStringLiteral("Error Loading Text File");
        QTest::newRow("not text") << QStringLiteral("binary.dat")
                                  << QStringLiteral("Error Loading Text File");
#ifdef Q_OS_UNIX
        QTest::newRow("a named pipe, which must not freeze the bar")
            << QStringLiteral("pipe") << QStringLiteral("Error Loading Text File");
#endif
    }
    void aFailedImportChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        Bar bar;
        QDir(bar.dir.path()).mkdir(QStringLiteral("folder"));
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(qPrintable(bar.path(QStringLiteral("pipe"))), 0600), 0);
#endif
        writeFile(bar.path(QStringLiteral("binary.dat")), QByteArray("\x7f"
                                                                     "ELF\0\0\0",
                                                                     7));
        bar.start();
        QTest::keyClicks(bar->TxtNotepad, QStringLiteral("kept"));
        if (!name.isEmpty())
            bar.dialog.answer = bar.path(name);
        bar->CmdImport_Click();
        QCOMPARE(bar.fileErrors, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(bar->notes().TxtNote01, QStringLiteral("kept"));
        bar.checkInvariant();
    }

    void exportWritesTheActiveNoteAsTyped()
    {
        Bar bar;
        bar->notes().TxtNote03 = QStringLiteral("line 1\nline 2 ü");
        bar->PicTab03_Click();
        const QString target = bar.path(QStringLiteral("no-extension"));
        writeFile(target, "previous content that is longer");
        bar.dialog.answer = target;
        bar->CmdExport_Click();
        QVERIFY(bar.fileErrors.isEmpty());
        QCOMPARE(readFile(target), QByteArray("line 1\r\nline 2 \xfc"));
        QVERIFY(!QFile::exists(target + QStringLiteral(".txt")));

        // The next dialog, import or export, offers the path chosen last.
        bar.dialog.answer.reset();
        bar->CmdImport_Click();
        QCOMPARE(bar.dialog.offered, target);
    }

    void aFailedExportSaysSoAndChangesNothing()
    {
        Bar bar;
        bar.start();
        bar->notes().TxtNote01 = QStringLiteral("text");
        writeFile(bar.path(QStringLiteral("plain")), "x");
        bar.dialog.answer = bar.path(QStringLiteral("plain/below.txt"));
        bar->CmdExport_Click();
        QCOMPARE(bar.fileErrors, QStringList{QStringLiteral("Error Saving Text File")});
        QCOMPARE(bar->notes().TxtNote01, QStringLiteral("text"));

        bar.fileErrors.clear();
        bar.dialog.answer.reset();
        bar->CmdExport_Click();
        QVERIFY(bar.fileErrors.isEmpty());
    }
};

QTEST_MAIN(TestBarNotes)
#include "tst_barnotes.moc"
