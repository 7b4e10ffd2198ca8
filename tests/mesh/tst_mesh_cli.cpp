#include "MeshTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

// `lumora-cli mesh` against the private daemon, with one peer published beside it.
class MeshCliTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("LUMORA_AVAHI_CONF"))
            QSKIP("needs the private avahi-daemon of tests/support/with-avahi");
    }

    void jsonGathersStatesAndPeersInOneDocument() {
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

    void plainOutputListsStatesThenPeers() {
        Publisher peer(QStringLiteral("Plain Peer"));
        QTRY_VERIFY_WITH_TIMEOUT(browsedNames().contains(QStringLiteral("Plain Peer")), 10000);
        const Run run = cli({QStringLiteral("mesh"), QStringLiteral("--seconds"), QStringLiteral("2")});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.first(), placeholder);
        // States first, as they came (how far registration got in two seconds depends on the load),
        // then the peers.
        qsizetype lastState = -1;
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(QStringLiteral("Browse: ")) ||
                lines[i].startsWith(QStringLiteral("Advertise: ")))
                lastState = i;
        const qsizetype peerLine =
            lines.indexOf(QStringLiteral("Plain Peer  Plain Peer._lumora._tcp.local. on lo (IPv4)"));
        QVERIFY2(lastState > 0 && peerLine > lastState, qPrintable(lines.join(u'|')));
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

QTEST_GUILESS_MAIN(MeshCliTest)
#include "tst_mesh_cli.moc"
