// What a sync tool does when a note changed on two desks at once: it keeps
// one version under the note's name and the other beside it, under a name of
// its own. The bar tells which note such a copy belongs to and where it is,
// and never opens, changes or deletes it; and when the version that came in
// took the place of text typed here, the two are told together.
#include "notebook.h"

#include <QDir>
#include <QFileInfo>

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
    QStringList found;
    for (const QString &name : folder.entryList(QDir::Files)) {
        const int note = notesync::conflictCopyOf(name);
        const QString path = folder.absoluteFilePath(name);
        if (note == 0 || m_knownCopies.contains(path))
            continue;
        m_knownCopies.insert(path);
        if (atStart)
            found.append(tr("\"%1\" (%2)").arg(native(path), caption(note)));
        else
            m_arrivals[std::size_t(note - 1)].copies.append(path);
    }
    // The bar keeps no record of what it told in an earlier run, so copies
    // still there are listed again at the next start, in one message.
    if (!found.isEmpty())
        tell(tr("Other versions of your notes are kept beside them, left when a note was "
                "changed in two places at once (by a sync tool, or by Marglet):\n%1\n\nMarglet "
                "leaves these files as they are: compare them with your notes, and delete them "
                "when you are done. Until then Marglet lists them at every start.")
                 .arg(found.join(u'\n')));
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
        else if (arrival.replaced)
            tell(tr("Another desk's version of %1 replaced the text you typed here. No sync tool "
                    "kept a copy of your text beside it.")
                     .arg(caption(note)));
        else if (arrival.copies.size() == 1)
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
