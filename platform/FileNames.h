#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>

// File names are bytes on this system and need not be UTF-8. A name keeps its bytes through
// QString as lone surrogates: each byte that is not part of valid UTF-8 becomes U+DC80 + byte.

/// The name the bytes spell, losslessly: encodeFileName gives the same bytes back.
QString decodeFileName(const QByteArray& bytes);
/// The bytes of a name: UTF-8, with each lone surrogate U+DC80..U+DCFF back to its byte.
QByteArray encodeFileName(const QString& name);
/// The name as the file system takes it.
std::filesystem::path fileSystemPath(const QString& name);
/// The name for people to read: bytes that are not UTF-8 show as U+FFFD.
QString displayFileName(const QString& name);
/// True when both names lead to the same existing file.
bool sameFile(const QString& a, const QString& b);
