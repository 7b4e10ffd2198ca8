#include "MeshTestSupport.h"

#include <QNetworkInterface>
#include <QTcpServer>

using namespace lumora;
using namespace meshtest;

namespace {

const QString portRangeFile = QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range");

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

// What the service does when the daemon, or the bus under it, is missing or goes away; and when
// the listener cannot be set up. Each test leaves both daemons running for the next.
class MeshDaemonTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("LUMORA_AVAHI_CONF"))
            QSKIP("needs the private avahi-daemon of tests/support/with-avahi");
    }

    void cleanup() {
        if (processGone(pidIn(busPidFile())))
            QVERIFY(startBus());
        if (processGone(pidIn(avahiPidFile())))
            QVERIFY(startAvahi());
    }

    void listenerFailureStopsOnlyTheAdvertising() {
        Publisher peer(QStringLiteral("Peer Five"));
        // In this private network namespace only: one ephemeral port, already taken, so that
        // listening on port 0 fails.
        QCOMPARE(QNetworkInterface::allInterfaces().size(), 1);
        const QByteArray savedRange = readAll(portRangeFile);
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        const QByteArray port = QByteArray::number(squatter.serverPort());
        QVERIFY(writeAll(portRangeFile, port + ' ' + port));

        LocalMeshService mesh;
        StatusLog log(mesh);
        mesh.start();
        QVERIFY(writeAll(portRangeFile, savedRange));

        QVERIFY(mesh.isBrowsing());
        QVERIFY(!mesh.isAdvertising());
        QVERIFY2(mesh.statusMessage().startsWith(QLatin1String("Listener failed: ")),
                 qPrintable(mesh.statusMessage()));
        QVERIFY(mesh.statusMessage().size() > QLatin1String("Listener failed: ").size());
        // The browser goes on, and nothing of ours is announced.
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Peer Five")), 10000);
        QVERIFY(!names(mesh.discoveredPeers()).contains(QStringLiteral("Lumora")));
        QVERIFY(log.texts.filter(QStringLiteral("Advertise: ")).isEmpty());
        QVERIFY(!mesh.isAdvertising());
        mesh.stop();
    }

    void daemonRestartIsSurvivedAndAdvertisedAgain() {
        LocalMeshService mesh;
        StatusLog log(mesh);
        auto before = std::make_unique<Publisher>(QStringLiteral("Peer Three"));
        mesh.start();
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Peer Three")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: ready"), 10000);

        QVERIFY(killDaemon(avahiPidFile(), SIGKILL));
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: waiting for the daemon"),
                                  10000);
        QVERIFY2(log.texts.contains(QStringLiteral("Browse: failed: Daemon connection failed")),
                 qPrintable(log.texts.join(u'|')));
        QVERIFY(log.texts.contains(QStringLiteral("Browse: waiting for the daemon")));
        QVERIFY(mesh.discoveredPeers().isEmpty()); // nothing is visible without the daemon
        QVERIFY(mesh.isBrowsing());
        QVERIFY(mesh.isAdvertising());
        before.reset();

        QVERIFY(startAvahi());
        Publisher after(QStringLiteral("Peer Four"));
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().contains(QStringLiteral("Lumora")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Peer Four")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Lumora")), 10000);
        mesh.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!browsedNames().contains(QStringLiteral("Lumora")), 10000);
    }

    // Without the daemon the service waits for it; without the bus as well it reports the failure and
    // retries. Either way it advertises once they are back.
    void missingDaemonIsAwaited_data() {
        QTest::addColumn<bool>("busToo");
        QTest::newRow("daemon") << false;
        QTest::newRow("daemon and bus") << true;
    }

    void missingDaemonIsAwaited() {
        QFETCH(bool, busToo);
        QVERIFY(killDaemon(avahiPidFile(), SIGTERM));
        QVERIFY(!busToo || killDaemon(busPidFile(), SIGTERM));
        const QString state = busToo ? u"failed: Daemon not running"_qs : u"waiting for the daemon"_qs;
        LocalMeshService mesh;
        StatusLog log(mesh);
        mesh.start();
        QCOMPARE(log.texts, QStringList({placeholder, u"Browse: "_qs + state, u"Advertise: "_qs + state}));
        QVERIFY(busToo || (mesh.isBrowsing() && mesh.isAdvertising()));
        mesh.stop();
        QCOMPARE(mesh.statusMessage(), u"Stopped"_qs);
        QVERIFY(!mesh.isBrowsing() && !mesh.isAdvertising());

        mesh.start();
        QCOMPARE(mesh.statusMessage(), u"Advertise: "_qs + state);
        QVERIFY(!busToo || startBus());
        QVERIFY(startAvahi());
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), u"Advertise: ready"_qs, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(u"Lumora"_qs), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().contains(u"Lumora"_qs), 10000);
        mesh.stop();
    }
};

QTEST_GUILESS_MAIN(MeshDaemonTest)
#include "tst_mesh_daemon.moc"
