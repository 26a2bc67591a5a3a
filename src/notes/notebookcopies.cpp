// What a sync tool does when a note changed on two desks at once: it keeps
// one version under the note's name and the other beside it, under a name of
// its own. The bar tells which note such a copy belongs to and where it is,
// and never opens, changes or deletes it; and when the version that came in
// took the place of text typed here, the two are told together.
#include "notebook.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

using notefiles::caption;

namespace {

QString quoted(const QStringList &paths)
{
    QStringList all;
    for (const QString &path : paths)
        all.append(u'"' + QDir::toNativeSeparators(path) + u'"');
    return all.join(QStringLiteral(", "));
}

} // namespace

bool NoteBook::typedRecently(int note) const
{
    const auto &saved = state(note).typedSaved;
    return saved && m_env.clock() - *saved < m_env.recent;
}

void NoteBook::findCopies(bool atStart)
{
    const QDir folder(m_env.dataFolder);
    // Copies told at an earlier start are not told again at this one.
    QSet<QString> toldBefore;
    if (atStart && !m_env.toldCopies.isEmpty()) {
        QByteArray told;
        if (diskfile::readFile(m_env.toldCopies, 1024 * 1024, told) == diskfile::ReadStatus::Read)
            for (const QString &path : QString::fromUtf8(told).split(u'\n', Qt::SkipEmptyParts))
                toldBefore.insert(path);
    }
    QStringList found;
    bool foundAny = false;
    for (const QString &name : folder.entryList(QDir::Files)) {
        const int note = notesync::conflictCopyOf(name);
        const QString path = folder.absoluteFilePath(name);
        if (note == 0 || m_knownCopies.contains(path))
            continue;
        m_knownCopies.insert(path);
        foundAny = true;
        if (atStart && !toldBefore.contains(path))
            found.append(tr("\"%1\" (%2)").arg(native(path), caption(note)));
        else if (!atStart)
            m_arrivals[std::size_t(note - 1)].copies.append(path);
    }
    if (!found.isEmpty())
        tell(tr("Other versions of your notes are kept beside them, left when a note was "
                "changed in two places at once (by a sync tool, or by Marglet):\n%1\n\nMarglet "
                "leaves these files as they are: compare them with your notes, and delete them "
                "when you are done.")
                 .arg(found.join(u'\n')));
    if (foundAny || (atStart && !toldBefore.isEmpty()))
        rememberCopies();
}

void NoteBook::rememberCopies()
{
    if (m_env.toldCopies.isEmpty())
        return;
    QStringList present;
    for (const QString &path : std::as_const(m_knownCopies))
        if (QFileInfo::exists(path))
            present.append(path);
    present.sort();
    // Losing this file costs only a copy told once more at the next start,
    // so a failure to write it is not worth a message of its own.
    QDir().mkpath(QFileInfo(m_env.toldCopies).absolutePath());
    diskfile::replace(m_env.toldCopies, present.join(u'\n').toUtf8());
}

QString NoteBook::keepReplaced(int note, const QString &text)
{
    // Beside the note, as the bar's own conflicted copies are, so that it
    // reaches the other desk too; failing that, with the rescued notes.
    const QByteArray bytes = notecodec::encode(text, state(note).encoding);
    const QString stem = QFileInfo(notePath(note)).completeBaseName();
    QString why;
    for (const QString &folder : {m_env.dataFolder, m_env.rescueFolder}) {
        const bool beside = folder == m_env.dataFolder;
        if (!beside && !QDir().mkpath(folder))
            continue;
        const QString path = diskfile::freeName(
            folder, stem, stamped(beside ? tr("conflicted copy") : tr("rescued")),
            beside ? QStringLiteral(".qkn") : QStringLiteral(".txt"));
        if (diskfile::createNew(path, bytes, &why)) {
            m_knownCopies.insert(QFileInfo(path).absoluteFilePath());
            rememberCopies();
            return path;
        }
    }
    tell(tr("Another desk's version of %1 replaced the text you typed here, and no sync tool "
            "kept a copy of your text. Marglet could not keep it either: %2")
             .arg(caption(note), why));
    return {};
}

void NoteBook::tellArrivals(bool waited)
{
    bool waiting = false;
    for (int note = 1; note <= notefiles::kNoteCount; ++note) {
        Arrival &arrival = m_arrivals[std::size_t(note - 1)];
        if (!arrival.replaced && arrival.copies.isEmpty())
            continue;
        // A sync tool renames the text it replaces and puts the other
        // version in place one after the other, in either order.
        const bool partnerDue = arrival.copies.isEmpty() ||
                                (!arrival.replaced && typedRecently(note) && !state(note).dirty);
        if (partnerDue && !waited) {
            waiting = true;
            continue;
        }
        if (arrival.replaced && !arrival.copies.isEmpty())
            tell(tr("Another desk's version of %1 replaced the text you typed here. Your text is "
                    "kept in %2; Marglet leaves that file as it is.")
                     .arg(caption(note), quoted(arrival.copies)));
        else if (arrival.replaced && arrival.holdsAll)
            tell(tr("Another desk's version of %1 replaced the text you typed here. It still "
                    "holds all of your text, with the other desk's changes.")
                     .arg(caption(note)));
        else if (arrival.replaced) {
            const QString kept = keepReplaced(note, arrival.replacedText);
            if (!kept.isEmpty())
                tell(tr("Another desk's version of %1 replaced the text you typed here. No sync "
                        "tool kept a copy of your text, so Marglet kept it in \"%2\" and leaves "
                        "the other version in the note.")
                         .arg(caption(note), native(kept)));
        } else if (arrival.copies.size() == 1)
            tell(tr("Another version of %1 is kept in %2. A sync tool, or Marglet on another "
                    "desk, kept it there when the note was changed in two places at once. "
                    "Marglet leaves that file as it is.")
                     .arg(caption(note), quoted(arrival.copies)));
        else
            tell(tr("Other versions of %1 are kept in %2. A sync tool, or Marglet on another "
                    "desk, kept them there when the note was changed in two places at once. "
                    "Marglet leaves those files as they are.")
                     .arg(caption(note), quoted(arrival.copies)));
        arrival = Arrival{};
    }
    // Nothing ticks unless something waits to be told.
    if (!waiting)
        m_pairing->stop();
    else if (!m_pairing->isActive())
        m_pairing->start(m_env.pairing);
}
