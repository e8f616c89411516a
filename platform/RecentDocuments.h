#pragma once

#include <QString>

/// The desktop's list of recently used files (the freedesktop `recently-used.xbel` in the
/// user's data directory).
QString recentDocumentsFile();

/// Adds `path` (an existing file) to the recently used list at `listFile`, with its MIME type and
/// this program as the application that used it. The list is rewritten atomically; a list that
/// cannot be read is left exactly as it is. Returns whether the entry was written.
bool addRecentDocument(const QString& path, const QString& listFile = recentDocumentsFile());
