#pragma once

#include "core/api/MediaDownload.h"
#include "wire/WireRecords.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <chrono>

namespace lumora {

// Received files on their way to disk: into the cache, to be opened with the desktop's handler, or to
// where the user saves them. One transfer per file at a time; progress is told for files over 1 MB.
class AttachmentFiles : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 progressFrom = 1024 * 1024;

    explicit AttachmentFiles(APIClient* api, QObject* parent = nullptr);

    // "$XDG_CACHE_HOME/Lumora/media".
    static QString cacheFolder();
    // Keeps the cache (received files, thumbnails, pasted images) within bounds: what was not used for
    // `maxAge` goes, then the least recently used until it holds at most `maxBytes`. Run at start,
    // before any transfer, off the interface thread.
    static void pruneCache(qint64 maxBytes = 1024LL * 1024 * 1024,
                           std::chrono::hours maxAge = std::chrono::days(30));
    // Marks a cached file as just used, for pruning; false when it is not there.
    static bool markUsed(const QString& path);
    // Empties it: another user signing in on this desktop finds nothing of the last one's.
    static void clearCache();
    // Where the cached copy of it lives: a folder per media file, the file under its own name.
    static QString cachePath(const AttachmentMetaDTO& attachment);

    // The cached copy's path, downloaded first unless a copy of the right size is there already. A
    // download into the cache already under way (the image's thumbnail) is waited for, not refused.
    QCoro::Task<APIResult<QString>> openable(AttachmentMetaDTO attachment);
    // A copy at `path`, replacing what is there (the save dialog asked).
    QCoro::Task<APIResult<QString>> saveAs(AttachmentMetaDTO attachment, QString path);
    void cancel(const QString& url);

    // From 0 to 1 while a transfer of a file over 1 MB runs; -1 otherwise.
    double progress(const QString& url) const { return m_progress.value(url, -1); }

Q_SIGNALS:
    void progressChanged(const QString& url);
    void transferEnded(const QString& url);

private:
    QCoro::Task<APIResult<QString>> fetch(AttachmentMetaDTO attachment, QString path);
    void setProgress(const QString& url, double progress);

    APIClient* m_api;
    QHash<QString, QPointer<MediaDownload>> m_running; // by media URL
    QHash<QString, QString> m_targets;                 // where each of those writes
    QHash<QString, double> m_progress;
};

} // namespace lumora
