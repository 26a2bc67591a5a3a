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

// Acts on the file dialog once it is up, as the user would: types a name
// into it and presses its Open or Save button, or cancels. A question the
// dialog asks is noted and turned down, and the dialog then cancelled, so a
// test sees the question instead of hanging on it.
std::unique_ptr<QTimer> answerDialog(const QString &typed, QStringList *questions)
{
    auto poll = std::make_unique<QTimer>();
    QObject::connect(
        poll.get(), &QTimer::timeout, poll.get(), [typed, questions, acted = false]() mutable {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                questions->append(box->text());
                box->reject();
                return;
            }
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return;
            if (acted || typed.isEmpty()) {
                dialog->reject();
                return;
            }
            acted = true;
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            if (!name || !buttons) {
                questions->append(QStringLiteral("no name field or buttons to use"));
                dialog->reject();
                return;
            }
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, typed);
            const auto accept = dialog->acceptMode() == QFileDialog::AcceptSave
                                    ? QDialogButtonBox::Save
                                    : QDialogButtonBox::Open;
            QTest::mouseClick(buttons->button(accept), Qt::LeftButton);
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
        QTest::newRow("a trailing description without a pattern is dropped")
            << QStringLiteral("Text files (*.txt)|*.txt|Other")
            << QStringLiteral("Text files (*.txt)");
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
    }
    void theRealDialogTakesATypedNameAsTyped()
    {
        QFETCH(bool, save);
        QFETCH(QString, typed);
        QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("existing.txt")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();

        QString shownFilter;
        QString shownFolder;
        QStringList questions;
        // Read as soon as the dialog is up, before the user acts.
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                shownFilter = dialog->selectedNameFilter();
                shownFolder = dialog->directory().absolutePath();
                look.stop();
            }
        });
        look.start(1);
        const auto user = answerDialog(typed, &questions);
        QtFileDialog real;
        const QString suggested = dir.filePath(QStringLiteral("note.txt"));
        const std::optional<QString> chosen = save ? real.saveFile(nullptr, suggested, kOldFilter)
                                                   : real.openFile(nullptr, suggested, kOldFilter);
        QCOMPARE(questions, QStringList());
        QCOMPARE(shownFilter, QStringLiteral("Text files (*.txt)"));
        QCOMPARE(shownFolder, dir.path());
        QCOMPARE(chosen, dir.filePath(typed));
    }

    void cancellingTheRealDialogChoosesNothing()
    {
        QStringList questions;
        const auto user = answerDialog(QString(), &questions);
        QtFileDialog real;
        QCOMPARE(real.saveFile(nullptr, QString(), kOldFilter), std::nullopt);
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
