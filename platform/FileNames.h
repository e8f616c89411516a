#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>

class QMimeData;

// File names are bytes on this system and need not be UTF-8; in a QString they are held as
// LosslessText.h holds them, and go back to the file system as the same bytes.

/// The name as the file system takes it.
std::filesystem::path fileSystemPath(const QString& name);
/// True when both names lead to the same existing file.
bool sameFile(const QString& a, const QString& b);
/// The local files of a drop, in its order, with their names' bytes as the drop spells them.
QStringList droppedFiles(const QMimeData& data);
