#pragma once

// Helpers for tests that run under support/with-avahi: a private avahi-daemon on loopback only.

#include "core/mesh/LocalMeshService.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <csignal>
#include <optional>

namespace meshtest {

inline const QString placeholder = QStringLiteral("Local Mesh placeholder \u2014 Bonjour `_lumora._tcp`");
inline const QString serviceType = QStringLiteral("_lumora._tcp");

// One service announced by avahi-publish, withdrawn when this goes away.
class Publisher {
public:
    explicit Publisher(const QString& name, quint16 port = 4242) {
        m_process.start(QStringLiteral("avahi-publish"),
                        {QStringLiteral("-s"), name, serviceType, QString::number(port)});
        if (!m_process.waitForStarted(5000))
            qFatal("avahi-publish did not start");
    }
    ~Publisher() { withdraw(); }
    void withdraw() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

// Every statusMessage the service shows, in order.
class StatusLog {
public:
    explicit StatusLog(lumora::LocalMeshService& service) {
        QObject::connect(&service, &lumora::LocalMeshService::statusMessageChanged, &m_context,
                         [this, &service] { texts.append(service.statusMessage()); });
    }
    QStringList texts;

private:
    QObject m_context;
};

inline QStringList names(const QList<lumora::MeshPeer>& peers) {
    QStringList list;
    for (const lumora::MeshPeer& peer : peers)
        list.append(peer.name);
    return list;
}

// avahi-browse -p writes a byte of a name as a backslash and three decimal digits, or a
// backslash before a dot or backslash.
inline QString unescape(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 >= field.size()) {
            out.append(field[i]);
        } else if (i + 3 < field.size() && QChar::fromLatin1(field[i + 1]).isDigit()) {
            out.append(char(field.mid(i + 1, 3).toInt()));
            i += 3;
        } else {
            out.append(field[++i]);
        }
    }
    return QString::fromUtf8(out);
}

// The parsed lines of `avahi-browse -pt[r] _lumora._tcp` whose first field is `kind`
// ("+" found, "=" resolved); runs while the event loop keeps turning.
inline QList<QList<QByteArray>> browse(const char* kind) {
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral("avahi-browse"),
                  {qstrcmp(kind, "=") == 0 ? u"-prt"_qs : u"-pt"_qs, serviceType});
    // Resolving a record whose publisher just left can keep avahi-browse waiting; what it printed
    // so far is still an answer, and the callers ask again until theirs comes.
    if (!finished.wait(15000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    QList<QList<QByteArray>> lines;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
        if (line.startsWith(QByteArray(kind) + ';'))
            lines.append(line.split(';'));
    return lines;
}

// The service names the daemon lists right now.
inline QStringList browsedNames() {
    QStringList list;
    for (const QList<QByteArray>& fields : browse("+"))
        list.append(unescape(fields.value(3)));
    return list;
}

// The port the daemon resolves for `name`, once it does.
inline std::optional<quint16> resolvedPort(const QString& name) {
    for (const QList<QByteArray>& fields : browse("="))
        if (unescape(fields.value(3)) == name)
            return quint16(fields.value(8).toUInt());
    return std::nullopt;
}

// The daemons of the private namespace, through what with-avahi exports.
inline qint64 pidIn(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

inline bool processGone(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

// Sends `signal` to the daemon whose pid is in `pidFile` and waits until it is gone.
inline bool killDaemon(const QString& pidFile, int signal) {
    const qint64 pid = pidIn(pidFile);
    if (pid <= 0 || ::kill(pid_t(pid), signal) != 0)
        return false;
    for (int i = 0; i < 500 && !processGone(pid); ++i)
        QTest::qWait(20);
    QFile::remove(pidFile); // left behind by SIGKILL, and by the bus even on SIGTERM
    return processGone(pid);
}

inline QString avahiPidFile() {
    return qEnvironmentVariable("LUMORA_AVAHI_PIDFILE");
}
inline QString busPidFile() {
    return QStringLiteral("/run/dbus/pid");
}

// Returns once the daemon has initialised (avahi-daemon -D waits for that).
inline bool startAvahi() {
    const QStringList args{u"-D"_qs, u"--no-chroot"_qs, u"-f"_qs, qEnvironmentVariable("LUMORA_AVAHI_CONF")};
    return QProcess::execute(QStringLiteral("avahi-daemon"), args) == 0;
}

inline bool startBus() {
    return QProcess::execute(QStringLiteral("dbus-daemon"), {u"--system"_qs, u"--fork"_qs}) == 0;
}

} // namespace meshtest
