#pragma once

#include <QString>

// INI ("profile") files as the program's settings use them: UTF-8 text, sections in brackets,
// key=value lines. Section and key names match without regard to case. Values are bytes: what
// is not UTF-8 comes back as the lone surrogates of LosslessText.h and is written back as the
// same bytes. Only regular files of at most 1 MiB are read or rewritten.

/// The value of `key` in `section` of the file at `path`, or `defaultValue` when the file, the
/// section or the key is missing. Blanks around the value are dropped, and so are quotes that
/// enclose it. At most `size` − 1 bytes come back, never a part of a character, and the value
/// ends at its first NUL.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue,
                                int size, const QString& path);

/// Stores `value` under `key` in `section`: an existing key's line is replaced where it stands,
/// a new key goes after the last line of its section, a missing section is added at the end
/// and a missing file is made. Every other line keeps its bytes. A value with blanks at either
/// end is stored in quotes; one with a line break is refused. The file is replaced atomically
/// (a temporary file in the same directory, flushed, then a rename; through a link, its target);
/// when any step fails the old file stays as it was. Returns whether it was written.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path);
