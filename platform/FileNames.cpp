#include "FileNames.h"

#include <system_error>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80..U+DCFF hold the bytes 0x80..0xFF

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is none (shortest
// form only, no surrogates, nothing beyond U+10FFFF).
int sequenceLength(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 0;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    if (at + length > bytes.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (int i = 2; i < length; ++i)
        if (!isContinuation(byte(at + i))) return 0;
    return length;
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = sequenceLength(bytes, at);
        if (length == 0) {
            name.append(QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[at]))));
            ++at;
        } else {
            name.append(QString::fromUtf8(bytes.constData() + at, length));
            at += length;
        }
    }
    return name;
}

QByteArray encodeFileName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype plain = 0; // start of the run not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (unit < kEscapeBase + 0x80 || unit > kEscapeBase + 0xFF) continue;
        // A low surrogate after a high one is half of a proper pair, not an escaped byte.
        if (i > 0 && name[i - 1].isHighSurrogate()) continue;
        bytes.append(QStringView(name).mid(plain, i - plain).toUtf8());
        bytes.append(static_cast<char>(unit - kEscapeBase));
        plain = i + 1;
    }
    bytes.append(QStringView(name).mid(plain).toUtf8());
    return bytes;
}

std::filesystem::path fileSystemPath(const QString& name)
{
    return std::filesystem::path(encodeFileName(name).toStdString());
}

QString displayFileName(const QString& name)
{
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t unit = shown[i].unicode();
        const bool escaped = unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
                             !(i > 0 && shown[i - 1].isHighSurrogate());
        if (escaped) shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

bool sameFile(const QString& a, const QString& b)
{
    std::error_code error;
    return std::filesystem::equivalent(fileSystemPath(a), fileSystemPath(b), error) && !error;
}
