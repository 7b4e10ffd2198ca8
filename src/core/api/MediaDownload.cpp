#include "core/api/MediaDownload.h"

#include "core/api/APIConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

#include <QCoroNetworkReply>

#include <filesystem>
#include <memory>

namespace lumora {

namespace {

// What the reply body may be read into memory when it is an error, not the file.
constexpr qint64 maxErrorBody = 64 * 1024;
// The network stack keeps at most this much unread; the rest waits in the socket.
constexpr qint64 readBuffer = 1024 * 1024;

// "bytes START-END/TOTAL" (or "bytes */TOTAL"): START (or -1 for "*") and TOTAL (-1 when "*").
std::pair<qint64, qint64> parseContentRange(const QByteArray& value) {
    static const QRegularExpression shape(QStringLiteral("^bytes\\s+(?:(\\d+)-\\d+|\\*)/(\\d+|\\*)$"));
    const auto match = shape.match(QString::fromLatin1(value.trimmed()));
    if (!match.hasMatch())
        return {-2, -1};
    const qint64 start = match.captured(1).isEmpty() ? -1 : match.captured(1).toLongLong();
    const qint64 total = match.captured(2) == u"*" ? -1 : match.captured(2).toLongLong();
    return {start, total};
}

} // namespace

QString MediaDownload::plainFileName(QString name) {
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    QString clean;
    for (const QChar c : std::as_const(name))
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            clean.append(c);
    while (clean.startsWith(QLatin1Char('.')))
        clean.remove(0, 1);
    return clean.trimmed();
}

MediaDownload::MediaDownload(APIClient* api, QUrl url, QObject* parent)
    : QObject(parent)
    , m_api(api)
    , m_url(APIConfig::baseURL().resolved(url)) {}

QString MediaDownload::fileNameFrom(const QByteArray& contentDisposition) {
    // RFC 6266: filename* (RFC 5987, UTF-8 percent-encoded) wins over filename.
    static const QRegularExpression extended(QStringLiteral("filename\\*\\s*=\\s*([^']*)'[^']*'([^;\\s]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression quoted(QStringLiteral("filename\\s*=\\s*\"((?:[^\"\\\\]|\\\\.)*)\""),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression token(QStringLiteral("filename\\s*=\\s*([^;\\s\"]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString value = QString::fromLatin1(contentDisposition);
    if (const auto m = extended.match(value);
        m.hasMatch() && m.captured(1).compare(u"UTF-8", Qt::CaseInsensitive) == 0)
        return plainFileName(QString::fromUtf8(QByteArray::fromPercentEncoding(m.captured(2).toLatin1())));
    if (const auto m = quoted.match(value); m.hasMatch())
        return plainFileName(
            QString::fromUtf8(m.captured(1).toLatin1())
                .replace(QRegularExpression(QStringLiteral("\\\\(.)")), QStringLiteral("\\1")));
    if (const auto m = token.match(value); m.hasMatch())
        return plainFileName(QString::fromUtf8(m.captured(1).toLatin1()));
    return QString();
}

QCoro::Task<APIResult<QString>> MediaDownload::saveTo(QString path) {
    return run(std::move(path), QString());
}

QCoro::Task<APIResult<QString>> MediaDownload::saveInto(QString folder) {
    return run(QString(), std::move(folder));
}

void MediaDownload::cancel() {
    m_cancelled = true;
    if (m_reply)
        m_reply->abort();
}

void MediaDownload::setProgress(qint64 received, qint64 total) {
    if (received == m_received && total == m_total)
        return;
    m_received = received;
    m_total = total;
    Q_EMIT progress(received, total);
}

std::optional<APIClientError> MediaDownload::open(const QString& partPath, bool append) {
    m_file.close();
    m_file.setFileName(partPath);
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate);
    if (!m_file.open(mode))
        return APIClientError::file(m_file.errorString(), "error.fileUnwritable");
    return std::nullopt;
}

std::optional<APIClientError> MediaDownload::writeAvailable() {
    while (m_reply && m_reply->bytesAvailable() > 0) {
        const QByteArray chunk = m_reply->read(readBuffer);
        if (m_file.write(chunk) != chunk.size())
            return APIClientError::file(m_file.errorString(), "error.fileUnwritable");
        setProgress(m_received + chunk.size(), m_total);
    }
    return std::nullopt;
}

QCoro::Task<APIResult<QString>> MediaDownload::run(QString path, QString folder) {
    QPointer<MediaDownload> self(this);
    const QString scheme = m_url.scheme();
    if (!m_api || !m_url.isValid() || m_url.host().isEmpty() || (scheme != u"https" && scheme != u"http"))
        co_return std::unexpected(APIClientError::invalidURL());
    const QString serviceOrigin = APIConfig::originOf(APIConfig::baseURL());
    if (APIConfig::originOf(m_url) != serviceOrigin && !APIConfig::carriesCredentialsSafely(m_url))
        co_return std::unexpected(APIClientError::transportKey("error.insecureMedia", m_url.host()));

    // A file named up front may have an earlier attempt's part to resume.
    qint64 offset = 0;
    if (!path.isEmpty() && QFileInfo(path + QStringLiteral(".part")).isFile())
        offset = QFileInfo(path + QStringLiteral(".part")).size();

    QUrl target = m_url;
    for (int hop = 0; hop <= APIClient::maxRedirects; ++hop) {
        QNetworkRequest request(target);
        request.setTransferTimeout(int(m_api->transferTimeout().count()));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        m_api->addCredentials(request);
        if (offset > 0)
            request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + "-");
        std::unique_ptr<QNetworkReply, QScopedPointerDeleteLater> reply(m_api->network()->get(request));
        reply->setReadBufferSize(readBuffer);
        m_reply = reply.get();

        // The first bytes decide where the rest goes; error bodies stay in memory, bounded.
        bool decided = false;
        int status = 0;
        QByteArray errorBody;
        std::optional<APIClientError> failure;
        const auto onData = [&] {
            if (failure)
                return;
            if (!decided) {
                decided = true;
                status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
                const bool hasLength = reply->header(QNetworkRequest::ContentLengthHeader).isValid();
                if (status == 200 || status == 206) {
                    bool append = false;
                    qint64 total = hasLength ? length : -1;
                    if (status == 206) {
                        const auto [start, whole] = parseContentRange(reply->rawHeader("Content-Range"));
                        if (start != offset) {
                            failure = APIClientError::transportKey("error.badReply");
                            reply->abort();
                            return;
                        }
                        append = true;
                        total = whole;
                    }
                    if (path.isEmpty()) {
                        QString name = fileNameFrom(reply->rawHeader("Content-Disposition"));
                        if (name.isEmpty())
                            name = plainFileName(target.fileName());
                        if (name.isEmpty())
                            name = QStringLiteral("download");
                        path = QDir(folder).filePath(name);
                        if (QFileInfo::exists(path)) {
                            failure = APIClientError::file(path, "error.fileExists");
                            reply->abort();
                            return;
                        }
                    }
                    if ((failure = open(path + QStringLiteral(".part"), append))) {
                        reply->abort();
                        return;
                    }
                    setProgress(append ? offset : 0, total);
                }
            }
            if (status == 200 || status == 206) {
                if ((failure = writeAvailable()))
                    reply->abort();
            } else if (errorBody.size() < maxErrorBody) {
                errorBody += reply->read(maxErrorBody - errorBody.size());
            } else {
                reply->read(readBuffer); // the rest of an error page is of no use
            }
        };
        connect(reply.get(), &QNetworkReply::readyRead, this, onData);
        co_await reply.get();
        if (!self)
            co_return std::unexpected(APIClientError::transportKey("error.clientClosed"));
        onData(); // what arrived with the end, and a reply without a body
        m_reply = nullptr;
        m_file.close();
        const QString partPath = path + QStringLiteral(".part");
        if (m_cancelled) {
            if (!path.isEmpty())
                QFile::remove(partPath);
            co_return std::unexpected(APIClientError::transportKey("error.cancelled"));
        }
        if (failure)
            co_return std::unexpected(*failure);
        if (APIConfig::isRedirect(status)) {
            const QUrl next = target.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
            if (!next.isValid() || APIConfig::originOf(next) != APIConfig::originOf(target))
                co_return std::unexpected(APIClientError::redirected(next.toDisplayString()));
            target = next;
            continue;
        }
        if (status == 416 && offset > 0) {
            // The part already holds the whole file: the service says so with its size.
            const auto [start, whole] = parseContentRange(reply->rawHeader("Content-Range"));
            if (start == -1 && whole == offset) {
                setProgress(offset, offset);
                status = 200;
            } else {
                QFile::remove(partPath); // not the file the service has now: start over next time
                co_return std::unexpected(APIClientError::http(status, std::nullopt));
            }
        } else if (status != 200 && status != 206) {
            if (status == 0)
                co_return std::unexpected(APIClientError::transport(reply->errorString()));
            co_return std::unexpected(APIClientError::http(status, APIClient::serviceMessage(errorBody)));
        } else if (reply->error() != QNetworkReply::NoError || (m_total >= 0 && m_received != m_total)) {
            // Cut off: the part stays, and the next attempt asks for the rest.
            co_return std::unexpected(APIClientError::transportKey("error.incomplete"));
        }

        std::error_code error;
        if (!folder.isEmpty()) {
            // Never over an existing file, even one that appeared meanwhile: link, then drop the part.
            std::filesystem::create_hard_link(partPath.toStdString(), path.toStdString(), error);
            if (error == std::errc::file_exists)
                co_return std::unexpected(APIClientError::file(path, "error.fileExists"));
            if (error && QFile::rename(partPath, path)) // a file system without links; rename never replaces
                error.clear();
            else if (!error)
                QFile::remove(partPath);
        } else {
            std::filesystem::rename(partPath.toStdString(), path.toStdString(), error);
        }
        if (error)
            co_return std::unexpected(
                APIClientError::file(QString::fromStdString(error.message()), "error.fileUnwritable"));
        co_return path;
    }
    co_return std::unexpected(APIClientError::transportKey("error.tooManyRedirects"));
}

} // namespace lumora
