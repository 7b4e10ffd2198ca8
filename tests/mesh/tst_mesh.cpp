#include "core/mesh/LocalMeshService.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <fstream>
#include <optional>

using namespace lumora;

namespace {

const QString placeholder = QStringLiteral("Local Mesh placeholder \u2014 Bonjour `_lumora._tcp`");

// One service announced by avahi-publish, withdrawn when this goes away.
struct Publisher {
    explicit Publisher(const QString& name) {
        process.start(u"avahi-publish"_qs, {u"-s"_qs, name, u"_lumora._tcp"_qs, u"4242"_qs});
        if (!process.waitForStarted(5000))
            qFatal("avahi-publish did not start");
    }
    ~Publisher() {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
};

// Every statusMessage the service shows, in order.
struct StatusLog : QObject {
    explicit StatusLog(LocalMeshService& service) {
        connect(&service, &LocalMeshService::statusMessageChanged, this,
                [this, &service] { texts.append(service.statusMessage()); });
    }
    QStringList texts;
};

QStringList names(const QList<MeshPeer>& peers) {
    QStringList list;
    for (const MeshPeer& peer : peers)
        list.append(peer.name);
    return list;
}

struct Run {
    int exitCode;
    QByteArray out, err;
};

// Runs a program while this event loop keeps turning, for at most `ms`.
Run run(const QString& program, const QStringList& arguments, int ms = 30000) {
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    if (!finished.wait(ms)) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The services `avahi-browse -pt[r] _lumora._tcp` lists, by name, with their ports if `resolve`.
// Resolving a record whose publisher just left can keep avahi-browse waiting; what it printed so
// far is still an answer, and the callers ask again until theirs comes.
QMap<QString, quint16> browse(bool resolve = false) {
    const QStringList arguments{resolve ? u"-prt"_qs : u"-pt"_qs, u"_lumora._tcp"_qs};
    QMap<QString, quint16> found;
    for (const QByteArray& line : run(u"avahi-browse"_qs, arguments, 15000).out.split('\n')) {
        QList<QByteArray> fields = line.split(';');
        if (fields.size() < 4 || fields[0] != (resolve ? "=" : "+"))
            continue;
        // A byte of a name other than a letter, digit, '-' or '_' comes as a backslash and three
        // decimal digits (dots and backslashes, which no name here has, as a backslash and the byte).
        for (qsizetype i = fields[3].indexOf('\\'); i >= 0; i = fields[3].indexOf('\\', i + 1))
            fields[3].replace(i, 4, QByteArray(1, char(fields[3].mid(i + 1, 3).toInt())));
        found.insert(QString::fromUtf8(fields[3]), quint16(fields.value(8).toUInt()));
    }
    return found;
}

const QString lumoraCli = QStringLiteral(LUMORA_CLI_PATH);
const QString avahiPidFile = qEnvironmentVariable("LUMORA_AVAHI_PIDFILE");
const QStringList avahiDaemon{u"-D"_qs, u"--no-chroot"_qs, u"-f"_qs,
                              qEnvironmentVariable("LUMORA_AVAHI_CONF")};
const QString busPidFile = QStringLiteral("/run/dbus/pid");

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// No such process, or a zombie the namespace's init has yet to reap.
bool processGone(qint64 pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

qint64 pidIn(const QString& pidFile) {
    return readFile(pidFile).trimmed().toLongLong();
}

// Sends `signal` to the daemon whose pid is in `pidFile` and waits until it is gone.
bool killDaemon(const QString& pidFile, int signal) {
    const qint64 pid = pidIn(pidFile);
    const bool gone = pid > 0 && ::kill(pid_t(pid), signal) == 0 &&
                      QTest::qWaitFor([pid] { return processGone(pid); }, 10000);
    QFile::remove(pidFile); // left behind by SIGKILL, and by the bus even on SIGTERM
    return gone;
}

} // namespace

// The local mesh against a private avahi-daemon that sees only loopback: browsing, advertising and
// the listener; then the daemon, or the bus under it, missing or going away, and the listener
// failing. Every test uses its own peer names, because a withdrawn record stays in the daemon's
// cache for about a second; each leaves both daemons running for the next.
class MeshTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("LUMORA_AVAHI_CONF"))
            QSKIP("needs the private avahi-daemon of tests/support/with-avahi");
    }

    // Our name must be free again, or a test could meet the last test's fading record.
    void init() { QTRY_VERIFY_WITH_TIMEOUT(browse().keys().filter(u"Lumora"_qs).isEmpty(), 10000); }

    // Brings back whichever daemon a test stopped; avahi-daemon -D returns once it has initialised.
    void cleanup() {
        if (processGone(pidIn(busPidFile)))
            QCOMPARE(QProcess::execute(u"dbus-daemon"_qs, {u"--system"_qs, u"--fork"_qs}), 0);
        if (processGone(pidIn(avahiPidFile)))
            QCOMPARE(QProcess::execute(u"avahi-daemon"_qs, avahiDaemon), 0);
    }

