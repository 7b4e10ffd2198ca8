#pragma once

#include "core/api/APIClient.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <optional>

// One lumora-devservice process on a free loopback port, with its database and media folder in a
// temporary directory that outlives restarts, so a test can kill the process and start it again
// (on the same port).
class DevService {
public:
    DevService();
    ~DevService();

    // Starts with --port 0 --db --media-dir --quiet plus `extra`, waits for the listening line and
    // points the client at the service. Empty text on success, else what went wrong.
    QString start(const QStringList& extra = {}, bool quiet = true);
    void kill(); // SIGKILL, as a crash would
    QProcess& process() { return *m_process; }

    QUrl url(const QString& path = {}) const;
    QString databasePath() const { return m_dir.filePath(QStringLiteral("db.sqlite")); }
    QString mediaPath() const { return m_dir.filePath(QStringLiteral("media")); }
    QString tempPath(const QString& name) const { return m_dir.filePath(name); }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    // Runs the executable to completion against this database, feeding `input` on stdin.
    Run command(const QStringList& args, const QByteArray& input = {}) const;
    static Run run(const QStringList& args, const QByteArray& input = {});

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QUrl m_url;
};

// A request as any HTTP client could send it, for bodies the APIClient would never produce.
struct RawReply {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
};
RawReply rawRequest(const QUrl& url, const QByteArray& method, const QByteArray& body = {},
                    const QByteArray& token = {}, const QByteArray& contentType = "application/json");

// The first column of the first row of `sql`, read straight from the database file.
QByteArray queryDatabase(const QString& path, const char* sql);

// Everything a failed request must leave untouched, as one comparable text.
QByteArray databaseFingerprint(const QString& path);

// Signs in and keeps the token on the client; on failure warns with the reason and returns nothing.
std::optional<lumora::LoginResponse> signIn(lumora::APIClient& client, const QString& username,
                                            const QString& password);

// Files in a folder, hidden ones (half-written uploads) included.
int fileCount(const QString& directory);

// Writes `bytes` to `name` in the service's temporary directory; the file's path, empty on failure.
QString writeFile(const DevService& service, const QString& name, const QByteArray& bytes);

// The first conversation in `list` whose peer has that username.
std::optional<lumora::ConversationDTO> withPeer(const QList<lumora::ConversationDTO>& list,
                                                const QString& username);

// Starts the service with `args` (and the client pointed at it), or fails the test with the reason.
#define START_SERVICE(service, ...)                                                                          \
    do {                                                                                                     \
        const QString started_ = (service).start(__VA_ARGS__);                                               \
        QVERIFY2(started_.isEmpty(), qPrintable(started_));                                                  \
    } while (false)
