#include "MeshTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

using namespace lumora;
using namespace meshtest;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs lumora-cli while this event loop keeps turning.
Run cli(const QStringList& arguments) {
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(LUMORA_CLI_PATH), arguments);
    if (!finished.wait(30000))
        qFatal("lumora-cli did not finish");
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

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

    // `lumora-cli mesh` against the daemon, with one peer published beside it.
    void cliGathersStatesAndPeersInOneDocument() {
        Publisher peer(QStringLiteral("Cli Peer"));
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().contains(QStringLiteral("Cli Peer")), 10000);
        // Long enough for the advertisement to be established even on a loaded machine.
        const Run run = cli({QStringLiteral("--json"), QStringLiteral("mesh"), QStringLiteral("--seconds"),
                             QStringLiteral("5")});
        QCOMPARE(run.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(run.out, &error); // one document, nothing else
        QVERIFY2(error.error == QJsonParseError::NoError,
                 qPrintable(error.errorString() + u' ' + QString::fromUtf8(run.out)));
        const QJsonObject report = document.object();
        QCOMPARE(report.keys(), QStringList({QStringLiteral("peers"), QStringLiteral("status")}));

        const QJsonArray status = report[QStringLiteral("status")].toArray();
        QVERIFY(!status.isEmpty());
        QCOMPARE(status.first().toString(), placeholder);
        QVERIFY(status.contains(QStringLiteral("Browse: ready")));
        QCOMPARE(status.last().toString(), QStringLiteral("Advertise: ready"));
        QVERIFY(!status.contains(QStringLiteral("Stopped")));

        const QJsonArray peers = report[QStringLiteral("peers")].toArray();
        const QJsonObject expected{{QStringLiteral("id"), QStringLiteral("Cli Peer")},
                                   {QStringLiteral("name"), QStringLiteral("Cli Peer")},
                                   {QStringLiteral("endpointDescription"),
                                    QStringLiteral("Cli Peer._lumora._tcp.local. on lo (IPv4)")}};
        QVERIFY2(peers.contains(expected), run.out.constData());
        QStringList names;
        for (const QJsonValue& value : peers)
            names.append(value[QStringLiteral("name")].toString());
        QVERIFY(names.contains(QStringLiteral("Lumora")) || names.contains(QStringLiteral("Lumora #2")));
        QCOMPARE(peers.size(), 2);
    }

    void secondsMustBeAWholeNumber() {
        for (const char* bad : {"soon", "-1", "1.5", "86401"}) {
            const Run run =
                cli({QStringLiteral("mesh"), QStringLiteral("--seconds"), QString::fromLatin1(bad)});
            QCOMPARE(run.exitCode, 2);
            QVERIFY(run.out.isEmpty());
            QVERIFY(run.err.contains("--seconds"));
        }
        const Run zero = cli({QStringLiteral("--json"), QStringLiteral("mesh"), QStringLiteral("--seconds"),
                              QStringLiteral("0")});
        QCOMPARE(zero.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(zero.out)[QStringLiteral("status")].toArray().first().toString(),
                 placeholder);
    }
};

QTEST_GUILESS_MAIN(MeshDiscoveryTest)
#include "tst_mesh_discovery.moc"
