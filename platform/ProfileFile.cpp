#include "ProfileFile.h"

#include <QFile>
#include <QSaveFile>

#include <optional>
#include <vector>

namespace {

// Larger files are not settings files; they are neither read nor rewritten.
constexpr qint64 kMaxProfileBytes = 16 * 1024 * 1024;

struct Line {
    QByteArray text; // without its line ending
    QByteArray end;  // "\n", "\r\n", or empty for a last line without one
};

std::optional<QByteArray> readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > kMaxProfileBytes) return std::nullopt;
    return file.readAll();
}

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', at);
        if (newline < 0) {
            lines.push_back({bytes.mid(at), {}});
            break;
        }
        const bool crlf = newline > at && bytes[newline - 1] == '\r';
        lines.push_back({bytes.mid(at, newline - at - (crlf ? 1 : 0)), crlf ? QByteArray("\r\n") : QByteArray("\n")});
        at = newline + 1;
    }
    return lines;
}

bool sameName(const QByteArray& a, const QString& b)
{
    return QString::fromUtf8(a).compare(b, Qt::CaseInsensitive) == 0;
}

// The name of a section header line, or nullopt for any other line.
std::optional<QByteArray> sectionOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('[')) return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// The key and value of a key line, or nullopt for comments, blank and other lines.
std::optional<std::pair<QByteArray, QByteArray>> keyOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';')) return std::nullopt;
    const qsizetype equals = t.indexOf('=');
    if (equals <= 0) return std::nullopt;
    return std::pair{t.left(equals).trimmed(), t.mid(equals + 1).trimmed()};
}

// Where section `name` lies: its header line, and one past its last line.
struct Span {
    std::size_t header;
    std::size_t end;
};

std::optional<Span> findSection(const std::vector<Line>& lines, const QString& name)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto s = sectionOf(lines[i].text);
        if (!s || !sameName(*s, name)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionOf(lines[end].text)) ++end;
        return Span{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<Line>& lines, const Span& section, const QString& key)
{
    for (std::size_t i = section.header + 1; i < section.end; ++i) {
        const auto k = keyOf(lines[i].text);
        if (k && sameName(k->first, key)) return i;
    }
    return std::nullopt;
}

// At most `bytes` bytes of UTF-8 text, cut before a character that would not fit whole.
QByteArray cutUtf8(QByteArray text, qsizetype bytes)
{
    if (text.size() <= bytes) return text;
    qsizetype end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.truncate(end);
    return text;
}

} // namespace

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue,
                                int size, const QString& path)
{
    if (size <= 0) return {};
    QByteArray value = defaultValue.toUtf8();
    if (const auto bytes = readAll(path)) {
        const std::vector<Line> lines = splitLines(*bytes);
        if (const auto span = findSection(lines, section))
            if (const auto at = findKey(lines, *span, key)) {
                value = keyOf(lines[*at].text)->second;
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                    value = value.mid(1, value.size() - 2);
            }
    }
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0) value.truncate(nul);
    // Bytes that are not UTF-8 decode to a replacement character of three bytes: cut again by
    // whole characters so that the limit holds for the text that comes back, too.
    QString text = QString::fromUtf8(cutUtf8(value, size - 1));
    while (text.toUtf8().size() > size - 1) text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text;
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path)
{
    QByteArray bytes;
    if (QFile::exists(path)) {
        const auto existing = readAll(path);
        if (!existing) return false; // unreadable or too large: not ours to rewrite
        bytes = *existing;
    }
    std::vector<Line> lines = splitLines(bytes);
    const QByteArray newline = bytes.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    const Line entry{key.toUtf8() + '=' + value.toUtf8(), newline};

    const auto span = findSection(lines, section);
    if (!span) {
        if (!lines.empty() && lines.back().end.isEmpty()) lines.back().end = newline;
        lines.push_back({'[' + section.toUtf8() + ']', newline});
        lines.push_back(entry);
    } else if (const auto at = findKey(lines, *span, key)) {
        lines[*at].text = entry.text;
    } else {
        // After the section's last line that is not blank, so that a blank line before the
        // next section stays where it is.
        std::size_t after = span->end;
        while (after > span->header + 1 && lines[after - 1].text.trimmed().isEmpty()) --after;
        if (lines[after - 1].end.isEmpty()) lines[after - 1].end = newline;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after), entry);
    }

    QByteArray out;
    for (const Line& line : lines) out += line.text + line.end;
    if (out == bytes && QFile::exists(path)) return true; // nothing changes: leave the file alone

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