    // One run: peers come and go with their records, callers are hung up on, and stop() clears
    // the peers at once and withdraws our record.
    void peersFollowTheirRecordsUntilStop() {
        LocalMeshService mesh;
        Publisher staying(u"Peer Two"_qs);
        mesh.start();
        std::optional<Publisher> leaving(std::in_place, u"Peer One"_qs);
        // One interface, IPv4 only: one record each, our own listed like any other.
        QTRY_COMPARE_WITH_TIMEOUT(names(mesh.discoveredPeers()).size(), 3, 10000);
        const MeshPeer expected{u"Peer One"_qs, u"Peer One"_qs,
                                u"Peer One._lumora._tcp.local. on lo (IPv4)"_qs};
        QCOMPARE(mesh.discoveredPeers().count(expected), 1);
        leaving.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!names(mesh.discoveredPeers()).contains(u"Peer One"_qs), 10000);
        QCOMPARE(names(mesh.discoveredPeers()).filter(u"Lumora"_qs).size(), 1);

        quint16 port = 0;
        QTRY_VERIFY_WITH_TIMEOUT((port = browse(true).value(u"Lumora"_qs)) != 0, 10000);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QTcpSocket socket;
            QSignalSpy disconnected(&socket, &QTcpSocket::disconnected);
            socket.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY2(socket.waitForConnected(5000), qPrintable(socket.errorString()));
            QVERIFY(disconnected.wait(5000));
            QVERIFY(socket.readAll().isEmpty());
        }

        QSignalSpy peers(&mesh, &LocalMeshService::discoveredPeersChanged);
        QSignalSpy browsing(&mesh, &LocalMeshService::isBrowsingChanged);
        QSignalSpy advertising(&mesh, &LocalMeshService::isAdvertisingChanged);
        mesh.stop();
        QVERIFY(mesh.discoveredPeers().isEmpty());
        QVERIFY(peers.count() == 1 && browsing.count() == 1 && advertising.count() == 1); // one notice each
        QTRY_VERIFY_WITH_TIMEOUT(!browse().contains(u"Lumora"_qs), 10000);
        // Nothing arrived meanwhile from the cancelled browser, though a peer is still out there.
        QVERIFY(browse().contains(u"Peer Two"_qs));
        QVERIFY(mesh.discoveredPeers().isEmpty());
        QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);
    }

    // A second start withdraws our advertisement before the next goes up, so the name stays ours;
    // another service meeting it takes the next name.
    void ourNameIsKeptOnRestartAndTheNextTakenOnCollision() {
        LocalMeshService first;
        LocalMeshService second;
        first.start();
        QTRY_COMPARE_WITH_TIMEOUT(first.statusMessage(), u"Advertise: ready"_qs, 10000);
        StatusLog firstLog(first);
        first.start();
        QTRY_COMPARE_WITH_TIMEOUT(first.statusMessage(), u"Advertise: ready"_qs, 10000);

        StatusLog secondLog(second);
        second.start();
        QTRY_COMPARE_WITH_TIMEOUT(second.statusMessage(), u"Advertise: ready"_qs, 10000);
        QVERIFY2(secondLog.texts.contains(u"Advertise: name collision, renamed to Lumora #2"_qs),
                 qPrintable(secondLog.texts.join(u'|')));
        QTRY_VERIFY_WITH_TIMEOUT(names(first.discoveredPeers()).contains(u"Lumora #2"_qs), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(second.discoveredPeers()).contains(u"Lumora"_qs), 10000);
        QCOMPARE(browse().keys(),
                 QStringList({u"Lumora"_qs, u"Lumora #2"_qs})); // the first withdrawn on restart
        QVERIFY2(!firstLog.texts.join(u'|').contains(u"collision"_qs), qPrintable(firstLog.texts.join(u'|')));

        second.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!names(first.discoveredPeers()).contains(u"Lumora #2"_qs), 10000);
        first.stop();
    }

    void stopFromInsideAStatusSignalIsSafe() {
        LocalMeshService mesh;
        // Stops the moment the browser reports, i.e. from inside the Avahi callback.
        connect(&mesh, &LocalMeshService::statusMessageChanged, &mesh, [&mesh] {
            if (mesh.statusMessage() == QLatin1String("Browse: ready"))
                mesh.stop();
        });
        mesh.start();
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), u"Stopped"_qs, 10000);
        QVERIFY(!mesh.isBrowsing() && !mesh.isAdvertising());
        // Nothing stays announced, and the released session reports nothing more while the loop turns.
        QTRY_VERIFY_WITH_TIMEOUT(browse().isEmpty(), 10000);
        QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);
        QVERIFY(mesh.discoveredPeers().isEmpty());
    }

    // `lumora-cli mesh` beside one published peer: states and peers in one JSON document; --seconds
    // takes a whole number of seconds from 0 to a day.
    void cliGathersStatesAndPeersInOneDocument() {
        Publisher peer(u"Cli Peer"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(browse().contains(u"Cli Peer"_qs), 10000);
        // Long enough for the advertisement to be established even on a loaded machine.
        const Run shown = run(lumoraCli, {u"--json"_qs, u"mesh"_qs, u"--seconds"_qs, u"5"_qs});
        QCOMPARE(shown.exitCode, 0);
        const QJsonObject report = QJsonDocument::fromJson(shown.out).object(); // empty if anything follows
        QVERIFY2(report.keys() == QStringList({u"peers"_qs, u"status"_qs}), shown.out.constData());
        const QStringList status = report[u"status"_qs].toVariant().toStringList();
        QCOMPARE(status.value(0), placeholder);
        QVERIFY(status.contains(u"Browse: ready"_qs));
        QCOMPARE(status.value(status.size() - 1), u"Advertise: ready"_qs);

        const QJsonArray peers = report[u"peers"_qs].toArray();
        QCOMPARE(peers.size(), 2);
        QVERIFY2(peers.contains(QJsonObject{
                     {u"id"_qs, u"Cli Peer"_qs},
                     {u"name"_qs, u"Cli Peer"_qs},
                     {u"endpointDescription"_qs, u"Cli Peer._lumora._tcp.local. on lo (IPv4)"_qs}}),
                 shown.out.constData());
        QVERIFY(peers[0][u"name"_qs].toString().startsWith(u"Lumora"_qs) ||
                peers[1][u"name"_qs].toString().startsWith(u"Lumora"_qs));

        for (const char* bad : {"soon", "-1", "1.5", "86401"}) {
            const Run refused = run(lumoraCli, {u"mesh"_qs, u"--seconds"_qs, QString::fromLatin1(bad)});
            QVERIFY2(refused.exitCode == 2 && refused.out.isEmpty() && refused.err.contains("--seconds"),
                     bad);
        }
        const Run zero = run(lumoraCli, {u"--json"_qs, u"mesh"_qs, u"--seconds"_qs, u"0"_qs});
        QCOMPARE(zero.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(zero.out)[u"status"_qs][0].toString(), placeholder);
    }

    void listenerFailureStopsOnlyTheAdvertising() {
        Publisher peer(u"Peer Five"_qs);
        // In this private network namespace only: one ephemeral port, already taken, so that
        // listening on port 0 fails.
        QCOMPARE(QNetworkInterface::allInterfaces().size(), 1);
        const char* portRange = "/proc/sys/net/ipv4/ip_local_port_range";
        const QByteArray savedRange = readFile(QString::fromLatin1(portRange));
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        QVERIFY(std::ofstream(portRange)
                << squatter.serverPort() << ' ' << squatter.serverPort() << std::flush);
        LocalMeshService mesh;
        StatusLog log(mesh);
        mesh.start();
        QVERIFY(std::ofstream(portRange) << savedRange.constData() << std::flush);

        QVERIFY(mesh.isBrowsing() && !mesh.isAdvertising());
        QVERIFY2(mesh.statusMessage().startsWith(u"Listener failed: "_qs), qPrintable(mesh.statusMessage()));
        // The browser goes on, and nothing of ours is announced.
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(u"Peer Five"_qs), 10000);
        QVERIFY(!names(mesh.discoveredPeers()).contains(u"Lumora"_qs));
        QVERIFY(log.texts.filter(u"Advertise: "_qs).isEmpty());
        mesh.stop();
    }

    // The daemon killed under a running service, or missing (with the bus too) when it starts: the
    // service says so, shows no peers meanwhile, and browses and advertises again once they are back.
    void daemonGoneIsAwaited_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("busToo");
        QTest::newRow("killed while running") << true << false;
        QTest::newRow("missing") << false << false;
        QTest::newRow("missing with the bus") << false << true;
    }

    void daemonGoneIsAwaited() {
        QFETCH(bool, running);
        QFETCH(bool, busToo);
        LocalMeshService mesh;
        StatusLog log(mesh);
        if (running) {
            Publisher before(u"Peer Three"_qs);
            mesh.start();
            QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(u"Peer Three"_qs), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), u"Advertise: ready"_qs, 10000);
            QVERIFY(killDaemon(avahiPidFile, SIGKILL));
            QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), u"Advertise: waiting for the daemon"_qs, 10000);
            QVERIFY2(log.texts.contains(u"Browse: failed: Daemon connection failed"_qs),
                     qPrintable(log.texts.join(u'|')));
            QVERIFY(log.texts.contains(u"Browse: waiting for the daemon"_qs));
            QVERIFY(mesh.discoveredPeers().isEmpty());
        } else {
            QVERIFY(killDaemon(avahiPidFile, SIGTERM));
            QVERIFY(!busToo || killDaemon(busPidFile, SIGTERM));
            const QString state = busToo ? u"failed: Daemon not running"_qs : u"waiting for the daemon"_qs;
            mesh.start();
            QCOMPARE(log.texts,
                     QStringList({placeholder, u"Browse: "_qs + state, u"Advertise: "_qs + state}));
            mesh.stop();
            QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);
            mesh.start();
            QCOMPARE(mesh.statusMessage(), u"Advertise: "_qs + state);
        }

        cleanup();
        Publisher after(u"Peer Four"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), u"Advertise: ready"_qs, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(browse().contains(u"Lumora"_qs), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(u"Peer Four"_qs), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(u"Lumora"_qs), 10000);
        mesh.stop();
    }
};

QTEST_GUILESS_MAIN(MeshTest)
#include "tst_mesh.moc"
