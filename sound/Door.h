#pragma once

#include <QString>
#include <QStringList>

/// Sorts `names` in place, ascending by UTF-16 code unit (upper-case ASCII before lower-case; a
/// string before every longer string it begins), with a Shell sort of gaps 1, 4, 13, 40, …
void SortNames(QStringList& names);

/// The folder of door announcements beside the program: the one sub-directory named "door" in
/// any case ("Door" when several differ only in case, then the first in code-unit order), or
/// programDir + "/Door" when there is none. Used for the listing and for every load.
QString doorDirectory(const QString& programDir);

/// The WAVE files of the door folder, as a plain directory search lists them: file names
/// without directory, ending in ".wav" in any case, hidden files left out, in no set order.
QStringList doorFileNames(const QString& programDir);

struct Program;

/// What the door list is shown in: two trees of entries, entry 0 the standard announcement.
class DoorMenus {
public:
    virtual ~DoorMenus() = default;
    /// Adds an entry with `caption` to both trees; it starts with entry 0's check mark.
    virtual void addDoorEntry(const QString& caption) = 0;
    /// Sets the check mark of entry `index` in both trees.
    virtual void setDoorChecked(int index, bool checked) = 0;
};

/// Lists the door folder into `menus`, sorted, and loads the announcement the settings name
/// (an exact, case-sensitive match of DoorWAV); exactly one entry stays checked.
void BuildDoorMenus(Program& program, DoorMenus& menus);
