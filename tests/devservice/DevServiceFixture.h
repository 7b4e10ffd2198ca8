#pragma once

#include "TestSupport.h"
#include "core/api/APIClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>
#include <sqlite3.h>

// The first column of the first row of `sql`, read straight from the database file.
inline QByteArray queryDatabase(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    QByteArray value = "<error>";
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

// One lumora-devservice process on a free loopback port, with its database and media folder in a
// temporary directory that outlives restarts, so a test can kill the process and start it again
// (on the same port).
class DevService {
public:
    ~DevService() { kill(); }

    // Starts with --port 0 --db --media-dir --quiet plus `extra`, waits for the listening line and
    // points the client at the service; on failure warns with the reason and returns false.
    bool start(const QStringList& extra = {}, bool quiet = true) {
        const auto fail = [](const QString& why) {
            qWarning("The service did not start: %s", qPrintable(why));
            return false;
        };
        kill();
        QDir().mkpath(mediaPath());
        m_process = std::make_unique<QProcess>();
        // A restart keeps the address, as a real service does: clients hand their token to no other.
        const QString port = m_url.port() > 0 ? QString::number(m_url.port()) : QStringLiteral("0");
        QStringList args{QStringLiteral("--port"),      port,       QStringLiteral("--db"), databasePath(),
                         QStringLiteral("--media-dir"), mediaPath()};
        if (quiet)
            args.append(QStringLiteral("--quiet"));
        m_process->start(executable, args + extra);
        if (!m_process->waitForStarted(startTimeoutMs))
            return fail(m_process->errorString());

        const QByteArray prefix = "Lumora reference service listening on ";
        QByteArray seen;
        QDeadlineTimer deadline(startTimeoutMs);
        while (!deadline.hasExpired()) {
            while (m_process->canReadLine()) {
                const QByteArray line = m_process->readLine().trimmed();
                seen += line + '\n';
                if (line.startsWith(prefix)) {
                    m_url = QUrl(QString::fromUtf8(line.mid(prefix.size())));
                    useBaseURL(m_url.toString());
                    return m_url.port() > 0 || fail(QStringLiteral("No port in: ") + QString::fromUtf8(line));
                }
            }
            if (m_process->state() != QProcess::Running)
                return fail(QStringLiteral("Exited early: ") +
                            QString::fromUtf8(seen + m_process->readAllStandardError()));
            m_process->waitForReadyRead(100);
        }
        return fail(QStringLiteral("No listening line within %1 ms").arg(startTimeoutMs));
    }

    void kill() { // SIGKILL, as a crash would
        if (!m_process)
            return;
        m_process->kill();
        m_process->waitForFinished(10000);
        m_process.reset();
    }
    QProcess& process() { return *m_process; }

    QUrl url(const QString& path = {}) const { return path.isEmpty() ? m_url : m_url.resolved(QUrl(path)); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("db.sqlite")); }
    QString mediaPath() const { return m_dir.filePath(QStringLiteral("media")); }
    // Everything a failed request must leave untouched, as one comparable text.
    QByteArray fingerprint() const {
        return queryDatabase(
            databasePath(),
            "SELECT (SELECT count(*) FROM messages) || '/' || (SELECT count(*) FROM attachments)"
            " || '/' || (SELECT total(unread_count) FROM members)"
            " || '/' || (SELECT max(updated_at) FROM conversations)"
            " || '/' || (SELECT group_concat(username || coalesce(display_name, '')"
            " || coalesce(country_code, '') || hex(password_hash) || updated_at) FROM users)");
    }
    // Files in the media folder, hidden ones (half-written uploads) included.
    int mediaFileCount() const {
        return int(QDir(mediaPath()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size());
    }
    // Writes `bytes` to `name` in the temporary directory; the file's path, empty on failure.
    QString writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // Runs the executable to completion against this database, feeding `input` on stdin.
    Run command(const QStringList& args, const QByteArray& input = {}) const {
        QProcess process;
        process.start(executable, QStringList{QStringLiteral("--db"), databasePath()} + args);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000)) {
            process.kill(); // and so no normal exit
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), process.readAllStandardError()};
    }

private:
    static constexpr int startTimeoutMs = 30000;
    const QString executable = QStringLiteral(LUMORA_DEVSERVICE_PATH);
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QUrl m_url;
};

// One connection speaking HTTP by hand, for what no well-behaved client would send.
class RawConnection {
public:
    explicit RawConnection(const QUrl& service) {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_received += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, quint16(service.port()));
    }

    void send(const QByteArray& bytes) {
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.write(bytes);
    }
    qint64 unsent() const { return m_socket.bytesToWrite(); }
    bool closed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }

    // A whole reply: the head and as many bytes as its Content-Length says.
    bool replied() const {
        const qsizetype headEnd = m_received.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        const QByteArray head = m_received.left(headEnd).toLower();
        const qsizetype field = head.indexOf("\r\ncontent-length:");
        const qsizetype length =
            field < 0 ? 0
                      : head.mid(field + 17, head.indexOf("\r\n", field + 2) - field - 17).trimmed().toInt();
        return m_received.size() >= headEnd + 4 + length;
    }
    int status() const { return m_received.startsWith("HTTP/1.1 ") ? m_received.mid(9, 3).toInt() : 0; }
    QJsonObject error() const {
        return QJsonDocument::fromJson(m_received.mid(m_received.indexOf("\r\n\r\n") + 4)).object();
    }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

// A request as any HTTP client could send it, for bodies the APIClient would never produce.
struct RawReply {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QByteArray etag;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
    QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
    // An error reply in the service's one shape: the status repeated in the body, with its name.
    bool isError(int expected, const char* name) const {
        return status == expected && object().value(QLatin1String("statusCode")).toInt() == expected &&
               object().value(QLatin1String("error")).toString() == QLatin1String(name);
    }
};
// Headers with an empty value are left out.
inline RawReply rawRequest(const QUrl& url, const QByteArray& method, const QByteArray& body = {},
                           const QByteArray& token = {}, const QByteArray& contentType = "application/json",
                           const QList<std::pair<QByteArray, QByteArray>>& headers = {}) {
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    for (const auto& [name, value] : headers)
        if (!value.isEmpty())
            request.setRawHeader(name, value);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token);
    const std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(request, method, body));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 60000))
        reply->abort();
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->rawHeader("ETag"),
            reply->rawHeaderPairs()};
}

// Signs in and keeps the token on the client; on failure warns with the reason and returns nothing.
inline std::optional<lumora::LoginResponse> signIn(lumora::APIClient& client, const QString& username,
                                                   const QString& password) {
    auto login = await(client.login(username, password));
    if (!login) {
        qWarning("Sign-in as %s failed: %s", qPrintable(username), qPrintable(login.error().text()));
        return std::nullopt;
    }
    client.setAccessToken(login->tokens.accessToken);
    return *login;
}
