#include "DevServiceFixture.h"

#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <sqlite3.h>

using namespace lumora;

namespace {

const QString executable = QStringLiteral(LUMORA_DEVSERVICE_PATH);
constexpr int startTimeoutMs = 30000;

} // namespace

DevService::DevService() {
    QDir(m_dir.path()).mkpath(QStringLiteral("media"));
}

DevService::~DevService() {
    kill();
}

QString DevService::start(const QStringList& extra, bool quiet) {
    kill();
    m_process = std::make_unique<QProcess>();
    // A restart keeps the address, as a real service does: clients hand their token to no other.
    const QString port = m_url.port() > 0 ? QString::number(m_url.port()) : QStringLiteral("0");
    QStringList args{QStringLiteral("--port"),      port,       QStringLiteral("--db"), databasePath(),
                     QStringLiteral("--media-dir"), mediaPath()};
    if (quiet)
        args.append(QStringLiteral("--quiet"));
    m_process->start(executable, args + extra);
    if (!m_process->waitForStarted(startTimeoutMs))
        return m_process->errorString();

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
                return m_url.port() > 0 ? QString()
                                        : QStringLiteral("No port in: ") + QString::fromUtf8(line);
            }
        }
        if (m_process->state() != QProcess::Running)
            return QStringLiteral("Exited early: ") +
                   QString::fromUtf8(seen + m_process->readAllStandardError());
        m_process->waitForReadyRead(100);
    }
    return QStringLiteral("No listening line within %1 ms").arg(startTimeoutMs);
}

void DevService::kill() {
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(10000);
    m_process.reset();
}

QUrl DevService::url(const QString& path) const {
    return path.isEmpty() ? m_url : m_url.resolved(QUrl(path));
}

DevService::Run DevService::run(const QStringList& args, const QByteArray& input) {
    QProcess process;
    process.start(executable, args);
    process.write(input);
    process.closeWriteChannel();
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

DevService::Run DevService::command(const QStringList& args, const QByteArray& input) const {
    return run(QStringList{QStringLiteral("--db"), databasePath()} + args, input);
}

RawReply rawRequest(const QUrl& url, const QByteArray& method, const QByteArray& body,
                    const QByteArray& token, const QByteArray& contentType) {
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    if (!contentType.isEmpty())
        request.setRawHeader("Content-Type", contentType);
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token);
    QNetworkReply* reply = network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    RawReply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                    reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
    reply->deleteLater();
    return result;
}

QByteArray queryDatabase(const QString& path, const char* sql) {
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

QByteArray databaseFingerprint(const QString& path) {
    return queryDatabase(path,
                         "SELECT (SELECT count(*) FROM messages) || '/' || (SELECT count(*) FROM attachments)"
                         " || '/' || (SELECT total(unread_count) FROM members)"
                         " || '/' || (SELECT max(updated_at) FROM conversations)"
                         " || '/' || (SELECT group_concat(username || coalesce(display_name, '')"
                         " || coalesce(country_code, '') || hex(password_hash) || updated_at) FROM users)");
}

std::optional<LoginResponse> signIn(APIClient& client, const QString& username, const QString& password) {
    auto login = await(client.login(username, password));
    if (!login) {
        qWarning("Sign-in as %s failed: %s", qPrintable(username), qPrintable(login.error().text()));
        return std::nullopt;
    }
    client.setAccessToken(login->tokens.accessToken);
    return *login;
}

int fileCount(const QString& directory) {
    return int(QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size());
}

QString writeFile(const DevService& service, const QString& name, const QByteArray& bytes) {
    QFile file(service.tempPath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

std::optional<ConversationDTO> withPeer(const QList<ConversationDTO>& list, const QString& username) {
    for (const ConversationDTO& c : list)
        if (c.peer && c.peer->username == username)
            return c;
    return std::nullopt;
}
