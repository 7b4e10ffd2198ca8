#include "DevServiceFixture.h"
#include "TestSupport.h"
#include "core/api/APIClient.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace lumora;
using namespace std::chrono_literals;

namespace {

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

using Connections = std::vector<std::unique_ptr<RawConnection>>;

bool allReplied(const Connections& connections) {
    return std::all_of(connections.begin(), connections.end(), [](const auto& c) { return c->replied(); });
}

} // namespace

// The executable as a whole: its command line, subcommands, log and database across a crash; and clients
// out to wear it down: bodies without end, requests that trickle in, crowds of connections, and names
// that would corrupt whatever shows them.
class DevServiceProcessTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DevService> service;

    bool addUser(const QString& username) {
        return service->command({QStringLiteral("add-user"), username}, username.toUtf8() + "-password\n")
                   .exitCode == 0;
    }

private Q_SLOTS:
    void init() { service = std::make_unique<DevService>(); }
    void cleanup() { service.reset(); }

    void unmeasuredBodiesAreRefusedUnread_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("more"); // sent again and again until the reply comes
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("complaint");
        const QByteArray login = "POST /auth/login HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n";
        QTest::newRow("chunked") << login + "Transfer-Encoding: chunked\r\n\r\n"
                                 << "1000\r\n" + QByteArray(4096, 'x') + "\r\n"
                                 << 411 << "Transfer-Encoding";
        QTest::newRow("no length") << login + "\r\n" << QByteArray(65536, 'x') << 411 << "Content-Length";
        QTest::newRow("over the limit") << login + "Content-Length: 419430400\r\n\r\n"
                                        << QByteArray(65536, 'x') << 413 << "too large";
        // Inflated as it is read, a body this small can become hundreds of megabytes.
        const QByteArray deflated = qCompress(R"({"username":"nobody","password":"whatever1"})").mid(4);
        QTest::newRow("compressed") << login + "Content-Encoding: deflate\r\nContent-Length: " +
                                           QByteArray::number(deflated.size()) + "\r\n\r\n" + deflated
                                    << QByteArray() << 415 << "Compressed";
        QTest::newRow("endless header") << QByteArray("GET /auth/me HTTP/1.1\r\nHost: x\r\nX-Filler: ")
                                        << QByteArray(4096, 'a') << 431 << "too long";
        // Never read, it would be taken for the next request on the connection.
        const QByteArray smuggled = "GET /nope HTTP/1.1\r\n\r\n";
        QTest::newRow("body on a GET")
            << "GET /auth/me HTTP/1.1\r\nContent-Length: " + QByteArray::number(smuggled.size()) +
                   "\r\n\r\n" + smuggled
            << QByteArray() << 400 << "no body";
    }

    void unmeasuredBodiesAreRefusedUnread() {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, more);
        QFETCH(int, status);
        QFETCH(QString, complaint);
        START_SERVICE(*service);

        RawConnection connection(service->url());
        connection.send(head);
        QElapsedTimer clock;
        clock.start();
        while (!connection.replied() && !connection.closed() && clock.elapsed() < 5000) {
            if (!more.isEmpty() && connection.unsent() < 256 * 1024)
                connection.send(more);
            QTest::qWait(10);
        }
        QVERIFY2(connection.replied(), "no reply while the client kept sending");
        QCOMPARE(connection.status(), status);
        QCOMPARE(connection.error().value(QStringLiteral("statusCode")).toInt(), status);
        const QString message = connection.error().value(QStringLiteral("message")).toString();
        QVERIFY2(message.contains(complaint), qPrintable(message));
        // What was left unread is never served as a request of its own.
        QTRY_VERIFY_WITH_TIMEOUT(connection.closed(), 5000);
    }

    void slowClientsAreCutOffWithoutStarvingOthers() {
        QVERIFY(addUser(QStringLiteral("rania")));
        constexpr int deadlineMs = 4000;
        START_SERVICE(*service,
                      {QStringLiteral("--request-deadline-seconds"), QString::number(deadlineMs / 1000)});
        APIClient signedIn;
        const auto rania = signIn(signedIn, QStringLiteral("rania"), QStringLiteral("rania-password"));
        QVERIFY(rania);
        // A client of its own, so that it cannot reuse the connection the sign-in left open.
        APIClient client;
        client.setAccessToken(rania->tokens.accessToken);
        client.setTransferTimeout(3s);

        // Twice as many as the library's default workers, half trickling a head and half a body.
        QElapsedTimer clock;
        clock.start();
        Connections slow;
        for (int i = 0; i < 16; ++i) {
            slow.push_back(std::make_unique<RawConnection>(service->url()));
            slow.back()->send(
                i % 2 ? QByteArray("POST /auth/login HTTP/1.1\r\nHost: x\r\nX-Slow: ")
                      : QByteArray("POST /auth/login HTTP/1.1\r\nContent-Length: 100000\r\n\r\n"));
        }
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (const auto& connection : slow)
                connection->send("a");
        });
        trickle.start(100);
        QTest::qWait(500);

        const auto me = await(client.me());
        QVERIFY2(me, "a signed-in user was kept waiting behind slow clients");
        QVERIFY2(clock.elapsed() < deadlineMs, "answered only once the slow clients were gone");

        QTRY_VERIFY_WITH_TIMEOUT(allReplied(slow), deadlineMs + 5000);
        QVERIFY2(clock.elapsed() >= deadlineMs, qPrintable(QString::number(clock.elapsed())));
        for (const auto& connection : slow) {
            QCOMPARE(connection->status(), 408);
            QCOMPARE(connection->error().value(QStringLiteral("statusCode")).toInt(), 408);
        }
    }

    void crowdsOfConnectionsAreAllServed() {
        START_SERVICE(*service);
        Connections crowd;
        for (int i = 0; i < 256; ++i) {
            crowd.push_back(std::make_unique<RawConnection>(service->url()));
            crowd.back()->send("GET /auth/me HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(allReplied(crowd), 10000);
        for (const auto& connection : crowd)
            QCOMPARE(connection->status(), 401);
    }

    void namesWithControlCharactersAreRefused() {
        QVERIFY(addUser(QStringLiteral("rania")) && addUser(QStringLiteral("tariq")));
        START_SERVICE(*service);
        APIClient client;
        const auto rania = signIn(client, QStringLiteral("rania"), QStringLiteral("rania-password"));
        QVERIFY(rania);
        const QByteArray token = rania->tokens.accessToken.toUtf8();
        const QByteArray before = databaseFingerprint(service->databasePath());

        const QUrl profile = service->url(QStringLiteral("/users/me"));
        for (const char* name : {"Ra\\u0000nia", "Ra\\u0007nia", "Ra\\nnia", "\\u001b[31mRania",
                                 "Ra\\u007fnia", "Ra\\u0085nia", "Ra\\u009bnia"}) {
            const RawReply reply =
                rawRequest(profile, "PATCH", QByteArray("{\"displayName\":\"") + name + "\"}", token);
            QVERIFY2(reply.status == 400, name);
            QVERIFY2(reply.object()[u"message"_qs].toString().contains(u"control characters"_qs),
                     reply.body.constData());
        }
        QCOMPARE(databaseFingerprint(service->databasePath()), before);

        // Message bodies are text, not names: their line breaks and tabs stay.
        const QString chat =
            QString::fromUtf8(service->command(u"add-conversation|rania|tariq"_qs.split(u'|')).out.trimmed());
        const QString text = QStringLiteral("one\ntwo\tthree");
        const auto sent = await(client.sendMessage(chat, text, std::nullopt));
        QVERIFY(sent);
        QCOMPARE(sent->body, text);
    }

    void badCommandLines_data() {
        QTest::addColumn<QString>("args"); // separated by '|'
        QTest::newRow("unknown option") << u"--bogus"_qs;
        QTest::newRow("port not a number") << u"--port|abc"_qs;
        QTest::newRow("upload limit zero") << u"--max-upload-bytes|0"_qs;
        QTest::newRow("add-user without name") << u"add-user"_qs;
        QTest::newRow("add-user bad name") << u"add-user|-x"_qs;
        QTest::newRow("add-user bad country") << u"add-user|rania|--country-code|JOR"_qs;
        QTest::newRow("add-user with --title") << u"add-user|rania|--title|x"_qs;
        QTest::newRow("add-user display name with a control character")
            << u"add-user|rania|--display-name|Ra\u001bnia"_qs;
        QTest::newRow("add-conversation title with a control character")
            << u"add-conversation|a|b|--title|Book\u0085club"_qs;
        QTest::newRow("conversation of one") << u"add-conversation|a"_qs;
    }

    void badCommandLines() {
        QFETCH(QString, args);
        const auto run = service->command(args.split(u'|'));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("Usage:"), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }

    void addUserAndConversationWhileServing() {
        START_SERVICE(*service);
        const auto exitCode = [this](const QString& args, const QByteArray& input = {}) {
            return service->command(args.split(u'|'), input).exitCode;
        };
        const QString password = QStringLiteral("ورد الياسمين 2024");
        const auto added = service->command(
            u"add-user|rania|--display-name|رانيا|--country-code|jo|--verified"_qs.split(u'|'),
            password.toUtf8() + "\n");
        QCOMPARE(added.exitCode, 0);
        QVERIFY(!added.out.contains(password.toUtf8()));
        QCOMPARE(exitCode(u"add-user|RANIA"_qs, "another-password\n"), 1);
        QCOMPARE(exitCode(u"add-user|tariq"_qs, "short\n"), 1);
        QCOMPARE(exitCode(u"add-user|tariq"_qs), 1);
        QCOMPARE(exitCode(u"add-user|tariq|--admin"_qs, "tariq-password\r\n"), 0);

        APIClient client;
        const auto rania = signIn(client, QStringLiteral("rania"), password);
        QVERIFY(rania);
        QCOMPARE(rania->user.displayName, QStringLiteral("رانيا"));
        QCOMPARE(rania->user.countryCode, QStringLiteral("JO"));
        QVERIFY(rania->user.verified);
        QCOMPARE(toString(rania->user.role), QStringLiteral("user"));
        APIClient tariqClient;
        const auto tariq = signIn(tariqClient, QStringLiteral("tariq"), QStringLiteral("tariq-password"));
        QVERIFY(tariq);
        QCOMPARE(toString(tariq->user.role), QStringLiteral("admin"));

        const auto created = service->command(u"add-conversation|rania|tariq"_qs.split(u'|'));
        QCOMPARE(created.exitCode, 0);
        const QString id = QString::fromUtf8(created.out.trimmed());
        // The same direct conversation again.
        QCOMPARE(
            QString::fromUtf8(service->command(u"add-conversation|rania|tariq"_qs.split(u'|')).out.trimmed()),
            id);
        QCOMPARE(exitCode(u"add-conversation|rania|nobody"_qs), 1);
        const auto inbox = await(client.conversations());
        QVERIFY(inbox);
        QCOMPARE(inbox->size(), 1);
        QCOMPARE(inbox->first().id, id);
        QCOMPARE(inbox->first().type, QStringLiteral("direct"));
        QCOMPARE(inbox->first().peer->username, QStringLiteral("tariq"));
    }

    void logNamesRequestsButNoSecrets() {
        START_SERVICE(*service, {QStringLiteral("--seed")}, false);
        APIClient client;
        const auto amina = signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123"));
        QVERIFY(amina);
        QVERIFY(await(client.me()));
        QVERIFY(!await(client.login(QStringLiteral("amina"), QStringLiteral("wrong-password"))));
        // A line is written once its reply has gone out, so the last one may trail the reply.
        QByteArray log;
        const auto lineCount = [&] {
            return int((log += service->process().readAllStandardOutput()).count('\n'));
        };
        QTRY_COMPARE(lineCount(), 3);
        const QList<QByteArray> lines = log.trimmed().split('\n');
        QVERIFY2(lines[0].startsWith("POST /auth/login 200 ") && lines[0].endsWith("ms"),
                 lines[0].constData());
        QVERIFY2(lines[1].startsWith("GET /auth/me 200 "), lines[1].constData());
        QVERIFY2(lines[2].startsWith("POST /auth/login 401 "), lines[2].constData());
        for (const QString& secret : {QStringLiteral("sunshine123"), QStringLiteral("wrong-password"),
                                      amina->tokens.accessToken, *amina->tokens.refreshToken})
            QVERIFY(!log.contains(secret.toUtf8()));
    }

    void survivesSigkillDuringSends() {
        START_SERVICE(*service, {QStringLiteral("--seed")});
        APIClient client;
        QVERIFY(signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123")));
        const QString chat = await(client.conversations())->first().id;
        const qsizetype before = await(client.messages(chat))->size();

        // Send one after another until the kill cuts a request off; count those that were answered.
        QTimer::singleShot(1500, [this] { service->process().kill(); });
        int answered = 0;
        for (int i = 0; i < 100000; ++i) {
            const auto sent =
                await(client.sendMessage(chat, QStringLiteral("message %1").arg(i), std::nullopt));
            if (!sent)
                break;
            ++answered;
        }
        QVERIFY(answered > 0);
        QCOMPARE(queryDatabase(service->databasePath(), "PRAGMA integrity_check"), QByteArray("ok"));

        START_SERVICE(*service);
        QVERIFY(signIn(client, QStringLiteral("amina"), QStringLiteral("sunshine123")));
        const auto after = await(client.messages(chat));
        QVERIFY(after);
        const qsizetype stored = after->size() - before;
        QVERIFY2(stored == answered || stored == answered + 1,
                 qPrintable(QStringLiteral("%1 answered, %2 stored").arg(answered).arg(stored)));
        QCOMPARE(after->last().body, QStringLiteral("message %1").arg(stored - 1));
    }
};

QTEST_GUILESS_MAIN(DevServiceProcessTest)
#include "tst_devservice_process.moc"
