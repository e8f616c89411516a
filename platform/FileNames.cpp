#include "FileNames.h"

#include "LosslessText.h"

#include <QMimeData>
#include <QUrl>

#include <system_error>

std::filesystem::path fileSystemPath(const QString& name)
{
    return std::filesystem::path(bytesFromText(name).toStdString());
}

bool sameFile(const QString& a, const QString& b)
{
    std::error_code error;
    return std::filesystem::equivalent(fileSystemPath(a), fileSystemPath(b), error) && !error;
}

QStringList droppedFiles(const QMimeData& data)
{
    QStringList files;
    const QByteArray list = data.data(QStringLiteral("text/uri-list"));
    if (list.isEmpty()) {
        for (const QUrl& url : data.urls())
            if (url.isLocalFile()) files << url.toLocalFile();
        return files;
    }
    // Read by hand: QUrl decodes a path as UTF-8, and a name that is not would name no file.
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (!line.toLower().startsWith("file:")) continue; // comments and other schemes too
        QByteArray path = line.mid(5);
        if (path.startsWith("//")) {
            const qsizetype slash = path.indexOf('/', 2);
            const QByteArray host = path.mid(2, slash < 0 ? -1 : slash - 2).toLower();
            if (slash < 0 || !(host.isEmpty() || host == "localhost")) continue; // another machine's
            path = path.mid(slash);
        }
        if (!path.startsWith('/')) continue;
        const qsizetype end = path.indexOf('?') >= 0 ? path.indexOf('?') : path.indexOf('#');
        if (end >= 0) path.truncate(end);
        files << textFromBytes(QByteArray::fromPercentEncoding(path));
    }
    return files;
}
