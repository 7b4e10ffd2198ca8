#include "MeshTestSupport.h"

#include <QTcpSocket>

using namespace lumora;
using namespace meshtest;

// Browsing, advertising and the listener against a running daemon. Every test uses its own peer
// names, because a withdrawn record stays in the daemon's cache for about a second.
class MeshDiscoveryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("LUMORA_AVAHI_CONF"))
            QSKIP("needs the private avahi-daemon of tests/support/with-avahi");
    }

    // Our name must be free again, or a test could meet the last test's fading record.
    void init() {
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().filter(QStringLiteral("Lumora")).isEmpty(), 10000);
    }

    void idleServiceStopsHarmlessly() {
        LocalMeshService mesh;
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Idle"));
        QVERIFY(!mesh.isBrowsing());
        QVERIFY(!mesh.isAdvertising());
        QVERIFY(mesh.discoveredPeers().isEmpty());

        QSignalSpy browsing(&mesh, &LocalMeshService::isBrowsingChanged);
        QSignalSpy advertising(&mesh, &LocalMeshService::isAdvertisingChanged);
        QSignalSpy peers(&mesh, &LocalMeshService::discoveredPeersChanged);
        QSignalSpy status(&mesh, &LocalMeshService::statusMessageChanged);
        mesh.stop();
        mesh.stop();
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));
        QVERIFY(!mesh.isBrowsing());
        QVERIFY(!mesh.isAdvertising());
        QCOMPARE(status.count(), 1);
        QCOMPARE(browsing.count() + advertising.count() + peers.count(), 0);
    }

    void startShowsPlaceholderThenBothStates() {
        LocalMeshService mesh;
        StatusLog log(mesh);
        QSignalSpy browsing(&mesh, &LocalMeshService::isBrowsingChanged);
        QSignalSpy advertising(&mesh, &LocalMeshService::isAdvertisingChanged);
        mesh.start();
        QVERIFY(mesh.isBrowsing());
        QVERIFY(mesh.isAdvertising());
        QCOMPARE(browsing.count(), 1);
        QCOMPARE(advertising.count(), 1);
        QVERIFY(!log.texts.isEmpty());
        QCOMPARE(log.texts.first(), placeholder);
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        QVERIFY2(log.texts.contains(QStringLiteral("Browse: ready")), qPrintable(log.texts.join(u'|')));
        QVERIFY(!log.texts.contains(QStringLiteral("Advertise: waiting for the daemon")));
        // Successive texts always differ: only a change notifies.
        for (qsizetype i = 1; i < log.texts.size(); ++i)
            QVERIFY(log.texts[i] != log.texts[i - 1]);
        mesh.stop();
    }

    void publishedPeerComesAndGoesWithItsRecord() {
        LocalMeshService mesh;
        mesh.start();
        auto peer = std::make_unique<Publisher>(QStringLiteral("Peer One"));
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Peer One")), 10000);
        // Our own advertisement is listed like any other peer.
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Lumora")), 10000);
        const MeshPeer expected{QStringLiteral("Peer One"), QStringLiteral("Peer One"),
                                QStringLiteral("Peer One._lumora._tcp.local. on lo (IPv4)")};
        QCOMPARE(mesh.discoveredPeers().count(expected), 1);
        QCOMPARE(mesh.discoveredPeers().size(), 2); // one interface, IPv4 only: one record each

        peer->withdraw();
        QTRY_VERIFY_WITH_TIMEOUT(!names(mesh.discoveredPeers()).contains(QStringLiteral("Peer One")), 10000);
        QVERIFY(names(mesh.discoveredPeers()).contains(QStringLiteral("Lumora")));
        mesh.stop();
    }

    void stopClearsPeersAtOnceAndWithdraws() {
        LocalMeshService mesh;
        Publisher peer(QStringLiteral("Peer Two"));
        mesh.start();
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Peer Two")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().contains(QStringLiteral("Lumora")), 10000);

        QSignalSpy peers(&mesh, &LocalMeshService::discoveredPeersChanged);
        QSignalSpy browsing(&mesh, &LocalMeshService::isBrowsingChanged);
        QSignalSpy advertising(&mesh, &LocalMeshService::isAdvertisingChanged);
        mesh.stop();
        QVERIFY(mesh.discoveredPeers().isEmpty());
        QCOMPARE(peers.count(), 1);
        QCOMPARE(browsing.count(), 1);
        QCOMPARE(advertising.count(), 1);
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));

        QTRY_VERIFY_WITH_TIMEOUT(!browsedNames().contains(QStringLiteral("Lumora")), 10000);
        // Nothing arrived meanwhile from the cancelled browser, though the peer is still out there.
        QVERIFY(mesh.discoveredPeers().isEmpty());
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));
        QVERIFY(browsedNames().contains(QStringLiteral("Peer Two")));
    }

    void incomingConnectionsAreClosedUnanswered() {
        LocalMeshService mesh;
        mesh.start();
        std::optional<quint16> port;
        QTRY_VERIFY_WITH_TIMEOUT((port = resolvedPort(QStringLiteral("Lumora"))).has_value(), 10000);
        QVERIFY(*port != 0);

        for (int attempt = 0; attempt < 2; ++attempt) {
            QTcpSocket socket;
            QSignalSpy disconnected(&socket, &QTcpSocket::disconnected);
            socket.connectToHost(QHostAddress::LocalHost, *port);
            QVERIFY2(socket.waitForConnected(5000), qPrintable(socket.errorString()));
            QVERIFY(disconnected.wait(5000));
            QCOMPARE(socket.bytesAvailable(), 0);
            QVERIFY(socket.readAll().isEmpty());
        }
        mesh.stop();
    }

    void secondStartReplacesTheFirstAdvertisement() {
        LocalMeshService mesh;
        mesh.start();
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        StatusLog log(mesh);
        mesh.start();
        QCOMPARE(log.texts.value(0), placeholder);
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        // The first was withdrawn before the second went up, so the name stayed ours.
        QVERIFY2(!log.texts.join(u'|').contains(QStringLiteral("collision")),
                 qPrintable(log.texts.join(u'|')));
        QTRY_VERIFY_WITH_TIMEOUT(names(mesh.discoveredPeers()).contains(QStringLiteral("Lumora")), 10000);
        QCOMPARE(browsedNames().count(QStringLiteral("Lumora")), 1);
        QVERIFY(!browsedNames().contains(QStringLiteral("Lumora #2")));
        mesh.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!browsedNames().contains(QStringLiteral("Lumora")), 10000);
    }

    void secondServiceTakesTheNextName() {
        LocalMeshService first;
        LocalMeshService second;
        first.start();
        QTRY_COMPARE_WITH_TIMEOUT(first.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        StatusLog log(second);
        second.start();
        QTRY_COMPARE_WITH_TIMEOUT(second.statusMessage(), QStringLiteral("Advertise: ready"), 10000);
        QVERIFY2(log.texts.contains(QStringLiteral("Advertise: name collision, renamed to Lumora #2")),
                 qPrintable(log.texts.join(u'|')));

        QTRY_VERIFY_WITH_TIMEOUT(names(first.discoveredPeers()).contains(QStringLiteral("Lumora #2")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(names(second.discoveredPeers()).contains(QStringLiteral("Lumora")), 10000);
        const QStringList browsed = browsedNames();
        QVERIFY(browsed.contains(QStringLiteral("Lumora")));
        QVERIFY(browsed.contains(QStringLiteral("Lumora #2")));
        QCOMPARE(first.statusMessage(), QStringLiteral("Advertise: ready")); // the first kept its name

        second.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!names(first.discoveredPeers()).contains(QStringLiteral("Lumora #2")),
                                 10000);
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
        QTRY_COMPARE_WITH_TIMEOUT(mesh.statusMessage(), QStringLiteral("Stopped"), 10000);
        QVERIFY(!mesh.isBrowsing());
        QVERIFY(!mesh.isAdvertising());
        // Nothing stays announced (earlier tests' records fade within a second or so), and the
        // released session reports nothing more while the loop turns.
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().isEmpty(), 10000);
        QCOMPARE(mesh.statusMessage(), QStringLiteral("Stopped"));
        QVERIFY(mesh.discoveredPeers().isEmpty());
    }
};

QTEST_GUILESS_MAIN(MeshDiscoveryTest)
#include "tst_mesh_discovery.moc"
