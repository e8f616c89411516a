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
