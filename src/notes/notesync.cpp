#include "notesync.h"

namespace notesync {

Step decide(bool editedHere, Disk disk)
{
    switch (disk) {
    case Disk::AsKnown:
        return editedHere ? Step::Write : Step::Nothing;
    case Disk::Missing:
        return editedHere ? Step::Write : Step::Take;
    case Disk::Changed:
        return editedHere ? Step::KeepAsideAndWrite : Step::Take;
    case Disk::SameAsHere:
        return Step::MarkSaved;
    case Disk::Unreadable:
        return editedHere ? Step::KeepAsideAndWrite : Step::Nothing;
    case Disk::NotAFile:
        return editedHere ? Step::Refuse : Step::Nothing;
    }
    return Step::Nothing;
}

} // namespace notesync
