#include "core/conversations/AttachmentFiles.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <QCoroSignal>

#include <algorithm>
#include <vector>

namespace lumora {

AttachmentFiles::AttachmentFiles(APIClient* api, QObject* parent)
    : QObject(parent)
    , m_api(api) {}

QString AttachmentFiles::cacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Lumora/media");
}

namespace {

// The folders of the cache that this client fills: "media", "thumbnails", "pasted".
QStringList cacheFolders() {
    const QString root = QFileInfo(AttachmentFiles::cacheFolder()).absolutePath();
    return {root + QStringLiteral("/media"), root + QStringLiteral("/thumbnails"),
            root + QStringLiteral("/pasted")};
}

} // namespace

bool AttachmentFiles::markUsed(const QString& path) {
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadWrite))
        return false;
    file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return true;
}

void AttachmentFiles::pruneCache(qint64 maxBytes, std::chrono::hours maxAge) {
    struct Entry {
        QString path;
        QDateTime used;
        qint64 size;
    };
    std::vector<Entry> entries;
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-std::chrono::seconds(maxAge).count());
    qint64 total = 0;
    for (const QString& folder : cacheFolders()) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo file(it.next());
            if (file.lastModified() < oldest) {
                QFile::remove(file.filePath());
                continue;
            }
            entries.push_back({file.filePath(), file.lastModified(), file.size()});
            total += file.size();
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (auto entry = entries.cbegin(); total > maxBytes && entry != entries.cend(); ++entry)
        if (QFile::remove(entry->path))
            total -= entry->size;
    // The folders left empty (one per media file), unless a download may have just made one.
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-3600);
    for (const QString& folder : cacheFolders()) {
        QDirIterator it(folder, QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QFileInfo sub(it.next());
            if (sub.lastModified() < settled)
                QDir(folder).rmdir(sub.fileName());
        }
    }
}

void AttachmentFiles::clearCache() {
    for (const QString& folder : cacheFolders())
        QDir(folder).removeRecursively();
}

QString AttachmentFiles::cachePath(const AttachmentMetaDTO& attachment) {
    // The media id when it is a plain one, else a digest of the URL: never a path from the network.
    static const QRegularExpression plainId(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    QString folder = attachment.id.value_or(QUrl(attachment.url).fileName());
    if (!plainId.match(folder).hasMatch())
        folder = QString::fromLatin1(
            QCryptographicHash::hash(attachment.url.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
    QString name = MediaDownload::plainFileName(attachment.fileName.value_or(QString()));
    if (name.isEmpty())
        name = QStringLiteral("file");
    return cacheFolder() + QLatin1Char('/') + folder + QLatin1Char('/') + name;
}

QCoro::Task<APIResult<QString>> AttachmentFiles::openable(AttachmentMetaDTO attachment) {
    const QString path = cachePath(attachment);
    QPointer<AttachmentFiles> self(this);
    while (m_running.value(attachment.url) && m_targets.value(attachment.url) == path) {
        auto ending = qCoro(this, &AttachmentFiles::transferEnded);
        co_await ending;
        if (!self)
            co_return std::unexpected(APIClientError::transportKey("error.cancelled"));
    }
    const QFileInfo cached(path);
    if (cached.isFile() && (attachment.sizeBytes <= 0 || cached.size() == attachment.sizeBytes)) {
        markUsed(path);
        co_return path;
    }
    if (!QDir().mkpath(cached.absolutePath()))
        co_return std::unexpected(APIClientError::file(cached.absolutePath(), "error.fileUnwritable"));
    auto fetching = fetch(std::move(attachment), path);
    co_return co_await fetching;
}

QCoro::Task<APIResult<QString>> AttachmentFiles::saveAs(AttachmentMetaDTO attachment, QString path) {
    auto fetching = fetch(std::move(attachment), std::move(path));
    co_return co_await fetching;
}

void AttachmentFiles::cancel(const QString& url) {
    if (MediaDownload* download = m_running.value(url))
        download->cancel();
}

QCoro::Task<APIResult<QString>> AttachmentFiles::fetch(AttachmentMetaDTO attachment, QString path) {
    const QString url = attachment.url;
    if (m_running.value(url))
        co_return std::unexpected(APIClientError::transportKey("error.alreadyDownloading"));
    QPointer<AttachmentFiles> self(this);
    auto* download = new MediaDownload(m_api, QUrl(url), this);
    m_running.insert(url, download);
    m_targets.insert(url, path);
    if (attachment.sizeBytes > progressFrom) {
        setProgress(url, 0);
        connect(download, &MediaDownload::progress, this, [this, url](qint64 received, qint64 total) {
            if (total > 0)
                setProgress(url, double(received) / double(total));
        });
    }
    auto saving = download->saveTo(path);
    auto saved = co_await saving;
    if (!self)
        co_return saved;
    download->deleteLater();
    m_running.remove(url);
    m_targets.remove(url);
    setProgress(url, -1);
    Q_EMIT transferEnded(url);
    co_return saved;
}

void AttachmentFiles::setProgress(const QString& url, double progress) {
    if (m_progress.value(url, -1) == progress)
        return;
    if (progress < 0)
        m_progress.remove(url);
    else
        m_progress.insert(url, progress);
    Q_EMIT progressChanged(url);
}

} // namespace lumora
