#include "atomicwrite.h"
#include "notefiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What can stand where a file is expected.
enum class Occupant
{
    Nothing,
    Folder,
    Huge,
    Binary,
    BelowAPlainFile
};

// Returns the path to use, which differs from `path` for BelowAPlainFile.
QString occupy(const QString &path, Occupant what)
{
    switch (what) {
    case Occupant::Nothing:
        break;
    case Occupant::Folder:
        QDir().mkpath(path);
        break;
    case Occupant::Huge: {
        // Sparse: no 64 MiB ever reach the disk.
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.resize(notefiles::kReadLimit + 1);
        break;
    }
    case Occupant::Binary:
        writeFileAtomically(path, QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
        break;
    case Occupant::BelowAPlainFile:
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
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init()
    {
        const QStringList entries =
            QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            QDir(path(entry)).removeRecursively();
            QFile::remove(path(entry));
        }
    }

    void notesAreNumberedWithTwoDigits_data()
    {
        QTest::addColumn<int>("note");
        QTest::addColumn<QString>("name");
        QTest::newRow("the first note") << 1 << QStringLiteral("note01.qkn");
        QTest::newRow("the second note") << 2 << QStringLiteral("note02.qkn");
        QTest::newRow("the third note") << 3 << QStringLiteral("note03.qkn");
    }
    void notesAreNumberedWithTwoDigits()
    {
        QFETCH(int, note);
        QFETCH(QString, name);
        QCOMPARE(notefiles::notePath(m_dir.path(), note), path(name));
    }

    void aFirstStartFindsNoNotesAndNoErrors()
    {
        for (int note = 1; note <= notefiles::kNoteCount; ++note) {
            QString text = QStringLiteral("left over");
            QString error;
            QCOMPARE(notefiles::loadNote(notefiles::notePath(m_dir.path(), note), text, &error),
                     notefiles::LoadStatus::Missing);
            QVERIFY(text.isEmpty());
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
    }

    void oneMissingNoteDoesNotDisturbTheOthers()
    {
        QVERIFY(notefiles::saveNote(notefiles::notePath(m_dir.path(), 1), u"first"));
        QVERIFY(notefiles::saveNote(notefiles::notePath(m_dir.path(), 3), u"third"));
        QStringList texts;
        QList<notefiles::LoadStatus> statuses;
        for (int note = 1; note <= notefiles::kNoteCount; ++note) {
            QString text;
            statuses.append(notefiles::loadNote(notefiles::notePath(m_dir.path(), note), text));
            texts.append(text);
        }
        QCOMPARE(texts, QStringList({QStringLiteral("first"), QString(), QStringLiteral("third")}));
        QCOMPARE(statuses, QList<notefiles::LoadStatus>({notefiles::LoadStatus::Loaded,
                                                         notefiles::LoadStatus::Missing,
                                                         notefiles::LoadStatus::Loaded}));
    }

    void aNoteThatCannotBeReadIsReportedAndKept_data()
    {
        QTest::addColumn<Occupant>("occupant");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder in the note file's place")
            << Occupant::Folder << QStringLiteral("folder");
        QTest::newRow("a note file over 64 MiB") << Occupant::Huge << QStringLiteral("64 MiB");
        QTest::newRow("a note file that is not text") << Occupant::Binary << QStringLiteral("text");
    }
    void aNoteThatCannotBeReadIsReportedAndKept()
    {
        QFETCH(Occupant, occupant);
        QFETCH(QString, reason);
        const QString note = notefiles::notePath(m_dir.path(), 2);
        occupy(note, occupant);
        QString text = QStringLiteral("kept");
        QString error;
        QCOMPARE(notefiles::loadNote(note, text, &error), notefiles::LoadStatus::Failed);
        QCOMPARE(text, QStringLiteral("kept"));
        QVERIFY2(error.contains(QStringLiteral("note02.qkn")), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void aNoteIsStoredInTheOldFormatAndReadBack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("several lines with accents")
            << QStringLiteral(u"Einkauf:\n- Käse\n- Brötchen\n\nbis 18 Uhr")
            << QByteArray("Einkauf:\r\n- K\xE4se\r\n- Br\xF6tchen\r\n\r\nbis 18 Uhr");
        QTest::newRow("an empty note") << QString() << QByteArray();
        QTest::newRow("a note with a character outside the code page")
            << QStringLiteral(u"Ω\n") << QByteArray("\xEF\xBB\xBF\xCE\xA9\r\n");
    }
    void aNoteIsStoredInTheOldFormatAndReadBack()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const QString note = notefiles::notePath(m_dir.path(), 1);
        QString error;
        QVERIFY2(notefiles::saveNote(note, text, &error), qPrintable(error));
        QCOMPARE(contentOf(note).toHex(' '), bytes.toHex(' '));
        QString back = QStringLiteral("different");
        QCOMPARE(notefiles::loadNote(note, back, &error), notefiles::LoadStatus::Loaded);
        QCOMPARE(back, text);
    }

    void aNoteThatCannotBeWrittenSaysWhichFileAndWhy()
    {
        const QString note = notefiles::notePath(m_dir.path(), 3);
        occupy(note, Occupant::Folder);
        QString error;
        QVERIFY(!notefiles::saveNote(note, u"text", &error));
        QVERIFY2(error.contains(QStringLiteral("note03.qkn")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("folder")), qPrintable(error));
    }

    void importReadsAnyLineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a Windows file") << QByteArray("one\r\ntwo\r\n");
        QTest::newRow("a Linux file") << QByteArray("one\ntwo\n");
        QTest::newRow("an old Mac file") << QByteArray("one\rtwo\r");
        QTest::newRow("a UTF-8 file with a mark") << QByteArray("\xEF\xBB\xBFone\ntwo\n");
    }
    void importReadsAnyLineEnds()
    {
        QFETCH(QByteArray, bytes);
        const QString file = path(QStringLiteral("list.txt"));
        QVERIFY(writeFileAtomically(file, bytes));
        QString text;
        QString error;
        QVERIFY2(notefiles::importTextFile(file, text, &error), qPrintable(error));
        QCOMPARE(text, QStringLiteral("one\ntwo\n"));
    }

    void importThatFailsKeepsTheText_data()
    {
        QTest::addColumn<Occupant>("occupant");
        QTest::newRow("a file that does not exist") << Occupant::Nothing;
        QTest::newRow("a folder") << Occupant::Folder;
        QTest::newRow("a file over 64 MiB") << Occupant::Huge;
        QTest::newRow("a file that is not text") << Occupant::Binary;
        QTest::newRow("a path below a plain file") << Occupant::BelowAPlainFile;
    }
    void importThatFailsKeepsTheText()
    {
        QFETCH(Occupant, occupant);
        const QString file = occupy(path(QStringLiteral("picked.txt")), occupant);
        QString text = QStringLiteral("kept");
        QString error;
        QVERIFY(!notefiles::importTextFile(file, text, &error));
        QCOMPARE(text, QStringLiteral("kept"));
        QVERIFY2(error.contains(QDir::toNativeSeparators(file)), qPrintable(error));
    }

    void exportThatFailsSaysWhy_data()
    {
        QTest::addColumn<Occupant>("occupant");
        QTest::newRow("a folder in the file's place") << Occupant::Folder;
        QTest::newRow("a path below a plain file") << Occupant::BelowAPlainFile;
    }
    void exportThatFailsSaysWhy()
    {
        QFETCH(Occupant, occupant);
        const QString file = occupy(path(QStringLiteral("picked.txt")), occupant);
        QString error;
        QVERIFY(!notefiles::exportTextFile(file, u"text", &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(file)), qPrintable(error));
    }

    void exportReplacesAnExistingFile()
    {
        const QString file = path(QStringLiteral("old.txt"));
        QVERIFY(writeFileAtomically(file, QByteArray(10000, 'x')));
        QString error;
        QVERIFY2(notefiles::exportTextFile(file, u"new\ntext", &error), qPrintable(error));
        QCOMPARE(contentOf(file), QByteArray("new\r\ntext"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList(QStringLiteral("old.txt")));
    }
};

QTEST_GUILESS_MAIN(TestNoteFiles)
#include "tst_notefiles.moc"
