#include "core/conversations/AttachmentFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <QCoroSignal>

namespace lumora {

AttachmentFiles::AttachmentFiles(APIClient* api, QObject* parent)
    : QObject(parent)
    , m_api(api) {}

QString AttachmentFiles::cacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Lumora/media");
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
    if (cached.isFile() && (attachment.sizeBytes <= 0 || cached.size() == attachment.sizeBytes))
        co_return path;
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
