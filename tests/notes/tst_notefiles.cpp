#include "atomicwrite.h"
#include "notefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What can stand where a readable text file is expected.
enum class Occupant
{
    Nothing,
    Folder,
    Huge,
    Binary,
    PlainFileAbove
};

// Returns the path to use, which lies below `path` for PlainFileAbove.
QString occupy(const QString &path, Occupant what)
{
    QFile file(path);
    switch (what) {
    case Occupant::Nothing:
        break;
    case Occupant::Folder:
        QDir().mkpath(path);
        break;
    case Occupant::Huge: // sparse, so nothing is written
        if (file.open(QIODevice::WriteOnly))
            file.resize(notefiles::kReadLimit + 1);
        break;
    case Occupant::Binary:
        writeFileAtomically(path, QByteArrayView("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
        break;
    case Occupant::PlainFileAbove:
        writeFileAtomically(path, "plain");
        return path + QStringLiteral("/inside.txt");
    }
    return path;
}

} // namespace

Q_DECLARE_METATYPE(Occupant)

class TestNoteFiles : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString note(int n) const { return notefiles::notePath(m_dir.path(), n); }

private Q_SLOTS:
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void aFirstStartFindsEmptyNotesWithoutErrors()
    {
        QCOMPARE(QFileInfo(note(2)).fileName(), QStringLiteral("note02.qkn"));
        QVERIFY(notefiles::saveNote(note(3), u"third"));
        for (int n = 1; n <= 3; ++n) {
            QString text = QStringLiteral("left over");
            QString error;
            QCOMPARE(notefiles::loadNote(note(n), text, &error),
                     n == 3 ? notefiles::LoadStatus::Loaded : notefiles::LoadStatus::Missing);
            QCOMPARE(text, n == 3 ? QStringLiteral("third") : QString());
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
    }

    void aNoteIsKeptInTheOldFormat()
    {
        const QString text = QStringLiteral(u"Einkauf:\n- Käse\n\nbis 18 Uhr\n");
        QVERIFY(notefiles::saveNote(note(1), text));
        QCOMPARE(contentOf(note(1)), QByteArray("Einkauf:\r\n- K\xE4se\r\n\r\nbis 18 Uhr\r\n"));
        QString back;
        QCOMPARE(notefiles::loadNote(note(1), back), notefiles::LoadStatus::Loaded);
        QCOMPARE(back, text);
    }

    void aFileThatCannotBeReadIsReportedAndTheTextKept_data()
    {
        QTest::addColumn<bool>("import");
        QTest::addColumn<Occupant>("occupant");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in a note file's place")
            << false << Occupant::Folder << QStringLiteral("folder");
        QTest::newRow("a note file over 64 MiB")
            << false << Occupant::Huge << QStringLiteral("64 MiB");
        QTest::newRow("a note file that is not text")
            << false << Occupant::Binary << QStringLiteral("text");
        QTest::newRow("importing a file that is not there")
            << true << Occupant::Nothing << QString();
        QTest::newRow("importing a folder") << true << Occupant::Folder << QStringLiteral("folder");
        QTest::newRow("importing a file over 64 MiB")
            << true << Occupant::Huge << QStringLiteral("64 MiB");
        QTest::newRow("importing a picture") << true << Occupant::Binary << QStringLiteral("text");
    }
    void aFileThatCannotBeReadIsReportedAndTheTextKept()
    {
        QFETCH(bool, import);
        QFETCH(Occupant, occupant);
        QFETCH(QString, reason);
        const QString path = occupy(note(2), occupant);
        QString text = QStringLiteral("kept");
        QString error;
        if (import)
            QVERIFY(!notefiles::importTextFile(path, text, &error));
        else
            QCOMPARE(notefiles::loadNote(path, text, &error), notefiles::LoadStatus::Failed);
        QCOMPARE(text, QStringLiteral("kept"));
        QVERIFY2(error.contains(QStringLiteral("note02.qkn")) && error.contains(reason),
                 qPrintable(error));
    }

    void aFileThatCannotBeWrittenIsReported_data()
    {
        QTest::addColumn<Occupant>("occupant");
        QTest::newRow("a folder in the file's place") << Occupant::Folder;
        QTest::newRow("a plain file where a folder should be") << Occupant::PlainFileAbove;
    }
    void aFileThatCannotBeWrittenIsReported()
    {
        QFETCH(Occupant, occupant);
        const QString path = occupy(note(1), occupant);
        for (const auto write : {notefiles::saveNote, notefiles::exportTextFile}) {
            QString error;
            QVERIFY(!write(path, u"text", &error));
            QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
        }
    }

    void exportReplacesAnExistingFileWhole()
    {
        const QString path = m_dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(writeFileAtomically(path, QByteArray(10000, 'x')));
        QVERIFY(notefiles::exportTextFile(path, u"new\ntext"));
        QCOMPARE(contentOf(path), QByteArray("new\r\ntext"));
        QString back;
        QVERIFY(notefiles::importTextFile(path, back));
        QCOMPARE(back, QStringLiteral("new\ntext"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList(QStringLiteral("out.txt")));
    }
};

QTEST_GUILESS_MAIN(TestNoteFiles)
#include "tst_notefiles.moc"
