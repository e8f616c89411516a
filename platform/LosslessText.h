#pragma once

#include <QByteArray>
#include <QString>

// Text that came as bytes and must go back as the same bytes: settings values copied from
// another system, file names in another encoding. UTF-8 decodes as usual; every byte that is
// not part of valid UTF-8 becomes the lone surrogate U+DC80 + byte, and turns back into that
// byte on the way out.

QString textFromBytes(const QByteArray& bytes);
QByteArray bytesFromText(const QString& text);

/// For showing to the user: each byte that was not UTF-8 as a replacement character.
QString displayText(const QString& text);
