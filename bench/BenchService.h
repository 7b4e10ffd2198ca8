#pragma once

// What the benchmarks against the reference service share: the service process and signing in.

#include "core/api/APIClient.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <QCoroTask>

#include <sys/prctl.h>

#include <csignal>

namespace lumora::bench {

// Each program says how it gives up (it stops its service and exits).
[[noreturn]] void fail(const QString& what);

// One lumora-devservice on a free loopback port, its database and media in a temporary folder.
class Service {
public:
    Service() {
        if (!m_dir.isValid())
            bench::fail(QStringLiteral("cannot create a temporary folder"));
    }
    ~Service() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    QString database() const { return m_dir.filePath(QStringLiteral("db.sqlite")); }
    QUrl url() const { return m_url; }
    qint64 pid() const { return m_process.processId(); }

    // A subcommand against the database, `input` on its standard input; its standard output.
    QByteArray command(const QStringList& args, const QByteArray& input = {}) {
        QProcess process;
        process.start(QStringLiteral(LUMORA_DEVSERVICE_PATH),
                      QStringList{QStringLiteral("--db"), database()} + args);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            bench::fail(QStringLiteral("%1 did not finish").arg(args.join(QLatin1Char(' '))));
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            bench::fail(
                QStringLiteral("%1 failed: %2")
                    .arg(args.join(QLatin1Char(' ')), QString::fromUtf8(process.readAllStandardError())));
        return process.readAllStandardOutput().trimmed();
    }

    // `extra` goes on the service's command line after the port, database and media folder.
    void start(const QStringList& extra = {}) {
        // If this process is killed (a timeout), the service must not outlive it.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(LUMORA_DEVSERVICE_PATH),
                        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                                    database(), QStringLiteral("--media-dir"),
                                    m_dir.filePath(QStringLiteral("media")), QStringLiteral("--quiet")} +
                            extra);
        if (!m_process.waitForStarted(30000))
            bench::fail(QStringLiteral("cannot start %1: %2")
                            .arg(QStringLiteral(LUMORA_DEVSERVICE_PATH), m_process.errorString()));
        const QByteArray prefix = "Lumora reference service listening on ";
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (line.startsWith(prefix)) {
                    m_url = QUrl(QString::fromUtf8(line.mid(prefix.size())));
                    if (m_url.port() <= 0)
                        bench::fail(QStringLiteral("no port in: ") + QString::fromUtf8(line));
                    qputenv("LUMORA_API_BASE_URL", m_url.toString().toUtf8());
                    return;
                }
            }
            if (m_process.state() != QProcess::Running)
                bench::fail(QStringLiteral("the service exited: ") +
                            QString::fromUtf8(m_process.readAllStandardError()));
            m_process.waitForReadyRead(100);
        }
        bench::fail(QStringLiteral("the service printed no listening line"));
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QUrl m_url;
};

// Signs in and keeps the token on the client; returns it too.
inline QByteArray signIn(APIClient& client, const QString& username, const QString& password) {
    auto login = QCoro::waitFor(client.login(username, password));
    if (!login)
        bench::fail(QStringLiteral("sign-in as %1 failed: %2").arg(username, login.error().text()));
    client.setAccessToken(login->tokens.accessToken);
    return login->tokens.accessToken.toUtf8();
}

} // namespace lumora::bench
