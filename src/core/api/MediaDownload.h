#pragma once

#include "core/api/APIClient.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

class QNetworkReply;

namespace lumora {

// A media file from its URL to disk, streamed (never whole in memory): written to "NAME.part" and
// renamed to NAME when complete, so an interrupted download never leaves a partial file under the real
// name. A ".part" left by an earlier attempt is resumed with a Range request when the service answers
// 206, and started over when it answers 200.
// The URL is the one a message carries: relative to the service or absolute. The service's own origin
// gets the token; any other origin gets none and is fetched only over HTTPS or from this machine.
// Redirects are followed within the origin only.
class MediaDownload : public QObject {
    Q_OBJECT

public:
    MediaDownload(APIClient* api, QUrl url, QObject* parent = nullptr);

    // The absolute URL fetched.
    const QUrl& url() const { return m_url; }

    // To `path`, replacing a file there; the path written.
    QCoro::Task<APIResult<QString>> saveTo(QString path);
    // Into `folder`, under the name the service gives (Content-Disposition), reduced to a plain file
    // name, else the URL's last segment; never replacing an existing file.
    QCoro::Task<APIResult<QString>> saveInto(QString folder);

    // Stops the download; the ".part" goes too. The running task answers "cancelled".
    void cancel();

    qint64 received() const { return m_received; } // bytes of the file on disk so far
    qint64 total() const { return m_total; }       // -1 while unknown

    // The name a Content-Disposition value gives (filename* first), reduced to a plain file name:
    // no folders, no control characters, no leading dots; empty when it gives none.
    static QString fileNameFrom(const QByteArray& contentDisposition);
    // A name from elsewhere reduced the same way: its last path segment, without control characters or
    // leading dots.
    static QString plainFileName(QString name);

Q_SIGNALS:
    void progress(qint64 received, qint64 total);

private:
    QCoro::Task<APIResult<QString>> run(QString path, QString folder);
    std::optional<APIClientError> open(const QString& partPath, bool append);
    std::optional<APIClientError> writeAvailable();
    void setProgress(qint64 received, qint64 total);

    QPointer<APIClient> m_api;
    QUrl m_url;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    qint64 m_received = 0;
    qint64 m_total = -1;
    bool m_cancelled = false;
};

} // namespace lumora
