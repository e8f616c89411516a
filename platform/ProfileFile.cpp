#include "ProfileFile.h"

#include "LosslessText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Larger files are not settings files; they are neither read nor rewritten.
constexpr qint64 kMaxProfileBytes = 1024 * 1024;
const QByteArray kByteOrderMark("\xEF\xBB\xBF");

struct Line {
    QByteArray text; // without its line ending
    QByteArray end;  // "\n", "\r\n", or empty for a last line without one
};

enum class Found { Missing, Unusable, Read };

struct Contents {
    Found found = Found::Missing;
    QByteArray bytes;
    mode_t mode = 0;
};

// Only a regular file, and only so much of it: a link to a device or a pipe named like the
// settings file must neither hang the program nor fill its memory.
Contents readFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {errno == ENOENT ? Found::Missing : Found::Unusable, {}, 0};
    Contents contents{Found::Unusable, {}, 0};
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxProfileBytes) {
        contents.mode = info.st_mode & 07777;
        // Sized by what the file says, yet bounded should it grow while being read.
        QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
        qsizetype have = 0;
        for (;;) {
            if (have == bytes.size()) {
                if (have > kMaxProfileBytes) break;
                bytes.resize(std::min<qsizetype>(have * 2, kMaxProfileBytes + 1));
            }
            const ssize_t got = ::read(fd, bytes.data() + have, static_cast<size_t>(bytes.size() - have));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got == 0) contents.found = Found::Read;
                break;
            }
            have += got;
        }
        bytes.truncate(have);
        contents.bytes = bytes;
    }
    ::close(fd);
    return contents;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += put;
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A temporary file beside `path`, written, flushed to the disk and renamed over it. Every step
// is checked: a full disk or an I/O error leaves the old file as it was. After a crash the
// file is the old one or the new one, whole; the directory is not flushed as well, which
// would only make the new one certain at twice the cost.
bool replaceFile(const QString& path, const QByteArray& bytes, mode_t mode)
{
    const QFileInfo info(path);
    QByteArray name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool written = writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    written = written && ::rename(name.constData(), QFile::encodeName(path).constData()) == 0;
    if (!written) {
        ::unlink(name.constData());
        return false;
    }
    return true;
}

// A settings file that is a link is written where the link points, so that the link stays.
std::optional<QString> writeTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString target = info.canonicalFilePath();
    if (target.isEmpty()) return std::nullopt; // a dangling link: not ours to replace
    return target;
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
    return textFromBytes(a).compare(b, Qt::CaseInsensitive) == 0;
}

// A byte-order mark (an editor's UTF-8) before the first line is no part of its name.
QByteArray withoutMark(const QByteArray& line)
{
    return line.startsWith(kByteOrderMark) ? line.mid(kByteOrderMark.size()) : line;
}

// The name of a section header line, or nullopt for any other line.
std::optional<QByteArray> sectionOf(const QByteArray& line)
{
    const QByteArray t = withoutMark(line).trimmed();
    if (!t.startsWith('[')) return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// The key and value of a key line, or nullopt for comments, blank and other lines.
std::optional<std::pair<QByteArray, QByteArray>> keyOf(const QByteArray& line)
{
    const QByteArray t = withoutMark(line).trimmed();
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

// Blanks around a value and a pair of quotes enclosing it are the reader's to drop: a value
// that has them of its own is stored in quotes, so that it reads back as it was.
QByteArray storedValue(const QByteArray& value)
{
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (!quoted && value.trimmed() == value) return value;
    return '"' + value + '"';
}

bool breaksALine(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) || text.contains(QChar(0));
}

} // namespace

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue,
                                int size, const QString& path)
{
    if (size <= 0) return {};
    QByteArray value = bytesFromText(defaultValue);
    const Contents contents = readFile(path);
    if (contents.found == Found::Read) {
        const std::vector<Line> lines = splitLines(contents.bytes);
        if (const auto span = findSection(lines, section))
            if (const auto at = findKey(lines, *span, key)) {
                value = keyOf(lines[*at].text)->second;
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                    value = value.mid(1, value.size() - 2);
            }
    }
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0) value.truncate(nul);
    // Bytes as they are: a value that is not UTF-8 (a file from another system) goes back
    // into the file unchanged.
    return textFromBytes(cutUtf8(value, size - 1));
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path)
{
    // A line break in a value would make lines of its own in the file.
    if (breaksALine(section) || breaksALine(key) || breaksALine(value) || key.contains(QLatin1Char('=')))
        return false;
    const std::optional<QString> target = writeTarget(path);
    if (!target) return false;
    const Contents existing = readFile(*target);
    if (existing.found == Found::Unusable) return false; // not a file of ours to rewrite

    std::vector<Line> lines = splitLines(existing.bytes);
    const QByteArray newline = existing.bytes.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    const Line entry{bytesFromText(key) + '=' + storedValue(bytesFromText(value)), newline};

    const auto span = findSection(lines, section);
    if (!span) {
        if (!lines.empty() && lines.back().end.isEmpty()) lines.back().end = newline;
        lines.push_back({'[' + bytesFromText(section) + ']', newline});
        lines.push_back(entry);
    } else if (const auto at = findKey(lines, *span, key)) {
        // The mark stays where it was, before the first line.
        lines[*at].text = (lines[*at].text.startsWith(kByteOrderMark) ? kByteOrderMark : QByteArray()) + entry.text;
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
    if (existing.found == Found::Read && out == existing.bytes) return true; // nothing changes: leave the file alone
    return replaceFile(*target, out, existing.found == Found::Read ? existing.mode : newFileMode());
}
