#include "filedialogseam.h"
#include "qtfiledialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

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

// Runs `user` on the file dialog once it is up, as the user would act on it.
void whenTheDialogShows(const std::function<void(QFileDialog &)> &user)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, user] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            user(*dialog);
        }
    });
    poll->start(10);
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
        whenTheDialogShows([&](QFileDialog &dialog) {
            shownFilter = dialog.selectedNameFilter();
            shownFolder = dialog.directory().absolutePath();
            dialog.selectFile(typed);
            qDebug() << dialog.selectedFiles();
            static_cast<QDialog &>(dialog).accept(); // what the Save or Open button does
            qDebug() << dialog.result() << dialog.isVisible();
        });
        QtFileDialog real;
        const QString suggested = dir.filePath(QStringLiteral("note.txt"));
        const std::optional<QString> chosen = save ? real.saveFile(nullptr, suggested, kOldFilter)
                                                   : real.openFile(nullptr, suggested, kOldFilter);
        QCOMPARE(shownFilter, QStringLiteral("Text files (*.txt)"));
        QCOMPARE(shownFolder, dir.path());
        QCOMPARE(chosen, dir.filePath(typed));
    }

    void cancellingTheRealDialogChoosesNothing()
    {
        whenTheDialogShows([](QFileDialog &dialog) { dialog.reject(); });
        QtFileDialog real;
        QCOMPARE(real.saveFile(nullptr, QString(), kOldFilter), std::nullopt);
    }
};

QTEST_MAIN(TestFileDialogs)
#include "tst_filedialogs.moc"
