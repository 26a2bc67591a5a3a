#include "filedialogseam.h"
#include "qtfiledialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kOldFilter = QStringLiteral("Text files (*.txt)|*.txt|All Files (*.*)|*.*");

// Answers each dialog with the next scripted answer and notes what it was
// offered.
class ScriptedDialog : public FileDialogSeam
{
public:
    QList<std::optional<QString>> answers;
    QStringList offered;

    std::optional<QString> openFile(QWidget *, const QString &suggestedPath,
                                    const QString &) override
    {
        return answer(suggestedPath);
    }
    std::optional<QString> saveFile(QWidget *, const QString &suggestedPath,
                                    const QString &) override
    {
        return answer(suggestedPath);
    }

private:
    std::optional<QString> answer(const QString &suggestedPath)
    {
        offered.append(suggestedPath);
        return answers.takeFirst();
    }
};

struct Seen
{
    QString filter;
    QString folder;
    QStringList questions;
};

// Acts on the file dialog once it is up, as the user would: types a name and
// presses Open or Save, or cancels when there is no name to type. A question
// the dialog asks is noted and turned down, so a test sees it instead of
// hanging on it.
std::unique_ptr<QTimer> answerDialog(const QString &typed, Seen *seen)
{
    auto poll = std::make_unique<QTimer>();
    QObject::connect(poll.get(), &QTimer::timeout, poll.get(), [=, acted = false]() mutable {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen->questions.append(box->text());
            box->reject();
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        if (acted || typed.isEmpty() || !name || !buttons) {
            dialog->reject();
            return;
        }
        acted = true;
        seen->filter = dialog->selectedNameFilter();
        seen->folder = dialog->directory().absolutePath();
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, typed);
        QPushButton *ok = buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave
                                              ? QDialogButtonBox::Save
                                              : QDialogButtonBox::Open);
        // From the event loop: a question the click brings up runs a loop of
        // its own, in which this timer must be able to fire again.
        QTimer::singleShot(0, ok, [ok] { ok->click(); });
    });
    poll->start(10);
    return poll;
}

} // namespace

class TestFileDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oldFiltersBecomeQtFilters_data()
    {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QString>("qt");
        QTest::newRow("the stored text file filter")
            << kOldFilter << QStringLiteral("Text files (*.txt);;All Files (*.*)");
        QTest::newRow("a description without its pattern gets it appended")
            << QStringLiteral("Text|*.txt") << QStringLiteral("Text (*.txt)");
        QTest::newRow("several patterns are split by spaces for Qt")
            << QStringLiteral("Notes (*.txt;*.qkn)|*.txt;*.qkn")
            << QStringLiteral("Notes (*.txt;*.qkn) (*.txt *.qkn)");
        QTest::newRow("parentheses that are not the pattern are kept as words")
            << QStringLiteral("Text (plain)|*.txt") << QStringLiteral("Text (plain) (*.txt)");
        QTest::newRow("an empty filter shows every file") << QString() << QString();
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
        scripted.answers = {QStringLiteral("/home/a/in.txt"), std::nullopt,
                            QStringLiteral("/home/a/out.txt"), std::nullopt};
        LastPathFileDialog dialog(scripted);
        QCOMPARE(dialog.openFile(nullptr, QStringLiteral("/first"), kOldFilter),
                 QStringLiteral("/home/a/in.txt"));
        QCOMPARE(dialog.saveFile(nullptr, QStringLiteral("/second"), kOldFilter), std::nullopt);
        QCOMPARE(dialog.saveFile(nullptr, QStringLiteral("/third"), kOldFilter),
                 QStringLiteral("/home/a/out.txt"));
        QCOMPARE(dialog.openFile(nullptr, QStringLiteral("/fourth"), kOldFilter), std::nullopt);
        // A cancel does not forget the path before it.
        QCOMPARE(
            scripted.offered,
            QStringList({QStringLiteral("/first"), QStringLiteral("/home/a/in.txt"),
                         QStringLiteral("/home/a/in.txt"), QStringLiteral("/home/a/out.txt")}));
    }

    void theRealDialogTakesATypedNameAsTyped_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("typed");
        QTest::newRow("export to a new name without extension") << true << QStringLiteral("list");
        QTest::newRow("export over an existing file, without a question")
            << true << QStringLiteral("existing.txt");
        QTest::newRow("import an existing file") << false << QStringLiteral("existing.txt");
        QTest::newRow("cancelling chooses nothing") << true << QString();
    }
    void theRealDialogTakesATypedNameAsTyped()
    {
        QFETCH(bool, save);
        QFETCH(QString, typed);
        QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("existing.txt")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();

        Seen seen;
        const auto user = answerDialog(typed, &seen);
        QtFileDialog real;
        const QString suggested = dir.filePath(QStringLiteral("note.txt"));
        const std::optional<QString> chosen = save ? real.saveFile(nullptr, suggested, kOldFilter)
                                                   : real.openFile(nullptr, suggested, kOldFilter);
        QCOMPARE(seen.questions, QStringList());
        if (typed.isEmpty()) {
            QCOMPARE(chosen, std::nullopt);
            return;
        }
        QCOMPARE(seen.filter, QStringLiteral("Text files (*.txt)"));
        QCOMPARE(seen.folder, dir.path());
        QCOMPARE(chosen, dir.filePath(typed));
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
