// GLib first: its headers use `signals` as a name, which Qt's headers define away.
#include <gio/gio.h>
#include <glib.h>

#include "RecentDocuments.h"

#include "LosslessText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <memory>
#include <system_error>

namespace {

struct GFreer {
    void operator()(void* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFreer>;

struct BookmarkFreer {
    void operator()(GBookmarkFile* b) const { g_bookmark_file_free(b); }
};

struct ErrorFreer {
    void operator()(GError* e) const { g_error_free(e); }
};

} // namespace

QString recentDocumentsFile()
{
    return QDir(QString::fromUtf8(g_get_user_data_dir())).filePath(QStringLiteral("recently-used.xbel"));
}

bool addRecentDocument(const QString& path, const QString& listFile)
{
    // The name's own bytes, which need not be UTF-8.
    const QByteArray local = bytesFromText(QFileInfo(path).absoluteFilePath());
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(local.toStdString()), error)) return false;
    const QByteArray list = QFile::encodeName(listFile);

    GText uri(g_filename_to_uri(local.constData(), nullptr, nullptr));
    if (!uri) return false;

    std::unique_ptr<GBookmarkFile, BookmarkFreer> bookmarks(g_bookmark_file_new());
    if (QFileInfo::exists(listFile)) {
        GError* raw = nullptr;
        // Another program's list we cannot read is theirs to mend: never overwrite it.
        if (!g_bookmark_file_load_from_file(bookmarks.get(), list.constData(), &raw)) {
            std::unique_ptr<GError, ErrorFreer> error(raw);
            return false;
        }
    }

    gboolean uncertain = FALSE;
    GText type(g_content_type_guess(local.constData(), nullptr, 0, &uncertain));
    GText mime(type ? g_content_type_get_mime_type(type.get()) : nullptr);
    g_bookmark_file_set_mime_type(bookmarks.get(), uri.get(), mime ? mime.get() : "application/octet-stream");

    const QByteArray app = QCoreApplication::applicationName().isEmpty()
                               ? QByteArrayLiteral("tarnek")
                               : QCoreApplication::applicationName().toUtf8();
    const QByteArray exec = "'" + QFile::encodeName(QCoreApplication::applicationFilePath()) + "' %u";
    g_bookmark_file_add_application(bookmarks.get(), uri.get(), app.constData(), exec.constData());

    QDir().mkpath(QFileInfo(listFile).absolutePath());
    gsize length = 0;
    GText data(g_bookmark_file_to_data(bookmarks.get(), &length, nullptr));
    if (!data) return false;
    // g_file_set_contents writes a temporary file and renames it over the list.
    return g_file_set_contents(list.constData(), data.get(), static_cast<gssize>(length), nullptr) != FALSE;
}
